#pragma once
// Drives the real main dialog the way a user would. The dialog runs modally on
// a user-interface thread of its own; the test thread clicks, types and reads
// its controls through window messages and waits for the job to end.
//
//     uitest::MainWindow main({L"C:\\some\\file"});   // arguments after the program
//     main.WaitIdle();
//     EXPECT_EQ(main.PaneLines().size(), 1u);
//     EXPECT_EQ(main.Close(), 2);
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
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

// Threads of this process right now (Toolhelp), to see a worker come and go.
int ThreadCount();

class MainWindow {
public:
    // Starts the UI thread and runs a MainDialog modally on it, constructed with
    // the program's path followed by `arguments`; returns once its window is up.
    explicit MainWindow(std::vector<std::wstring> arguments = {});
    // Closes the dialog if it is still open and joins the UI thread.
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND Window() const { return window; }
    DWORD ThreadId() const { return threadId; }
    HWND Control(int id) const { return GetDlgItem(window, id); }
    std::wstring Text(int id) const { return TextOf(Control(id)); }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool Checked(int id) const;
    // The control holding the UI thread's keyboard focus.
    HWND Focus() const;
    std::wstring PaneText() const { return Text(IDC_OUTPUT); }
    std::vector<std::wstring> PaneLines() const { return SplitLines(PaneText()); }
    PBRANGE ProgressRange() const;
    int ProgressPosition() const;

    // A mouse click on a button (BM_CLICK); returns once its command was handled.
    void Click(int id);
    // Replaces the text of an edit box, as typing would.
    void Type(int id, const std::wstring& text);
    // Moves the keyboard focus to a control (as Tab would).
    void FocusOn(int id);
    // Presses and releases a key on the focused control, through the dialog's
    // own message loop; returns once the key has been handled.
    void PressKey(UINT virtualKey);

    // Returns once every message posted to the UI thread before the call
    // (worker messages included) has been dispatched.
    void Fence();
    // Waits until no job runs ("..." enabled again), then fences.
    bool WaitIdle(DWORD timeoutMs = 60000);
    bool Busy() const { return !Enabled(IDC_BROWSE); }

    // Holds the UI thread inside a message handler, answering only sent
    // messages, until Release: posted messages (the worker's) pile up meanwhile.
    void Hold();
    void Release();

    // Closes the dialog with IDCANCEL (Esc) and returns RunModal's result.
    INT_PTR Close(DWORD timeoutMs = 60000);
    // Waits for the modal run to end by itself; -2 on timeout.
    INT_PTR WaitForEnd(DWORD timeoutMs);
    // The dialog object; read its fields only once the modal run has ended.
    MainDialog& Dialog() { return *dialog; }

private:
    static LRESULT CALLBACK HelperProcedure(HWND, UINT, WPARAM, LPARAM);
    void UiThreadBody();

    std::unique_ptr<ModuleRecord> module;
    std::unique_ptr<MainDialog> dialog;
    std::thread thread;
    DWORD threadId = 0;
    HWND window = nullptr;
    HWND helper = nullptr;  // a message-only window on the UI thread for Fence and Hold
    HANDLE started = nullptr;
    HANDLE ended = nullptr;
    HANDLE released = nullptr;
    INT_PTR result = -2;
};

// A fresh folder under the test's temporary directory, removed with all its
// contents on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path; }
    // Full path of `relative` inside the folder.
    std::wstring operator/(const std::wstring& relative) const { return path + L"\\" + relative; }
    // Creates a file (and its parent folders) holding `bytes`; returns its full path.
    std::wstring File(const std::wstring& relative, const std::string& bytes = "x");
    std::wstring Folder(const std::wstring& relative);
    // A file of `size` zero bytes that takes no disk space (for long jobs).
    std::wstring ZeroFile(const std::wstring& relative, long long size);

private:
    std::wstring path;
};

// The first `size` bytes of a fixed pseudo-random sequence: the top byte of
// each step of x = x * 1103515245 + 12345 (mod 2^32), starting from x = 1.
std::string PatternBytes(std::size_t size);

// Runs Dunmo.exe (next to the test) with `arguments` as a separate process.
class DunmoProcess {
public:
    explicit DunmoProcess(const std::vector<std::wstring>& arguments);
    ~DunmoProcess();
    DunmoProcess(const DunmoProcess&) = delete;
    DunmoProcess& operator=(const DunmoProcess&) = delete;

    bool Started() const { return process != nullptr; }
    // The process's visible main dialog, once it appears; null on timeout.
    HWND WaitForWindow(DWORD timeoutMs = 30000);
    // The exit code once the process has ended; -2 on timeout.
    long WaitForExit(DWORD timeoutMs = 60000);

private:
    HANDLE process = nullptr;
    DWORD processId = 0;
};

}  // namespace uitest
