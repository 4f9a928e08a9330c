#include "UiTestSupport.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace uitest {

namespace {

constexpr UINT kFenceMessage = WM_APP;
constexpr UINT kHoldMessage = WM_APP + 1;

// A visible top-level dialog of a thread (or, with thread 0, of a process).
struct DialogSearch {
    DWORD threadId;
    DWORD processId;
    HWND except;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if ((thread == search->threadId || process == search->processId) && window != search->except &&
        IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0)
        search->found.push_back(window);
    return TRUE;
}

HWND FirstDialog(DWORD threadId, DWORD processId, HWND except = nullptr) {
    DialogSearch search{threadId, processId, except, {}};
    EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(5);
    }
    return true;
}

std::wstring TextOf(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(L"\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

int ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

RECT RectOf(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return bounds;
}

RECT WorkArea() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

HWND FindChild(HWND dialog, const wchar_t* className, const std::wstring& text) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (lstrcmpiW(name, className) == 0 && TextOf(child) == text) return child;
    }
    return nullptr;
}

DialogThread::~DialogThread() { Stop(); }

void DialogThread::Start(std::function<INT_PTR()> body) {
    Stop();
    ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    released = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread = std::thread([this, started, body = std::move(body)] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        helper = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(helper, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(helper, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogThread::HelperProcedure));
        threadId = GetCurrentThreadId();
        SetEvent(started);
        result = body();
        DestroyWindow(helper);
        CoUninitialize();
        SetEvent(ended);
    });
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
    window = nullptr;
    WaitUntil([this] {
        window = FirstDialog(threadId, 0);
        return window != nullptr || WaitForSingleObject(ended, 0) == WAIT_OBJECT_0;
    });
    if (window != nullptr) Fence();  // let WM_INITDIALOG's follow-ups settle
}

void DialogThread::Stop() {
    if (!thread.joinable()) return;
    SetEvent(released);
    // A failed test may leave dialogs open: cancel them until the body returns.
    while (WaitForSingleObject(ended, 50) == WAIT_TIMEOUT) {
        if (const HWND dialog = FirstDialog(threadId, 0)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    thread.join();
    CloseHandle(ended);
    CloseHandle(released);
}

HWND DialogThread::WaitForDialog(HWND except, DWORD timeoutMs) const {
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FirstDialog(threadId, 0, except)) != nullptr; }, timeoutMs);
    return dialog;
}

LRESULT CALLBACK DialogThread::HelperProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kFenceMessage && message != kHoldMessage) return DefWindowProcW(hwnd, message, wParam, lParam);
    SetEvent(reinterpret_cast<HANDLE>(lParam));
    // Held, sent messages (the test's reads and commands) are still answered.
    const auto* self = reinterpret_cast<DialogThread*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    while (message == kHoldMessage &&
           MsgWaitForMultipleObjects(1, &self->released, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG ignored;
        PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return 0;
}

HWND DialogThread::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

void DialogThread::PressKey(UINT virtualKey) {
    const HWND target = Focus() != nullptr ? Focus() : window;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | scan);
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | scan | (LPARAM{3} << 30));
    Fence();
}

void DialogThread::Fence() { Await(kFenceMessage); }

void DialogThread::Hold() { Await(kHoldMessage); }

void DialogThread::Await(UINT message) {
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (PostMessageW(helper, message, 0, reinterpret_cast<LPARAM>(done))) {
        const HANDLE events[] = {done, ended};
        WaitForMultipleObjects(2, events, FALSE, 60000);
    }
    CloseHandle(done);
}

INT_PTR DialogThread::WaitForEnd(DWORD timeoutMs) {
    return WaitForSingleObject(ended, timeoutMs) == WAIT_OBJECT_0 ? result : -2;
}

MainWindow::MainWindow(std::vector<std::wstring> arguments)
    : module(std::make_unique<ModuleRecord>(GetModuleHandleW(nullptr))) {
    std::vector<WideString> argumentVector{WideString(L"Dunmo.exe")};
    for (const std::wstring& argument : arguments) argumentVector.emplace_back(argument);
    dialog = std::make_unique<MainDialog>(std::move(argumentVector));
    Start([this] { return dialog->RunModal(IDD_MAIN, nullptr); });
}

PBRANGE MainWindow::ProgressRange() const {
    PBRANGE range{-1, -1};
    SendMessageW(Control(IDC_PROGRESS), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    return range;
}

bool MainWindow::WaitIdle(DWORD timeoutMs) {
    const bool idle = WaitUntil([this] { return !Busy(); }, timeoutMs);
    Fence();
    return idle;
}

void MainWindow::EnterPath(const std::wstring& path) {
    Type(IDC_PATH, path);
    FocusOn(IDC_PATH);
    PressKey(VK_RETURN);
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path = std::wstring(temp) + L"dunmo-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::wstring TempFolder::File(const std::wstring& relative, const std::string& bytes, long long size) {
    const std::wstring full = *this / relative;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    const HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (size > 0) {  // extended without writing: no disk space taken
        LARGE_INTEGER end{};
        end.QuadPart = size;
        SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }
    CloseHandle(file);
    return full;
}

std::wstring TempFolder::Folder(const std::wstring& relative) {
    std::filesystem::create_directories(*this / relative);
    return *this / relative;
}

std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 1;
    for (char& byte : bytes) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<char>(x >> 24);
    }
    return bytes;
}

DunmoProcess::DunmoProcess(const std::vector<std::wstring>& arguments) {
    wchar_t program[MAX_PATH] = {};
    GetFullPathNameW(L"" DUNMO_EXE_NAME, MAX_PATH, program, nullptr);
    // Quoted: enough for the paths the tests use (no quotes, no trailing backslash).
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
        CloseHandle(info.hThread);
        process = info.hProcess;
        processId = info.dwProcessId;
    }
}

DunmoProcess::~DunmoProcess() {
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
    if (process != nullptr) CloseHandle(process);
}

HWND DunmoProcess::WaitForWindow(DWORD timeoutMs) {
    if (process == nullptr) return nullptr;
    HWND dialog = nullptr;
    WaitUntil([&] {
        dialog = FirstDialog(0, processId);
        return dialog != nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    }, timeoutMs);
    return dialog;
}

long DunmoProcess::WaitForExit(DWORD timeoutMs) {
    if (process == nullptr || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return -2;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

}  // namespace uitest
