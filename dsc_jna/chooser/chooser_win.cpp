// The chooser on Windows: the dialog, owned by the calling thread's active
// window (none is fine).
#include "dsc_chooser.h"

#include "CCertifySelDlg.h"

namespace {

// The dialog runs while the library's lock is held. A modal dialog disables
// its owner with a sent message; an owner of another thread (input attached
// to ours) could be waiting for that lock, and both would wait for ever. Such
// a window does not own the dialog.
HWND ownerOfThisThread()
{
    HWND active = GetActiveWindow();
    if (active == nullptr || GetWindowThreadProcessId(active, nullptr) != GetCurrentThreadId()) return nullptr;
    return active;
}

}  // namespace

int dsc_chooser_show(const WCHAR* const* rows, int count, int* chosenIndex)
{
    if (chosenIndex == nullptr || count < 0 || (rows == nullptr && count > 0)) return DSC_CHOOSER_UNAVAILABLE;
    CCertifySelDlg dialog(rows, count);
    INT_PTR result = dialog.DoModal(ownerOfThisThread());
    if (result == IDOK && dialog.chosenIndex() >= 0) {
        *chosenIndex = dialog.chosenIndex();
        return DSC_CHOOSER_ACCEPTED;
    }
    if (result == IDCANCEL) return DSC_CHOOSER_CANCELLED;
    return DSC_CHOOSER_UNAVAILABLE;
}
