#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <thread>

#include "chooser_answer.h"
#include "dialog_driver.h"

struct ChooserAnswer::Impl {
    DWORD dialogThread = GetCurrentThreadId();
    std::vector<std::string> rows;
    std::atomic<bool> stop{false};
    std::thread driver;
};

ChooserAnswer::ChooserAnswer(int pick) : impl_(std::make_unique<Impl>())
{
    Impl* impl = impl_.get();
    impl->driver = std::thread([impl, pick] {
        HWND dialog = nullptr;
        for (int waited = 0; dialog == nullptr && waited < 30000 && !impl->stop; waited += 20) {
            Sleep(20);
            dialog = dialog_findVisible(impl->dialogThread);
        }
        if (dialog == nullptr) return;
        HWND list = GetDlgItem(dialog, 203);
        for (const auto& row : dialog_listRows(list, 2)) impl->rows.push_back(row[0] + "|" + row[1]);
        if (pick >= 0) {
            dialog_listSelectOnly(list, pick);
            dialog_clickButton(dialog, IDOK);
        } else {
            dialog_clickButton(dialog, IDCANCEL);
        }
    });
}

ChooserAnswer::~ChooserAnswer()
{
    // A chooser that never came leaves the driver waiting; stop it instead.
    impl_->stop = true;
    dialog_cancelAll(impl_->dialogThread);
    if (impl_->driver.joinable()) impl_->driver.join();
}

std::vector<std::string> ChooserAnswer::rowsShown()
{
    // Asked after the selection returned: any chooser has come and gone.
    impl_->stop = true;
    if (impl_->driver.joinable()) impl_->driver.join();
    return impl_->rows;
}
