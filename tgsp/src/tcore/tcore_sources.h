// Source names carried by error-trace entries. They name the module that
// detected the failure and stay stable whatever the file layout becomes.
#pragma once

#define TSRC_DSC_ACX "dsc_acx/src/dsc_acx"
#define TSRC_SKF "tutil_skf_cus"
#define TSRC_TWCYT_CERT "tgsp/src/twcyt/twcyt_cert"
#define TSRC_TWCYT_SIGN "tgsp/src/twcyt/twcyt_sign"
#define TSRC_TASN1_PKCS7 "tgsp/src/tasn1/tasn1_pkcs7"
#define TSRC_TASN1_MISC "tgsp/src/tasn1/tasn1_misc"
#define TSRC_TCORE_MISC_WIN "tgsp/src/tcore/tcore_misc_win"
#define TSRC_TCORE_LOG "tgsp/src/tcore/tcore_log"
#define TSRC_POSIX_REGFILE "tgsp/src/posix/posix_regfile"
