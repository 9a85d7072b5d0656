// DN texts as the platform renders them ("C=CN, O=Acme, CN=user"): the
// values of one field, the RDN segments, and comparison in any RDN order.
// The rendering quotes a value that holds a separator or a quote
// (O="Acme, Inc.", OU="Dev ""Team""") and joins the attributes of one
// multi-valued RDN with " + ": a quoted "CN=" is part of a value, never a
// field. In unquoted text only the comma closest before the next "="
// separates two RDNs, so a hand-written "O=Foo, Inc." stays one value.
#pragma once

#include "tcore_list.h"

// Values of `field` (exact, case-sensitive name) into a list created on the
// first match (items freed with tcore_free); their count. A value comes
// without the rendering's quotes; each attribute of a multi-valued RDN is a
// field of its own.
int twcyt_dn_getRdnValues(const char* dn, const char* field, tcore_list** values);
// Every RDN as written ("CN=a + OU=b", quotes kept) into a new list; their
// count.
int twcyt_dn_split(const char* dn, tcore_list** segments);
// 0 when both hold the same segments in any order, -1 when not.
int twcyt_dn_compareUtf8(const char* a, const char* b);

// A DN split once, to compare many DNs with.
typedef struct twcyt_dnQuery twcyt_dnQuery;
// The query for `dn` (UTF-8), which it copies; null for a null or empty text.
twcyt_dnQuery* twcyt_dn_prepare(const char* dn);
// twcyt_dn_compareUtf8(dn, the query's text), the query's text split only
// once.
int twcyt_dn_compareWith(const twcyt_dnQuery* query, const char* dn);
void twcyt_dn_freeQuery(twcyt_dnQuery* query);
// The same for texts in the ANSI code page.
int twcyt_dn_compare(const char* a, const char* b);
