#include "dialog_driver.h"

#include <commctrl.h>

namespace {

std::string toUtf8(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

bool isDialog(HWND window)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return lstrcmpW(className, L"#32770") == 0;
}

BOOL CALLBACK findVisibleDialog(HWND window, LPARAM found)
{
    if (isDialog(window) && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK cancelDialog(HWND window, LPARAM)
{
    if (isDialog(window)) PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

int columnCount(HWND list)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

}  // namespace

HWND dialog_findVisible(DWORD threadId)
{
    HWND found = nullptr;
    EnumThreadWindows(threadId, findVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string dialog_text(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return toUtf8(text);
}

std::string dialog_itemText(HWND dialog, int itemId) { return dialog_text(GetDlgItem(dialog, itemId)); }

std::vector<std::string> dialog_listHeadings(HWND list)
{
    std::vector<std::string> headings;
    for (int i = 0; i < columnCount(list); ++i) {
        wchar_t text[256] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 256;
        SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        headings.push_back(toUtf8(text));
    }
    return headings;
}

std::vector<int> dialog_listColumnWidths(HWND list)
{
    std::vector<int> widths;
    for (int i = 0; i < columnCount(list); ++i)
        widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)));
    return widths;
}

std::vector<std::vector<std::string>> dialog_listRows(HWND list, int columns)
{
    std::vector<std::vector<std::string>> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> cells;
        for (int c = 0; c < columns; ++c) {
            wchar_t text[1024] = {};
            LVITEMW item = {};
            item.iSubItem = c;
            item.pszText = text;
            item.cchTextMax = 1024;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            cells.push_back(toUtf8(text));
        }
        rows.push_back(cells);
    }
    return rows;
}

std::vector<int> dialog_listSelected(HWND list)
{
    std::vector<int> selected;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) selected.push_back(i);
    }
    return selected;
}

void dialog_listSelectOnly(HWND list, int item)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (item < 0) return;
    state.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

HWND dialog_focus(DWORD threadId)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info)) return nullptr;
    return info.hwndFocus;
}

void dialog_pressKey(DWORD threadId, WPARAM virtualKey)
{
    HWND target = dialog_focus(threadId);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | (1u << 30) | (1u << 31));
}

void dialog_clickButton(HWND dialog, int buttonId)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

void dialog_cancelAll(DWORD threadId) { EnumThreadWindows(threadId, cancelDialog, 0); }
