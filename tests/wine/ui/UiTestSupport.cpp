#include "UiTestSupport.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <atomic>
#include <filesystem>

namespace uitest {

namespace {

constexpr UINT kFenceMessage = WM_APP;
constexpr UINT kHoldMessage = WM_APP + 1;
constexpr wchar_t kHelperClass[] = L"DunmoUiTestHelper";

struct DialogSearch {
    DWORD processId;  // 0: any process
    HWND found;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if ((search->processId == 0 || owner == search->processId) && IsWindowVisible(window) &&
        lstrcmpW(className, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring Quote(const std::wstring& argument) {
    // Enough for the paths the tests use: no embedded quotes, no trailing backslash.
    return L"\"" + argument + L"\"";
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
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
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
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// --- MainWindow -------------------------------------------------------------

MainWindow::MainWindow(std::vector<std::wstring> arguments)
    : module(std::make_unique<ModuleRecord>(GetModuleHandleW(nullptr))),
      started(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      released(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    std::vector<WideString> argumentVector{WideString(L"Dunmo.exe")};
    for (const std::wstring& argument : arguments) argumentVector.emplace_back(argument);
    dialog = std::make_unique<MainDialog>(std::move(argumentVector));
    thread = std::thread([this] { UiThreadBody(); });
    WaitForSingleObject(started, INFINITE);
    // The dialog is shown once WM_INITDIALOG (and a command-line start) has run.
    DialogSearch search{0, nullptr};
    WaitUntil([&] {
        if (WaitForSingleObject(ended, 0) == WAIT_OBJECT_0) return true;
        EnumThreadWindows(threadId, &FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    window = search.found;
    if (window != nullptr) Fence();
}

MainWindow::~MainWindow() {
    SetEvent(released);
    while (WaitForSingleObject(ended, 100) == WAIT_TIMEOUT) {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    thread.join();
    dialog.reset();
    module.reset();
    CloseHandle(started);
    CloseHandle(ended);
    CloseHandle(released);
}

void MainWindow::UiThreadBody() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSW helperClass{};
    helperClass.lpfnWndProc = &MainWindow::HelperProcedure;
    helperClass.hInstance = GetModuleHandleW(nullptr);
    helperClass.lpszClassName = kHelperClass;
    RegisterClassW(&helperClass);  // fails harmlessly when already registered
    helper = CreateWindowExW(0, kHelperClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(helper, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    threadId = GetCurrentThreadId();
    SetEvent(started);

    result = dialog->RunModal(IDD_MAIN, GetActiveWindow());

    DestroyWindow(helper);
    CoUninitialize();
    SetEvent(ended);
}

LRESULT CALLBACK MainWindow::HelperProcedure(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == kFenceMessage) {
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    }
    if (message == kHoldMessage && self != nullptr) {
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        // Sent messages (the test's reads and commands) are still answered.
        while (MsgWaitForMultipleObjects(1, &self->released, FALSE, INFINITE, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
            MSG ignored;
            PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool MainWindow::Checked(int id) const {
    return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND MainWindow::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info)) return nullptr;
    return info.hwndFocus;
}

PBRANGE MainWindow::ProgressRange() const {
    PBRANGE range{-1, -1};
    SendMessageW(Control(IDC_PROGRESS), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    return range;
}

int MainWindow::ProgressPosition() const {
    return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

void MainWindow::Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }

void MainWindow::Type(int id, const std::wstring& text) {
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::FocusOn(int id) {
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE);
}

void MainWindow::PressKey(UINT virtualKey) {
    const HWND target = Focus() != nullptr ? Focus() : window;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | scan);
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | scan | (LPARAM{3} << 30));
    Fence();
}

void MainWindow::Fence() {
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (PostMessageW(helper, kFenceMessage, 0, reinterpret_cast<LPARAM>(done))) {
        const HANDLE events[] = {done, ended};
        WaitForMultipleObjects(2, events, FALSE, 60000);
    }
    CloseHandle(done);
}

bool MainWindow::WaitIdle(DWORD timeoutMs) {
    const bool idle = WaitUntil([this] { return !Busy(); }, timeoutMs);
    Fence();
    return idle;
}

void MainWindow::Hold() {
    const HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PostMessageW(helper, kHoldMessage, 0, reinterpret_cast<LPARAM>(holding));
    WaitForSingleObject(holding, 60000);
    CloseHandle(holding);
}

void MainWindow::Release() { SetEvent(released); }

INT_PTR MainWindow::Close(DWORD timeoutMs) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return WaitForEnd(timeoutMs);
}

INT_PTR MainWindow::WaitForEnd(DWORD timeoutMs) {
    if (WaitForSingleObject(ended, timeoutMs) != WAIT_OBJECT_0) return -2;
    return result;
}

// --- TempFolder ---------------------------------------------------------------

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

std::wstring TempFolder::File(const std::wstring& relative, const std::string& bytes) {
    const std::wstring full = *this / relative;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    const HANDLE file =
        CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(file);
    return full;
}

std::wstring TempFolder::Folder(const std::wstring& relative) {
    const std::wstring full = *this / relative;
    std::filesystem::create_directories(full);
    return full;
}

std::wstring TempFolder::ZeroFile(const std::wstring& relative, long long size) {
    const std::wstring full = File(relative, "");
    const HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = size;
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return full;
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

// --- DunmoProcess -------------------------------------------------------------

DunmoProcess::DunmoProcess(const std::vector<std::wstring>& arguments) {
    wchar_t program[MAX_PATH] = {};
    GetFullPathNameW(L"" DUNMO_EXE_NAME, MAX_PATH, program, nullptr);
    std::wstring commandLine = Quote(program);
    for (const std::wstring& argument : arguments) commandLine += L" " + Quote(argument);
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
    if (process == nullptr) return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
    CloseHandle(process);
}

HWND DunmoProcess::WaitForWindow(DWORD timeoutMs) {
    DialogSearch search{processId, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(&FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    return search.found;
}

long DunmoProcess::WaitForExit(DWORD timeoutMs) {
    if (process == nullptr || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return -2;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

}  // namespace uitest
