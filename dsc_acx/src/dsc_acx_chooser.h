// Letting the user pick one of several candidates: one row per candidate
// ("index:algorithm:name:issuer", a ':' or '\' inside a text field escaped
// with '\') shown in the modal chooser; the pick
// becomes the selected certificate.
#pragma once

struct dsc_acx_certArray;
struct dsc_acx_certinfo;

// 0 when the user picked a candidate (now the selected certificate), -1005
// when the chooser was closed without a choice or could not be shown.
int dsc_acx_showCertChooser(dsc_acx_certArray* candidates, int count);

// The row text of one candidate into a 512-byte area (at most 510 characters).
void dsc_acx_chooserRow(int index, const dsc_acx_certinfo* info, char* row);
