#include "DialogDriver.h"

#include <objbase.h>

#include <vector>

namespace {

struct ThreadDialogs {
    HWND except;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ThreadDialogs*>(parameter);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (window != search->except && IsWindowVisible(window) &&
        std::wstring(className) == L"#32770")
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> DialogsOf(DWORD threadId, HWND except) {
    ThreadDialogs search{except, {}};
    EnumThreadWindows(threadId, &CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

UiThread::UiThread(std::function<INT_PTR()> body) {
    std::promise<DWORD> started;
    std::future<DWORD> startedId = started.get_future();
    std::packaged_task<INT_PTR()> task([body = std::move(body)] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const INT_PTR result = body();
        CoUninitialize();
        return result;
    });
    done = task.get_future();
    thread = std::thread([&started, task = std::move(task)]() mutable {
        started.set_value(GetCurrentThreadId());
        task();
    });
    threadId = startedId.get();
}

UiThread::~UiThread() {
    // A failed test may leave dialogs open: cancel them until the body returns.
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        for (HWND dialog : DialogsOf(threadId, nullptr))
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    thread.join();
}

HWND UiThread::WaitForDialog(HWND except, DWORD timeoutMs) const {
    return WaitForThreadDialog(threadId, except, timeoutMs);
}

HWND WaitForThreadDialog(DWORD threadId, HWND except, DWORD timeoutMs) {
    HWND dialog = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> dialogs = DialogsOf(threadId, except);
            dialog = dialogs.empty() ? nullptr : dialogs.front();
            return dialog != nullptr;
        },
        timeoutMs);
    if (dialog != nullptr) Flush(dialog);  // let WM_INITDIALOG's follow-ups settle
    return dialog;
}

bool UiThread::Finished(INT_PTR& result, DWORD timeoutMs) {
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) return false;
    result = done.get();
    // The future is spent; leave one behind that is ready, for the destructor.
    std::promise<INT_PTR> spent;
    spent.set_value(result);
    done = spent.get_future();
    return true;
}

HWND UiThread::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info)) return nullptr;
    return info.hwndFocus;
}

HWND CreateOwnerWindow(const RECT& bounds) {
    return CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, bounds.left,
                           bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void Flush(HWND window) {
    // A sent message is handled when the thread next looks for messages; the
    // second one can only be handled after what the first wait released.
    DWORD_PTR ignored = 0;
    for (int round = 0; round < 2; ++round)
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
}

void PressKey(HWND target, UINT virtualKey) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    Flush(target);
}

RECT WorkArea() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

HWND FindChild(HWND dialog, const wchar_t* className, const std::wstring& text) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (lstrcmpiW(name, className) == 0 && TextOf(child) == text) return child;
    }
    return nullptr;
}
