#pragma once
// The main window's output pane: a read-only text view of the window class
// kResultPaneClass, for text of any size. Appending costs what is appended,
// and painting and hit-testing cost the visible lines only.
//
// It answers the messages a read-only multiline edit answers, with their
// meanings: WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH, WM_SETFONT, WM_GETFONT,
// WM_COPY, WM_GETDLGCODE, EM_REPLACESEL (fast at the end of the text, costing
// the text after the selection elsewhere), EM_SETSEL, EM_GETSEL,
// EM_SCROLLCARET, EM_GETLINECOUNT, EM_LINEFROMCHAR, EM_LINEINDEX,
// EM_LINELENGTH, EM_GETFIRSTVISIBLELINE, EM_SETLIMITTEXT and EM_GETLIMITTEXT.
// The limit is only kept and reported: the pane takes whatever is inserted.
// Lines end after each "\n"; WM_GETTEXT returns exactly what was put in.
//
// The user scrolls, selects with the mouse (a double-click selects a word)
// and the keyboard, and copies with Ctrl+C, Ctrl+Insert or its context menu,
// whose texts are the strings IDS_PANE_COPY and IDS_PANE_SELECT_ALL of the
// module that created the window.
#include <windows.h>

#include "resources/resource.h"

inline constexpr wchar_t kResultPaneClass[] = L"" RESULT_PANE_CLASS;

class PaneText;

// The text of a result pane, to be read on the pane's thread; null for any
// other window.
const PaneText* ResultPaneText(HWND pane);

// Registers the class for the whole process; later calls do nothing.
// Returns whether the class is registered.
bool RegisterResultPane();
