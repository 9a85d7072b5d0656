// Selecting the certificate the next Sgn_Sign uses: by the serial number of
// the token that holds it, or by subject DN or subject fields. Several
// candidates go to the chooser. The certificate's base64 text goes back.
#pragma once

#define DSC_ACX_FIELD_MAX 7
#define DSC_ACX_CERT_TEXT 4096

int dsc_acx_selectCertByKeySn(const char* deviceSn, char* outCert, int outLen);
// `outCert` holds DSC_ACX_CERT_TEXT bytes.
int dsc_acx_selectCertByDn(const char* field, const char* value, char* outCert);
