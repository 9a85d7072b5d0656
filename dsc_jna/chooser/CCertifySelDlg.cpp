#include "CCertifySelDlg.h"

#include <commctrl.h>

#include <string>
#include <string_view>

#include "chooser_placement.h"
#include "chooser_resource.h"
#include "chooser_row.h"
#include "chooser_texts.h"
#include "tcore_codepage.h"
#include "tcore_mem.h"

namespace {

// The language the dialog was last shown in. A Chinese locale of a region
// the rule does not name keeps it, so such a system sees the Simplified
// texts until another language has been shown.
int chooserLanguage = CHOOSER_LANG_SIMPLIFIED;

const int kColumnWidths[3] = {180, 190, 120};

void setTextUtf8(HWND window, const char* text)
{
    WCHAR* wide = nullptr;
    if (tcore_utf8ToWide(text, &wide) < 0) return;
    SetWindowTextW(window, wide);
    tcore_free(wide);
}

HMODULE moduleOfThisCode()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&moduleOfThisCode), &module);
    return module;
}

}  // namespace

CCertifySelDlg::CCertifySelDlg(const WCHAR* const* rows, int count) : m_rows(rows), m_count(count) {}

INT_PTR CCertifySelDlg::DoModal(HWND owner)
{
    HMODULE module = moduleOfThisCode();
    if (module == nullptr) return -1;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_CERTIFY_SEL), owner, &CCertifySelDlg::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CCertifySelDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CCertifySelDlg*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CCertifySelDlg*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (self == nullptr || message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: self->OnOk(); return TRUE;
    case IDCANCEL: self->OnCancel(); return TRUE;
    default: return FALSE;
    }
}

BOOL CCertifySelDlg::OnInitDialog()
{
    m_list = GetDlgItem(m_hWnd, IDC_CHOOSER_LIST);
    CentreWindow();
    chooserLanguage = chooser_languageForLcid(GetSystemDefaultLCID(), chooserLanguage);
    ApplyTexts();
    SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumns();
    FillList();
    // The list has the focus now; the dialog manager must not move it.
    return FALSE;
}

// Centred on a visible, not minimised owner, otherwise on the work area of
// the nearest monitor, and kept inside that work area either way.
void CCertifySelDlg::CentreWindow()
{
    HWND reference = GetWindow(m_hWnd, GW_OWNER);
    if (reference != nullptr) {
        LONG style = GetWindowLongW(reference, GWL_STYLE);
        if (!(style & WS_VISIBLE) || (style & WS_MINIMIZE)) reference = nullptr;
    }
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(reference != nullptr ? reference : m_hWnd, MONITOR_DEFAULTTONEAREST),
                         &monitor))
        return;
    RECT target = monitor.rcWork;
    if (reference != nullptr) GetWindowRect(reference, &target);
    RECT dialog;
    GetWindowRect(m_hWnd, &dialog);
    POINT at = chooser_centredPosition(target, monitor.rcWork, dialog.right - dialog.left, dialog.bottom - dialog.top);
    SetWindowPos(m_hWnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCertifySelDlg::ApplyTexts()
{
    const chooser_texts* texts = chooser_textsFor(chooserLanguage);
    setTextUtf8(m_hWnd, texts->title);
    setTextUtf8(GetDlgItem(m_hWnd, IDC_CHOOSER_PROMPT), texts->prompt);
    setTextUtf8(GetDlgItem(m_hWnd, IDOK), texts->ok);
    setTextUtf8(GetDlgItem(m_hWnd, IDCANCEL), texts->cancel);
}

void CCertifySelDlg::AddColumns()
{
    const chooser_texts* texts = chooser_textsFor(chooserLanguage);
    for (int i = 0; i < 3; ++i) {
        WCHAR* heading = nullptr;
        if (tcore_utf8ToWide(texts->columns[i], &heading) < 0) continue;
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumnWidths[i];
        column.pszText = heading;
        column.iSubItem = i;
        SendMessageW(m_list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        tcore_free(heading);
    }
}

// Column 0 shows the name, 1 the issuer, 2 the key algorithm; each item
// carries its candidate index as item data.
void CCertifySelDlg::FillList()
{
    while (SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0) > 0) SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    int position = 0;
    for (int i = 0; i < m_count; ++i) {
        if (m_rows[i] == nullptr) continue;
        chooser_row<WCHAR> row;
        if (!chooser_splitRow(std::basic_string_view<WCHAR>(m_rows[i]), &row)) continue;
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = position;
        item.pszText = row.name.data();
        item.lParam = row.index;
        int inserted = static_cast<int>(SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (inserted < 0) continue;
        LVITEMW sub = {};
        sub.iSubItem = 1;
        sub.pszText = row.issuer.data();
        SendMessageW(m_list, LVM_SETITEMTEXTW, inserted, reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = 2;
        sub.pszText = row.algorithm.data();
        SendMessageW(m_list, LVM_SETITEMTEXTW, inserted, reinterpret_cast<LPARAM>(&sub));
        ++position;
    }
    SetFocus(m_list);
    if (SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0) > 0) {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(m_list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
}

// The first selected row is the choice; with none selected the dialog stays.
void CCertifySelDlg::OnOk()
{
    int count = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_STATE | LVIF_PARAM;
        item.iItem = i;
        item.stateMask = LVIS_SELECTED;
        if (!SendMessageW(m_list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) continue;
        if (item.state & LVIS_SELECTED) {
            m_chosenIndex = static_cast<int>(item.lParam);
            break;
        }
    }
    if (m_chosenIndex >= 0) EndDialog(m_hWnd, IDOK);
}

void CCertifySelDlg::OnCancel() { EndDialog(m_hWnd, IDCANCEL); }
