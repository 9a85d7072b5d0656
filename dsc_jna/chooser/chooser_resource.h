// Identifiers of the chooser dialog template and its items.
#pragma once

#define IDD_CERTIFY_SEL 104
#define IDC_CHOOSER_LIST 203
#define IDC_CHOOSER_PROMPT 205
