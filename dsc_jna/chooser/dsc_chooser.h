// The certificate chooser: a modal dialog that lists candidate certificates
// and returns the user's pick. On Windows it is the dialog from template 104
// of this module; on Linux a separate program (DSC_JNA_CHOOSER, by default
// dsc_chooser beside the library) so no GUI toolkit enters the host process.
#pragma once

#include <cwchar>

// Shows the modal certificate chooser: one row per candidate, each row the
// text "index:algorithm:name:issuer" where a ':' or '\' inside the three text
// fields is written "\:" or "\\" (chooser_row.h); the issuer part is the rest
// of the text, colons included; a row with fewer than three unescaped ':' is
// skipped. The first row
// is selected when it opens. Returns 1 when the user accepted a row (its
// index, read from the row text, is stored in *chosenIndex), 2 when the user
// cancelled (Esc / Cancel), -1 when no dialog could be shown.
int dsc_chooser_show(const wchar_t* const* rows, int count, int* chosenIndex);

// What dsc_chooser_show returns.
enum {
    DSC_CHOOSER_ACCEPTED = 1,
    DSC_CHOOSER_CANCELLED = 2,
    DSC_CHOOSER_UNAVAILABLE = -1,
};
