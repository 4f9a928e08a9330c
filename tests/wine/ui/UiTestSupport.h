#pragma once
// Drives real dialogs the way a user would. A dialog runs modally on a user-
// interface thread of its own; the test thread clicks, types and reads its
// controls through window messages.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource.h"
#include "ui/Dialog.h"
#include "ui/MainDialog.h"

namespace uitest {

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passes.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 30000);
// WM_GETTEXT of any window, also one of another thread or process.
std::wstring TextOf(HWND window);
// Splits text at "\r\n"; a last line without one is kept.
std::vector<std::wstring> SplitLines(const std::wstring& text);
// Threads of this process right now, to see a worker come and go.
int ThreadCount();
RECT RectOf(HWND window);
RECT WorkArea();
// The first child of `dialog` of class `className` showing `text`; null if none.
HWND FindChild(HWND dialog, const wchar_t* className, const std::wstring& text);

// A dialog run modally on a thread of its own (COM initialised as a single-
// threaded apartment, which the folder browser needs).
class DialogThread {
public:
    DialogThread() = default;
    // Cancels whatever dialogs the thread still shows and joins it.
    virtual ~DialogThread();
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    // Runs `body` (which runs the dialog and returns its result) on a new
    // thread; returns once its first dialog is shown or the body has returned.
    void Start(std::function<INT_PTR()> body);
    void Stop();

    HWND Window() const { return window; }
    DWORD ThreadId() const { return threadId; }
    // Another visible dialog of the thread (not Window()), once one appears.
    HWND WaitForDialog(HWND except, DWORD timeoutMs = 10000) const;

    HWND Control(int id) const { return GetDlgItem(window, id); }
    std::wstring Text(int id) const { return TextOf(Control(id)); }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool Checked(int id) const { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // The control holding the thread's keyboard focus.
    HWND Focus() const;
    // A mouse click on a button; returns once its command was handled.
    void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    // Replaces the text of an edit box, as typing would.
    void Type(int id, const std::wstring& text) { SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }
    // Moves the keyboard focus to a control, as Tab would.
    void FocusOn(int id) { SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE); }
    // Presses and releases a key on the focused control through the dialog's
    // own message loop; returns once it has been handled.
    void PressKey(UINT virtualKey);

    // Returns once every message posted to the thread before the call (a
    // worker's included) has been dispatched.
    void Fence();
    // Holds the thread inside a message handler, answering only sent
    // messages, until Release: posted messages pile up meanwhile.
    void Hold();
    void Release() { SetEvent(released); }

    // Closes the dialog with IDCANCEL and returns its result.
    INT_PTR Close() { PostMessageW(window, WM_COMMAND, IDCANCEL, 0); return WaitForEnd(60000); }
    // Waits for the body to return; its result, or -2 on timeout.
    INT_PTR WaitForEnd(DWORD timeoutMs);

private:
    static LRESULT CALLBACK HelperProcedure(HWND, UINT, WPARAM, LPARAM);
    // Posts `message` to the helper and returns once its handler has begun.
    void Await(UINT message);

    std::thread thread;
    DWORD threadId = 0;
    HWND window = nullptr;
    HWND helper = nullptr;  // message-only window on the thread for Fence and Hold
    HANDLE ended = nullptr;
    HANDLE released = nullptr;
    INT_PTR result = -2;
};

// The real main dialog, constructed with the program's path then `arguments`.
class MainWindow : public DialogThread {
public:
    explicit MainWindow(std::vector<std::wstring> arguments = {});
    ~MainWindow() override { Stop(); }

    std::wstring PaneText() const { return Text(IDC_OUTPUT); }
    std::vector<std::wstring> PaneLines() const { return SplitLines(PaneText()); }
    PBRANGE ProgressRange() const;
    int ProgressPosition() const { return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }
    bool Busy() const { return !Enabled(IDC_BROWSE); }
    bool AcceptsDrops() const { return (GetWindowLongW(Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }
    // Waits until no job runs ("..." enabled again), then fences.
    bool WaitIdle(DWORD timeoutMs = 60000);
    // Types `path` in the path box and presses Enter there.
    void EnterPath(const std::wstring& path);
    // The dialog object; read its fields only once the modal run has ended.
    MainDialog& Dialog() { return *dialog; }

private:
    std::unique_ptr<ModuleRecord> module;
    std::unique_ptr<MainDialog> dialog;
};

// A fresh folder under the temporary directory, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path; }
    std::wstring operator/(const std::wstring& relative) const { return path + L"\\" + relative; }
    // Creates a file (and its parent folders) holding `bytes`, then as many
    // zero bytes as make `size`; returns its path.
    std::wstring File(const std::wstring& relative, const std::string& bytes = "x", long long size = 0);
    std::wstring Folder(const std::wstring& relative);
    // A file of `size` zero bytes that takes no disk space (for long jobs).
    std::wstring ZeroFile(const std::wstring& relative, long long size) { return File(relative, "", size); }

private:
    std::wstring path;
};

// The first `size` bytes of a fixed pseudo-random sequence: the top byte of
// each step of x = x * 1103515245 + 12345 (mod 2^32), starting from x = 1.
std::string PatternBytes(std::size_t size);

// Dunmo.exe (next to the test) run with `arguments` as a separate process.
class DunmoProcess {
public:
    explicit DunmoProcess(const std::vector<std::wstring>& arguments);
    ~DunmoProcess();
    DunmoProcess(const DunmoProcess&) = delete;
    DunmoProcess& operator=(const DunmoProcess&) = delete;

    // The process's visible main dialog, once it appears; null on timeout.
    HWND WaitForWindow(DWORD timeoutMs = 30000);
    // The exit code once the process has ended; -2 on timeout.
    long WaitForExit(DWORD timeoutMs = 60000);

private:
    HANDLE process = nullptr;
    DWORD processId = 0;
};

}  // namespace uitest
