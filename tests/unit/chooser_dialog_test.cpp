// The chooser dialog on Windows, driven from a second thread while the test's
// thread runs it modally (Wine's null graphics driver keeps it headless).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "chooser_expected.h"
#include "chooser_placement.h"
#include "chooser_resource.h"
#include "chooser_texts.h"
#include "dialog_driver.h"
#include "dsc_chooser.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct ChooserRun {
    int result = 0;
    int chosen = -7;  // what the caller had in its variable before the call
    bool driven = false;
};

// Runs the chooser on this thread while `drive` works the dialog from
// another; whatever `drive` does or fails to do, the dialog is cancelled
// afterwards so the test never hangs in the modal loop.
ChooserRun runChooser(const std::vector<std::wstring>& rows, const std::function<void(HWND, DWORD)>& drive)
{
    std::vector<const WCHAR*> pointers;
    for (const auto& row : rows) pointers.push_back(row.c_str());
    DWORD threadId = GetCurrentThreadId();
    std::atomic<bool> returned{false};
    ChooserRun run;
    std::thread driver([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        HWND dialog = nullptr;
        while (!returned && dialog == nullptr && std::chrono::steady_clock::now() < deadline) {
            dialog = dialog_findVisible(threadId);
            if (dialog == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (dialog != nullptr) {
            run.driven = true;
            drive(dialog, threadId);
        }
        while (!returned) {
            dialog_cancelAll(threadId);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    run.result = dsc_chooser_show(pointers.data(), static_cast<int>(pointers.size()), &run.chosen);
    returned = true;
    driver.join();
    return run;
}

const std::vector<std::wstring> kRows = {
    L"7:SM2:Alice:Test CA",
    L"not a row",
    L"2:RSA:\x5F20\x4E09:CN=Root, O=Acme:Inc",
    L"5:SM2::Issuer only",
    L"9:SM2:two colons only",
    L"4:SM2:Ops\\: Desk:CN=CA\\:1",
};

// Name, issuer, algorithm: the list's column order.
const Rows kListed = {
    {"Alice", "Test CA", "SM2"},
    {"\xE5\xBC\xA0\xE4\xB8\x89", "CN=Root, O=Acme:Inc", "RSA"},
    {"", "Issuer only", "SM2"},
    {"Ops: Desk", "CN=CA:1", "SM2"},
};

HWND listOf(HWND dialog) { return GetDlgItem(dialog, IDC_CHOOSER_LIST); }

// The language the system's default locale gives on a first showing.
int systemLanguage() { return chooser_languageForLcid(GetSystemDefaultLCID(), CHOOSER_LANG_SIMPLIFIED); }

RECT screenRect(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

LONG centreX(const RECT& r) { return (r.left + r.right) / 2; }
LONG centreY(const RECT& r) { return (r.top + r.bottom) / 2; }

}  // namespace

TEST(ChooserDialog, OpensFilledInTheSystemLanguageWithTheFirstRowSelectedAndEnterTakesIt)
{
    std::string title, prompt, ok, cancel;
    std::vector<std::string> headings;
    std::vector<int> widths;
    Rows listed;
    std::vector<int> selected;
    bool listHasFocus = false, fullRow = false;
    ChooserRun run = runChooser(kRows, [&](HWND dialog, DWORD threadId) {
        HWND list = listOf(dialog);
        title = dialog_text(dialog);
        prompt = dialog_itemText(dialog, IDC_CHOOSER_PROMPT);
        ok = dialog_itemText(dialog, IDOK);
        cancel = dialog_itemText(dialog, IDCANCEL);
        headings = dialog_listHeadings(list);
        widths = dialog_listColumnWidths(list);
        listed = dialog_listRows(list, 3);
        selected = dialog_listSelected(list);
        listHasFocus = dialog_focus(threadId) == list;
        fullRow = (SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT) != 0;
        dialog_pressKey(threadId, VK_RETURN);
    });
    ASSERT_TRUE(run.driven);
    // The runs under generated locales name the language that locale must
    // give; a plain run takes whatever the system has.
    if (const char* named = std::getenv("DSC_TEST_CHOOSER_LANGUAGE")) {
        EXPECT_EQ(systemLanguage(), std::atoi(named)) << "system locale " << std::hex << GetSystemDefaultLCID();
    }
    const ChooserExpectedTexts& expected = chooser_expectedTexts(systemLanguage());
    EXPECT_EQ(title, expected.title);
    EXPECT_EQ(prompt, expected.prompt);
    EXPECT_EQ(ok, expected.ok);
    EXPECT_EQ(cancel, expected.cancel);
    EXPECT_EQ(headings, (std::vector<std::string>{expected.columns[0], expected.columns[1], expected.columns[2]}));
    EXPECT_EQ(widths, (std::vector<int>{180, 190, 120}));
    EXPECT_EQ(listed, kListed);
    EXPECT_EQ(selected, std::vector<int>{0});
    EXPECT_TRUE(listHasFocus);
    EXPECT_TRUE(fullRow);
    EXPECT_EQ(run.result, DSC_CHOOSER_ACCEPTED);
    EXPECT_EQ(run.chosen, 7);  // the index in the row's text, not its position
}

TEST(ChooserDialog, EscapeCancelsAndLeavesTheCallersIndexAlone)
{
    ChooserRun run = runChooser(kRows, [](HWND, DWORD threadId) { dialog_pressKey(threadId, VK_ESCAPE); });
    ASSERT_TRUE(run.driven);
    EXPECT_EQ(run.result, DSC_CHOOSER_CANCELLED);
    EXPECT_EQ(run.chosen, -7);
}

TEST(ChooserDialog, OkWithNothingSelectedKeepsTheDialogOpenUntilARowIsSelected)
{
    bool openAfterEmptyOk = false;
    ChooserRun run = runChooser(kRows, [&](HWND dialog, DWORD) {
        dialog_listSelectOnly(listOf(dialog), -1);
        dialog_clickButton(dialog, IDOK);
        openAfterEmptyOk = IsWindowVisible(dialog) != 0;
        dialog_listSelectOnly(listOf(dialog), 1);
        dialog_clickButton(dialog, IDOK);
    });
    ASSERT_TRUE(run.driven);
    EXPECT_TRUE(openAfterEmptyOk);
    EXPECT_EQ(run.result, DSC_CHOOSER_ACCEPTED);
    EXPECT_EQ(run.chosen, 2);
}

TEST(ChooserDialog, FollowsItsTemplate)
{
    struct Item {
        int id;
        const wchar_t* className;
        DWORD style;  // the bits that must be set
        RECT units;   // left, top, width, height in dialog units
    };
    const Item items[] = {
        {IDOK, L"Button", BS_DEFPUSHBUTTON | WS_VISIBLE | WS_TABSTOP, {72, 105, 50, 14}},
        {IDCANCEL, L"Button", WS_VISIBLE | WS_TABSTOP, {163, 105, 50, 14}},
        {IDC_CHOOSER_PROMPT, L"Static", SS_NOPREFIX | WS_VISIBLE | WS_GROUP, {1, 7, 280, 14}},
        {IDC_CHOOSER_LIST,
         L"SysListView32",
         LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_VISIBLE | WS_BORDER | WS_TABSTOP,
         {9, 25, 283, 67}},
    };
    struct Seen {
        std::wstring className;
        DWORD style = 0, exStyle = 0;
        RECT actual = {}, expected = {};
    } seen[4];
    DWORD dialogStyle = 0;
    std::wstring fontFace;
    SIZE client = {}, expectedClient = {};
    bool owned = true;
    RECT dialogRect = {}, workArea = {};
    ChooserRun run = runChooser(kRows, [&](HWND dialog, DWORD) {
        dialogStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
        fontFace = font.lfFaceName;
        RECT r;
        GetClientRect(dialog, &r);
        client = {r.right, r.bottom};
        RECT units = {0, 0, 303, 134};
        MapDialogRect(dialog, &units);
        expectedClient = {units.right, units.bottom};
        for (int i = 0; i < 4; ++i) {
            HWND control = GetDlgItem(dialog, items[i].id);
            wchar_t className[64] = {};
            GetClassNameW(control, className, 64);
            seen[i].className = className;
            seen[i].style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
            seen[i].exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
            seen[i].actual = screenRect(control);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&seen[i].actual), 2);
            const RECT& u = items[i].units;
            seen[i].expected = {u.left, u.top, u.left + u.right, u.top + u.bottom};
            MapDialogRect(dialog, &seen[i].expected);
        }
        owned = GetWindow(dialog, GW_OWNER) != nullptr;
        dialogRect = screenRect(dialog);
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
        workArea = monitor.rcWork;
    });
    ASSERT_TRUE(run.driven);
    EXPECT_EQ(run.result, DSC_CHOOSER_CANCELLED);
    EXPECT_EQ(dialogStyle & (WS_POPUP | WS_CAPTION | DS_MODALFRAME), DWORD(WS_POPUP | WS_CAPTION | DS_MODALFRAME));
    EXPECT_EQ(dialogStyle & WS_SYSMENU, 0u);  // no close box
    EXPECT_EQ(fontFace, L"\x5B8B\x4F53");
    EXPECT_EQ(client.cx, expectedClient.cx);
    EXPECT_EQ(client.cy, expectedClient.cy);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(items[i].id);
        EXPECT_EQ(_wcsicmp(seen[i].className.c_str(), items[i].className), 0);
        // The dialog manager may draw a bordered control with a 3-D edge
        // instead of the plain border the template asks for.
        DWORD style = seen[i].style | ((seen[i].exStyle & WS_EX_CLIENTEDGE) ? WS_BORDER : 0);
        EXPECT_EQ(style & items[i].style, items[i].style);
        EXPECT_EQ(seen[i].actual.left, seen[i].expected.left);
        EXPECT_EQ(seen[i].actual.top, seen[i].expected.top);
        EXPECT_EQ(seen[i].actual.right, seen[i].expected.right);
        EXPECT_EQ(seen[i].actual.bottom, seen[i].expected.bottom);
    }
    EXPECT_EQ(seen[1].style & BS_DEFPUSHBUTTON, 0u);  // Cancel is not the default button
    // With no active window to own it, it is centred on the work area.
    EXPECT_FALSE(owned);
    EXPECT_LE(std::abs(centreX(dialogRect) - centreX(workArea)), 1);
    EXPECT_LE(std::abs(centreY(dialogRect) - centreY(workArea)), 1);
}

TEST(ChooserDialog, IsOwnedByTheActiveWindowAndCentredOnItUnlessItIsMinimised)
{
    for (bool minimised : {false, true}) {
        SCOPED_TRACE(minimised ? "minimised owner" : "visible owner");
        // Off the screen's centre, and large enough that the dialog centred
        // on it stays inside the work area.
        HWND owner = CreateWindowExW(0, L"Static", L"host", WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 150, 700, 500,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
        SetForegroundWindow(owner);
        SetActiveWindow(owner);
        if (minimised) ShowWindow(owner, SW_MINIMIZE);
        if (GetActiveWindow() != owner) {
            DestroyWindow(owner);
            GTEST_SKIP() << "this window system does not activate the test's window";
        }
        RECT ownerRect = screenRect(owner);
        HWND dialogOwner = nullptr;
        RECT dialogRect = {}, workArea = {};
        ChooserRun run = runChooser(kRows, [&](HWND dialog, DWORD) {
            dialogOwner = GetWindow(dialog, GW_OWNER);
            dialogRect = screenRect(dialog);
            MONITORINFO monitor = {};
            monitor.cbSize = sizeof(monitor);
            GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
            workArea = monitor.rcWork;
        });
        DestroyWindow(owner);
        ASSERT_TRUE(run.driven);
        EXPECT_EQ(dialogOwner, owner);
        const RECT& target = minimised ? workArea : ownerRect;
        EXPECT_LE(std::abs(centreX(dialogRect) - centreX(target)), 1);
        EXPECT_LE(std::abs(centreY(dialogRect) - centreY(target)), 1);
    }
}

TEST(ChooserPlacement, CentresOnTheTargetAndKeepsInsideTheWorkArea)
{
    const RECT area = {0, 0, 1000, 800};
    struct Case {
        const char* what;
        RECT target, area;
        int width, height;
        LONG x, y;
    } cases[] = {
        {"centred on the target", {100, 100, 500, 400}, area, 200, 100, 200, 200},
        {"odd sizes round down", {0, 0, 301, 201}, area, 101, 51, 100, 75},
        {"past the right and bottom edges", {800, 700, 1000, 800}, area, 400, 300, 600, 500},
        {"past the left and top edges", {0, 0, 100, 100}, area, 400, 300, 0, 0},
        {"larger than the area keeps the left and top edges", area, area, 1200, 900, 0, 0},
        {"a monitor left of the primary one", {-1000, 0, 0, 800}, {-1000, 0, 0, 800}, 200, 100, -600, 350},
        {"target partly off the area", {900, -50, 1300, 150}, area, 300, 200, 700, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        POINT at = chooser_centredPosition(c.target, c.area, c.width, c.height);
        EXPECT_EQ(at.x, c.x);
        EXPECT_EQ(at.y, c.y);
    }
}
