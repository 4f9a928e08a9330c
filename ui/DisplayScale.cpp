#include "ui/DisplayScale.h"

namespace {

// DPI_AWARENESS_CONTEXT values and the shell's PROCESS_PER_MONITOR_DPI_AWARE,
// spelt out: the SDK declares them only for newer targets than ours.
const auto kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const auto kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitorAware = 2;
// DIALOG_DPI_CHANGE_BEHAVIORS' DDC_DISABLE_ALL.
constexpr int kDialogScalingDisabled = 1;

template <typename Function>
Function Find(HMODULE module, const char* name) {
    // Through the generic function type, as GetProcAddress's result stands for any.
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

HMODULE User32() { return GetModuleHandleW(L"user32.dll"); }

}  // namespace

bool BecomeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (const auto setContext = Find<SetContext>(User32(), "SetProcessDpiAwarenessContext")) {
        // Version 2 (Windows 10 1703) also scales the title bar, menus and
        // scroll bars with the monitor; version 1 leaves them at system DPI.
        if (setContext(kPerMonitorAwareV2) || setContext(kPerMonitorAware)) return true;
        if (GetLastError() == ERROR_ACCESS_DENIED) return true;  // already set
    }
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length != 0 && length + 12 < MAX_PATH) {
        lstrcpyW(path + length, L"\\shcore.dll");
        // Windows 8.1 and later; the awareness stays once the module is gone.
        const LibraryHandle shcore(LoadLibraryW(path));
        using SetAwareness = HRESULT(WINAPI*)(int);
        if (const auto setAwareness = Find<SetAwareness>(shcore.get(), "SetProcessDpiAwareness")) {
            const HRESULT result = setAwareness(kProcessPerMonitorAware);
            if (SUCCEEDED(result) || result == E_ACCESSDENIED) return true;
        }
    }
    using SetAware = BOOL(WINAPI*)();
    const auto setAware = Find<SetAware>(User32(), "SetProcessDPIAware");
    return setAware && setAware();
}

UINT WindowDpi(HWND window) {
    using GetForWindow = UINT(WINAPI*)(HWND);
    static const auto getForWindow = Find<GetForWindow>(User32(), "GetDpiForWindow");
    if (getForWindow) {
        if (const UINT dpi = getForWindow(window)) return dpi;
    }
    const WindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

void KeepDialogScalingOurs(HWND dialog) {
    // Per-monitor v2 dialogs are rescaled by the dialog manager (Windows 10
    // 1703 on): controls moved and the template's font made anew. We do that
    // ourselves instead, so that it is one path on every version (per-monitor
    // v1 on 8.1 rescales nothing) and covers the fonts the dialog manager
    // does not know of, such as the output pane's.
    using SetBehavior = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = Find<SetBehavior>(User32(), "SetDialogDpiChangeBehavior");
    if (setBehavior) setBehavior(dialog, kDialogScalingDisabled, kDialogScalingDisabled);
}

FontHandle ScaledFont(const LOGFONTW& font, UINT fromDpi, UINT toDpi) {
    LOGFONTW scaled = font;
    scaled.lfHeight = MulDiv(font.lfHeight, static_cast<int>(toDpi), static_cast<int>(fromDpi));
    scaled.lfWidth = MulDiv(font.lfWidth, static_cast<int>(toDpi), static_cast<int>(fromDpi));
    return FontHandle(CreateFontIndirectW(&scaled));
}
