// The certificate chooser dialog on Windows: template 104 of the module that
// holds this code, run by the Win32 dialog manager.
#pragma once

#include <windows.h>

class CCertifySelDlg {
public:
    // `rows` are not copied; they must outlive the dialog.
    CCertifySelDlg(const WCHAR* const* rows, int count);
    CCertifySelDlg(const CCertifySelDlg&) = delete;
    CCertifySelDlg& operator=(const CCertifySelDlg&) = delete;

    // Runs the dialog modally over `owner` (may be null) and returns what
    // DialogBoxParamW returns: IDOK, IDCANCEL, or -1 when it could not be
    // created.
    INT_PTR DoModal(HWND owner);

    // The candidate index of the accepted row; -1 unless OK was accepted.
    int chosenIndex() const { return m_chosenIndex; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void OnOk();
    void OnCancel();
    void CentreWindow();
    void ApplyTexts();
    void AddColumns();
    void FillList();

    HWND m_hWnd = nullptr;
    HWND m_list = nullptr;
    int m_chosenIndex = -1;
    const WCHAR* const* m_rows;
    int m_count;
};
