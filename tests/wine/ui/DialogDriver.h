#pragma once
// Drives real dialogs the way a user would: the dialog runs modally on a
// user-interface thread of its own, and the test reads and pokes its windows
// from the test thread through messages.
#include "UiTestSupport.h"

#include <functional>
#include <future>
#include <string>
#include <thread>

class UiThread {
public:
    // Runs `body` on a new thread with COM initialised as a single-threaded
    // apartment (the folder browser needs it); its return value is the result.
    explicit UiThread(std::function<INT_PTR()> body);
    // Ends whatever dialogs are still open (IDCANCEL) and joins the thread.
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    DWORD Id() const { return threadId; }
    // A visible top-level dialog of this thread other than `except`, once one
    // appears within `timeoutMs`; null otherwise.
    HWND WaitForDialog(HWND except = nullptr, DWORD timeoutMs = 10000) const;
    // Waits for the body to return; false on timeout.
    bool Finished(INT_PTR& result, DWORD timeoutMs = 10000);
    // The window that holds this thread's keyboard focus.
    HWND Focus() const;

private:
    std::future<INT_PTR> done;
    std::thread thread;
    DWORD threadId = 0;
};

// A visible top-level dialog of thread `threadId` other than `except`, once
// one appears within `timeoutMs`; null otherwise.
HWND WaitForThreadDialog(DWORD threadId, HWND except = nullptr, DWORD timeoutMs = 10000);

// A plain visible top-level window, created on the calling thread, to own a
// dialog at a chosen place.
HWND CreateOwnerWindow(const RECT& bounds);

using uitest::TextOf;
using uitest::WaitUntil;

// Returns once every message posted to `window`'s thread before the call has
// been dispatched.
void Flush(HWND window);
// Posts a key press to `target` (normally the focused control), as the
// keyboard would, and waits until it has been handled.
void PressKey(HWND target, UINT virtualKey);
RECT WorkArea();
// The first child of `dialog` of window class `className` whose text is
// `text`; null when there is none.
HWND FindChild(HWND dialog, const wchar_t* className, const std::wstring& text);
