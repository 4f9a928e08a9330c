#pragma once
// Drives real dialogs the way a user would. A dialog runs modally on a user-
// interface thread of its own; the test thread clicks, types and reads its
// controls through window messages.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleacc.h>
#include <shlobj.h>

#include <memory>
#include <thread>

#include "../TestSupport.h"
#include "resources/resource.h"
#include "ui/MainDialog.h"

namespace uitest {

using namespace wintest;
using Lines = std::vector<std::wstring>;

// The text of any window, also one of another thread or process.
inline std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}
// Splits text at "\r\n"; a last line without one is kept.
inline Lines SplitLines(const std::wstring& text) {
    Lines lines;
    for (std::size_t start = 0, end; start < text.size(); start = end + 2)
        lines.push_back(text.substr(start, (end = std::min(text.find(L"\r\n", start), text.size())) - start));
    return lines;
}
// A visible dialog of thread `threadId` (or, with 0, of process `processId`)
// other than `except`; null if none.
inline HWND FindDialog(DWORD threadId, DWORD processId, HWND except = nullptr) {
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD process = 0;
        const DWORD thread = GetWindowThreadProcessId(window, &process);
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if ((thread == threadId || process == processId) && window != except && IsWindowVisible(window) &&
            lstrcmpW(name, L"#32770") == 0)
            return window;
    }
    return nullptr;
}

// A dialog run modally on a thread of its own (COM initialised as a single-
// threaded apartment, which the folder browser needs). A message-only helper
// window on that thread lets the test fence and hold the thread's queue.
class DialogThread {
public:
    ~DialogThread() { Stop(); }

    // Runs `body` (the modal run) on a new thread; returns once its first
    // dialog is shown or the body has returned.
    void Start(std::function<INT_PTR()> body) {
        Stop();
        ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        released = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        threadId = 0;
        thread = std::thread([this, body = std::move(body)] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
            InitCommonControlsEx(&controls);
            helper = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            SetWindowLongPtrW(helper, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HelperProcedure));
            threadId = GetCurrentThreadId();
            result = body();
            DestroyWindow(helper);
            CoUninitialize();
            SetEvent(ended);
        });
        WaitUntil([this] { return threadId != 0 && ((window = FindDialog(threadId, 0)) || WaitForEnd(0) != -2); });
        if (window != nullptr) Fence();  // let WM_INITDIALOG's follow-ups settle
    }
    // Cancels the dialogs a failed test may leave open, and joins the thread.
    void Stop() {
        if (!thread.joinable()) return;
        SetEvent(released);
        while (WaitForSingleObject(ended, 50) == WAIT_TIMEOUT)
            if (const HWND dialog = FindDialog(threadId, 0)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        thread.join();
        CloseHandle(ended);
        CloseHandle(released);
    }

    HWND Window() const { return window; }
    HWND Control(int id) const { return GetDlgItem(window, id); }
    std::wstring Text(int id) const { return TextOf(Control(id)); }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    // The control holding the thread's keyboard focus.
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
    }
    // A mouse click on a button; returns once its command was handled.
    void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    // Type replaces the text of an edit box; FocusOn moves the focus as Tab would.
    void Type(int id, const std::wstring& text) { SetWindowTextW(Control(id), text.c_str()); }
    void FocusOn(int id) { SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE); }
    // A key pressed and released on the focused control; returns once handled.
    void PressKey(UINT key) {
        const HWND target = Focus() != nullptr ? Focus() : window;
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(target, WM_KEYDOWN, key, 1 | scan);
        PostMessageW(target, WM_KEYUP, key, 1 | scan | (LPARAM{3} << 30));
        Fence();
    }
    // Fence returns once every message posted to the thread before it (a
    // worker's included) has been dispatched. Hold keeps the thread inside a
    // handler, answering only sent messages, until Release: posted messages
    // pile up meanwhile. ReleaseUntilHere releases a hold and holds again once
    // the messages posted before it are dispatched, ahead of any they post.
    void Fence() { Await(WM_APP); }
    void Hold() { Await(WM_APP + 1); }
    void Release() { SetEvent(released); }
    void ReleaseUntilHere() { Await(WM_APP + 1, true); }
    // Waits for the body to return; its result, or -2 on timeout.
    INT_PTR WaitForEnd(DWORD timeoutMs) {
        return WaitForSingleObject(ended, timeoutMs) == WAIT_OBJECT_0 ? result : -2;
    }

private:
    // wParam: the event that releases a hold; lParam: the event set on arrival.
    static LRESULT CALLBACK HelperProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_APP && message != WM_APP + 1) return DefWindowProcW(hwnd, message, wParam, lParam);
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        const HANDLE released = reinterpret_cast<HANDLE>(wParam);
        MSG ignored;
        while (message == WM_APP + 1 &&
               MsgWaitForMultipleObjects(1, &released, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1)
            PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        return 0;
    }
    // Posts `message` to the helper and returns once its handler has begun.
    void Await(UINT message, bool releaseFirst = false) {
        const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const HANDLE events[] = {done, ended};
        if (PostMessageW(helper, message, reinterpret_cast<WPARAM>(released), reinterpret_cast<LPARAM>(done))) {
            if (releaseFirst) Release();
            WaitForMultipleObjects(2, events, FALSE, 60000);
        }
        CloseHandle(done);
    }

    ModuleRecord module{GetModuleHandleW(nullptr)};
    std::thread thread;
    std::atomic<DWORD> threadId{0};
    HWND window = nullptr;
    HWND helper = nullptr;
    HANDLE ended = nullptr;
    HANDLE released = nullptr;
    INT_PTR result = -2;
};

// Runs dialog class D from template `id`, owned by a plain window at `owner`.
template <typename D>
void OpenOwned(DialogThread& ui, WORD id, RECT owner = {200, 150, 600, 450}) {
    ui.Start([id, owner]() -> INT_PTR {
        const HWND window = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, owner.left,
                                            owner.top, owner.right - owner.left, owner.bottom - owner.top,
                                            nullptr, nullptr, nullptr, nullptr);
        const INT_PTR result = D().RunModal(id, window);
        DestroyWindow(window);
        return result;
    });
}

// A drop as the shell builds it: a DROPFILES header in movable global memory,
// then each wide name with its terminator, then one more terminator.
inline HGLOBAL MakeDrop(const Lines& names) {
    std::size_t units = names.empty() ? 2 : 1;
    for (const std::wstring& name : names) units += name.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* next = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& name : names) next += name.copy(next, name.size()) + 1;
    GlobalUnlock(memory);
    return memory;
}

// The real main dialog, constructed with the program's path then `arguments`.
// Its thread shares the dialog object, so the object outlives the modal run.
class MainWindow : public DialogThread {
public:
    explicit MainWindow(const Lines& arguments = {}, const JobSettings& settings = {}) {
        std::vector<WideString> argv{WideString(L"Dunmo.exe")};
        for (const std::wstring& argument : arguments) argv.emplace_back(argument);
        dialog = std::make_shared<MainDialog>(std::move(argv), settings);
        Start([dialog = dialog] { return dialog->RunModal(IDD_MAIN, nullptr); });
    }

    Lines PaneLines() const { return SplitLines(Text(IDC_OUTPUT)); }
    int Range() const { return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0)); }
    int Position() const { return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }
    bool Busy() const { return !Enabled(IDC_BROWSE); }
    // Waits until no job runs ("..." enabled again), then fences.
    bool WaitIdle() {
        const bool idle = WaitUntil([this] { return !Busy(); }, 60000);
        return Fence(), idle;
    }
    void EnterPath(const std::wstring& path) {
        Type(IDC_PATH, path);
        FocusOn(IDC_PATH);
        PressKey(VK_RETURN);
    }
    // Drops `names`; once handled, whether the drop's memory was released.
    bool Drop(const Lines& names) {
        const HGLOBAL memory = MakeDrop(names);
        EXPECT_TRUE(PostMessageW(Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0));
        Fence();
        return GlobalSize(memory) == 0;
    }
    // The dialog object; read its fields only while the thread is held or
    // once the modal run has ended.
    MainDialog& Dialog() { return *dialog; }
    std::size_t JobLines() {
        Hold();
        const std::size_t lines = dialog->JobLines();
        return Release(), lines;
    }

private:
    std::shared_ptr<MainDialog> dialog;
};

// Dunmo.exe beside the tests as a process of its own, given `arguments`
// (each quoted whole: none may hold a quote or end in a backslash). Ended, if
// it still runs, when this goes.
class DunmoProcess {
public:
    explicit DunmoProcess(const Lines& arguments = {}) {
        wchar_t program[MAX_PATH] = {};
        GetFullPathNameW(L"" DUNMO_EXE_NAME, MAX_PATH, program, nullptr);
        std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
        for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        started = CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info) != FALSE;
    }
    ~DunmoProcess() {
        if (!started) return;
        TerminateProcess(info.hProcess, 99);  // only if it failed to end
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    DunmoProcess(const DunmoProcess&) = delete;
    DunmoProcess& operator=(const DunmoProcess&) = delete;

    bool Started() const { return started; }
    // Its main dialog once shown and idle ("..." enabled); null after a minute.
    HWND IdleDialog() const {
        HWND dialog = nullptr;
        WaitUntil([&] {
            dialog = started ? FindDialog(0, info.dwProcessId) : nullptr;
            return dialog != nullptr && IsWindowEnabled(GetDlgItem(dialog, IDC_BROWSE));
        }, 60000);
        return dialog;
    }
    // Its exit code once it has ended; STILL_ACTIVE if it runs on after a minute.
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        if (started && WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info{};
    bool started = false;
};

// A window's client object as Active Accessibility gives it to any process:
// its name and role. The calling thread must have COM.
struct AccessibleFacts {
    std::wstring name;
    LONG role;
    bool operator==(const AccessibleFacts& other) const { return name == other.name && role == other.role; }
    friend std::ostream& operator<<(std::ostream& out, const AccessibleFacts& facts) {
        return out << ::testing::PrintToString(facts.name) << " role " << facts.role;
    }
};
inline AccessibleFacts ReadAccessible(HWND window) {
    IAccessible* object = nullptr;
    AccessibleFacts facts{L"(no object)", -1};
    if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object))))
        return facts;
    VARIANT self{}, role{};
    V_VT(&self) = VT_I4, V_I4(&self) = CHILDID_SELF;
    BSTR name = nullptr;
    facts.name = SUCCEEDED(object->get_accName(self, &name)) && name ? std::wstring(name, SysStringLen(name)) : L"(none)";
    SysFreeString(name);
    facts.role = SUCCEEDED(object->get_accRole(self, &role)) && V_VT(&role) == VT_I4 ? V_I4(&role) : -1;
    object->Release();
    return facts;
}

inline std::wstring Md5Line(const wchar_t* md5, const std::wstring& path) {
    return L"[MD5] " + std::wstring(md5) + L" - " + path;
}
constexpr wchar_t kMd5Abc[] = L"900150983CD24FB0D6963F7D28E17F72";

}  // namespace uitest
