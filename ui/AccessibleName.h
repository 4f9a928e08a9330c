#pragma once
// Names a control for assistive technology without changing what it shows:
// its Active Accessibility client object is the system's standard one for the
// control, but its name is a string of the module record's instance. For
// controls whose own text is no name ("..."), or that have none (an edit
// box). The control answers WM_GETOBJECT itself, as dynamic annotation is
// not to be relied on (Wine lacks it).
#include <windows.h>

#include <cstddef>

struct ControlName {
    int controlId;
    UINT nameId;
};

// For the life of each control of `dialog` in `names`. Returns whether all
// of them were found and named.
bool NameControls(HWND dialog, const ControlName* names, std::size_t count);

template <std::size_t N>
bool NameControls(HWND dialog, const ControlName (&names)[N]) {
    return NameControls(dialog, names, N);
}
