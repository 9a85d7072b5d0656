// Result codes of the ASN.1 layer. Core codes (-10002, -10003) come from
// tcore_errors.h; codes never change meaning once published.
#pragma once

#include "tcore_errors.h"

// Child index not present, invalid tagging mode, implicit tagging of an
// empty pre-encoded element.
#define TASN1_ERR_ITEM (-10004)
// The element to walk is not a SEQUENCE, SET or context-specific element.
#define TASN1_ERR_NOT_CONSTRUCTED (-210002)
// Length octets that are unreadable, overlong, or describe an element that
// does not fit in the buffer.
#define TASN1_ERR_LENGTH (-210003)
// A certificate text without usable PEM markers, an unrecognised key
// algorithm, or a failed step of the certificate walks.
#define TASN1_ERR_CERT (-210011)
// A template key id that does not exist, or a part of the SignedData that
// could not be built.
#define TASN1_ERR_TEMPLATE (-210021)
