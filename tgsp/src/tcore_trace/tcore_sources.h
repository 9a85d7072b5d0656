// Source names carried by error-trace entries. They name the module that
// detected the failure and stay stable whatever the file layout becomes: they
// are part of the log format. Several are older than the files they stand
// for ("tcore_misc_win" is tcore_codepage.cpp and tcore_wreg.cpp), so the
// "covers:" lines above each name list the files that trace under it, as paths from
// the top of the checkout (shell patterns); tests/check-sources fails when a
// file uses a name that does not list it.
#pragma once

// covers: dsc_jna/dsc_jna_entry.cpp
#define TSRC_DSC_JNA "dsc_jna/dsc_jna"
// covers: dsc_acx/src/dsc_acx_*.cpp
#define TSRC_DSC_ACX "dsc_acx/src/dsc_acx"
// covers: dsc_jna/skf/tutil_skf_*.cpp
#define TSRC_SKF "tutil_skf_cus"
// covers: tgsp/src/twcyt/twcyt_cert.cpp tgsp/src/twcyt/twcyt_certstore.cpp tgsp/src/twcyt/twcyt_props.cpp
// covers: tgsp/src/twcyt/twcyt_name.cpp tgsp/src/twcyt/twcyt_dn.cpp
#define TSRC_TWCYT_CERT "tgsp/src/twcyt/twcyt_cert"
// covers: tgsp/src/twcyt/twcyt_sign.cpp
#define TSRC_TWCYT_SIGN "tgsp/src/twcyt/twcyt_sign"
// covers: tgsp/src/tasn1/tasn1_pkcs7.cpp tgsp/src/tasn1/tasn1_sm2sig.cpp
#define TSRC_TASN1_PKCS7 "tgsp/src/tasn1/tasn1_pkcs7"
// covers: tgsp/src/tasn1/tasn1_item.cpp tgsp/src/tasn1/tasn1_templates.cpp tgsp/src/tasn1/tasn1_walk.cpp
// covers: tgsp/src/tasn1/tasn1_cert.cpp
#define TSRC_TASN1_MISC "tgsp/src/tasn1/tasn1_misc"
// covers: tgsp/src/tcore/tcore_codepage.cpp tgsp/src/tcore/tcore_wreg.cpp tgsp/src/tcore/tcore_worker.cpp
#define TSRC_TCORE_MISC_WIN "tgsp/src/tcore/tcore_misc_win"
// covers: tgsp/src/tcore/tcore_log.cpp
#define TSRC_TCORE_LOG "tgsp/src/tcore/tcore_log"
// covers: tgsp/src/posix/posix_regfile.cpp
#define TSRC_POSIX_REGFILE "tgsp/src/posix/posix_regfile"
