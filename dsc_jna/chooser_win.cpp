// The chooser on Windows: the dialog, owned by the calling thread's active
// window (none is fine).
#include "dsc_chooser.h"

#include "CCertifySelDlg.h"

int dsc_chooser_show(const WCHAR* const* rows, int count, int* chosenIndex)
{
    if (chosenIndex == nullptr || count < 0 || (rows == nullptr && count > 0)) return DSC_CHOOSER_UNAVAILABLE;
    CCertifySelDlg dialog(rows, count);
    INT_PTR result = dialog.DoModal(GetActiveWindow());
    if (result == IDOK && dialog.chosenIndex() >= 0) {
        *chosenIndex = dialog.chosenIndex();
        return DSC_CHOOSER_ACCEPTED;
    }
    if (result == IDCANCEL) return DSC_CHOOSER_CANCELLED;
    return DSC_CHOOSER_UNAVAILABLE;
}
