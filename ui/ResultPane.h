#pragma once
// The main window's output pane: a read-only text view of the window class
// kResultPaneClass, for text of any size. Appending costs what is appended,
// and painting and hit-testing cost the visible lines only. What it means is
// ui/PaneModel.h; the window lays out, paints, copies and shows the caret.
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
//
// Assistive tools read it through WM_GETOBJECT (ui/PaneAccessibility.h). A
// move of the caret or the selection by the user or a message is told at once;
// changed text, and the caret's move with it, at the repaint that shows it.
#include <windows.h>

#include "resources/resource.h"

inline constexpr wchar_t kResultPaneClass[] = L"" RESULT_PANE_CLASS;

class PaneText;

// From now on `pane` shows `text` (from its start, as if just set) instead of
// the text of its own that a pane starts with. The text must outlive the
// window and change only through it. Call on the pane's thread; returns
// false, changing nothing, for a window that is not a result pane of it.
bool AttachPaneText(HWND pane, PaneText& text);

// Registers the class for the whole process; later calls do nothing.
// Returns whether the class is registered.
bool RegisterResultPane();
