// Drives a modal dialog that another thread of this process runs, the way a
// user would: find it, read it, press keys and buttons. Everything here runs
// on the driver thread; the dialog's thread is busy in its modal loop.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The first visible dialog (#32770) of thread `threadId`, or null. A dialog
// can exist before it is shown, and it is filled before it is shown, so
// visible means ready to read.
HWND dialog_findVisible(DWORD threadId);

std::string dialog_text(HWND window);                  // UTF-8
std::string dialog_itemText(HWND dialog, int itemId);  // UTF-8

// The list view's column headings and widths, and its rows cell by cell.
std::vector<std::string> dialog_listHeadings(HWND list);
std::vector<int> dialog_listColumnWidths(HWND list);
std::vector<std::vector<std::string>> dialog_listRows(HWND list, int columns);
std::vector<int> dialog_listSelected(HWND list);
void dialog_listSelectOnly(HWND list, int item);  // -1: select nothing

// The window with the keyboard focus in thread `threadId`.
HWND dialog_focus(DWORD threadId);

// A key pressed and released in the focused window of the dialog's thread.
void dialog_pressKey(DWORD threadId, WPARAM virtualKey);

// Clicks a button synchronously: when this returns, the dialog has handled
// the click.
void dialog_clickButton(HWND dialog, int buttonId);

// Cancels every dialog of thread `threadId`, shown or not, so a failed check
// cannot leave that thread in a modal loop.
void dialog_cancelAll(DWORD threadId);
