#include "ui/Dialog.h"

#include "support/UniqueHandle.h"
#include "ui/DisplayScale.h"
#include "ui/Placement.h"

namespace {
ModuleRecord* currentModule = nullptr;

// Messages whose result the dialog manager takes as the procedure's return
// value instead of DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
    }
}

PlacementRect ToPlacement(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

HFONT FontOf(HWND window) { return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)); }

// Each child's rectangle in the dialog's client area, both edges scaled, so
// that neighbours stay neighbours.
void ScaleControls(HWND dialog, UINT fromDpi, UINT toDpi) {
    const auto scale = [&](LONG value) { return MulDiv(value, static_cast<int>(toDpi), static_cast<int>(fromDpi)); };
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const LONG left = scale(r.left), top = scale(r.top);
        SetWindowPos(child, nullptr, left, top, scale(r.right) - left, scale(r.bottom) - top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}
}  // namespace

ModuleRecord::ModuleRecord(HINSTANCE instance) : resourceInstance(instance) { currentModule = this; }

ModuleRecord::~ModuleRecord() {
    if (currentModule == this) currentModule = nullptr;
}

ModuleRecord& ModuleRecord::Current() { return *currentModule; }

void ModuleRecord::AddPending(Dialog* dialog) {
    const ExclusiveLock held(creationLock);
    pendingDialogs.emplace_front(dialog, GetCurrentThreadId());
}

Dialog* ModuleRecord::TakePending() {
    const DWORD thread = GetCurrentThreadId();
    Dialog* found = nullptr;
    const ExclusiveLock held(creationLock);
    auto before = pendingDialogs.before_begin();
    for (auto it = pendingDialogs.begin(); it != pendingDialogs.end(); before = it++) {
        if (it->second == thread) {
            found = it->first;
            pendingDialogs.erase_after(before);
            break;
        }
    }
    return found;
}

INT_PTR Dialog::RunModal(WORD templateId, HWND owner) {
    ModuleRecord& module = ModuleRecord::Current();
    module.AddPending(this);
    const INT_PTR result = DialogBoxParamW(module.ResourceInstance(), MAKEINTRESOURCEW(templateId),
                                           owner, &Dialog::DialogProcedure, 0);
    // A dialog that was never created leaves its entry behind; drop it so a
    // later dialog of this thread cannot be tied to this object.
    if (window == nullptr && result == -1) {
        Dialog* stale = module.TakePending();
        if (stale != nullptr && stale != this) module.AddPending(stale);
    }
    return result;
}

INT_PTR CALLBACK Dialog::DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind into the dialog manager's frames.
    try {
        auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (dialog == nullptr) {
            dialog = ModuleRecord::Current().TakePending();
            if (dialog == nullptr) return FALSE;
            dialog->window = hwnd;
            SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        }
        if (message == WM_INITDIALOG) dialog->StartScaling();
        LRESULT result = 0;
        const bool handled = dialog->HandleMessage(hwnd, message, wParam, lParam, result, 0);
        if (message == WM_NCDESTROY) {
            dialog->window = nullptr;
            SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        }
        if (!handled) return FALSE;
        if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

void Dialog::StartScaling() {
    KeepDialogScalingOurs(window);
    dpi = templateDpi = WindowDpi(window);
    scaledFont.reset();
    templateFont = {};
    if (const HFONT font = FontOf(window)) GetObjectW(font, sizeof(templateFont), &templateFont);
}

LRESULT Dialog::HandleDpiChanged(WPARAM wParam, LPARAM lParam) {
    const UINT newDpi = HIWORD(wParam);  // the same as LOWORD: DPI is square
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    if (newDpi == 0 || newDpi == dpi || suggested == nullptr) return 0;
    ScaleControls(window, dpi, newDpi);
    dpi = newDpi;

    // From the template's font each time, so that rounding never adds up.
    const HFONT previous = scaledFont ? scaledFont.get() : FontOf(window);
    FontHandle font = templateFont.lfHeight != 0 ? ScaledFont(templateFont, templateDpi, newDpi) : FontHandle();
    if (font) {
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (FontOf(child) == previous) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        scaledFont = std::move(font);  // no control uses the previous one now
    }
    ScaleOwnFonts(newDpi);

    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    return 0;
}

BOOL CenterOnOwner(HWND window) {
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    HWND reference = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT bounds{};
    GetWindowRect(window, &bounds);
    const LONG width = bounds.right - bounds.left;
    const LONG height = bounds.bottom - bounds.top;

    RECT area{};
    RECT target{};
    if (!child) {
        if (reference != nullptr) {
            const LONG ownerStyle = GetWindowLongW(reference, GWL_STYLE);
            if (!(ownerStyle & WS_VISIBLE) || (ownerStyle & WS_MINIMIZE)) reference = nullptr;
        }
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
            // Without a work area, the whole primary screen bounds the window.
            area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        }
        if (reference != nullptr) {
            GetWindowRect(reference, &target);
        } else {
            target = area;
        }
    } else {
        GetClientRect(reference, &area);
        target = area;
    }

    const PlacementPoint at = CenterWithin(ToPlacement(target), ToPlacement(area), width, height);
    SetWindowPos(window, nullptr, at.x, at.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}
