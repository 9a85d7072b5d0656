// DN texts as the platform renders them ("C=CN, O=Acme, CN=user"): the
// values of one field, the RDN segments, and comparison in any RDN order.
// A value may itself hold commas and "=": only the comma closest before the
// next "=" separates two RDNs.
#pragma once

#include "tcore_list.h"

// Values of `field` (exact, case-sensitive name) into a list created on the
// first match (items freed with tcore_free); their count.
int twcyt_dn_getRdnValues(const char* dn, const char* field, tcore_list** values);
// Every "name=value" segment into a new list; their count.
int twcyt_dn_split(const char* dn, tcore_list** segments);
// 0 when both hold the same segments in any order, -1 when not.
int twcyt_dn_compareUtf8(const char* a, const char* b);
// The same for texts in the ANSI code page.
int twcyt_dn_compare(const char* a, const char* b);
