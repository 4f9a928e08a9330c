#pragma once
// Plumbing shared by every dialog: one dialog procedure routes each message of
// a dialog window, from the very first, to its object's HandleMessage.
#include <windows.h>

#include <cstddef>
#include <forward_list>
#include <utility>

#include "support/UniqueHandle.h"

class Dialog;

// One per process, alive while any dialog may open. Holds the module the
// templates, strings and icons come from, and the dialogs waiting for the
// first message of their window.
class ModuleRecord {
public:
    explicit ModuleRecord(HINSTANCE resourceInstance);
    ~ModuleRecord();
    ModuleRecord(const ModuleRecord&) = delete;
    ModuleRecord& operator=(const ModuleRecord&) = delete;

    static ModuleRecord& Current();
    HINSTANCE ResourceInstance() const { return resourceInstance; }

    void AddPending(Dialog* dialog);
    // The most recently registered dialog of the calling thread, removed from
    // the list; null when there is none.
    Dialog* TakePending();

private:
    HINSTANCE resourceInstance;
    SRWLOCK creationLock = SRWLOCK_INIT;
    std::forward_list<std::pair<Dialog*, DWORD>> pendingDialogs;
};

// One entry of a dialog's message table. For WM_COMMAND the entry matches only
// its control id (any notification code); for other messages commandId is unused.
template <typename D>
struct MessageRoute {
    UINT message;
    UINT commandId;
    LRESULT (D::*handler)(WPARAM wParam, LPARAM lParam);
};

class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally from template `templateId` of the module record's
    // instance. Returns what the dialog passed to EndDialog, or -1 when it could
    // not be created.
    INT_PTR RunModal(WORD templateId, HWND owner);

    HWND Window() const { return window; }

    // Handles one message of map `mapId` (only map 0 exists). Returns whether
    // it was handled; `result` receives the handler's result.
    virtual bool HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                               LRESULT& result, DWORD mapId) = 0;

protected:
    // Looks `message` up in `table`; on a match calls the handler with the
    // message-handled flag set, and reports the message handled.
    template <typename D, std::size_t N>
    bool Dispatch(D& self, const MessageRoute<D> (&table)[N], UINT message, WPARAM wParam,
                  LPARAM lParam, LRESULT& result, DWORD mapId) {
        if (mapId != 0) return false;
        for (const auto& route : table) {
            if (route.message != message) continue;
            if (message == WM_COMMAND && route.commandId != LOWORD(wParam)) continue;
            const BOOL previous = std::exchange(messageHandled, TRUE);
            result = (self.*route.handler)(wParam, lParam);
            const bool handled = messageHandled != FALSE;
            messageHandled = previous;
            return handled;
        }
        return false;
    }

    // WM_DPICHANGED, for each dialog's table: moves the window to the rectangle
    // the system suggests (lParam), scales every control's rectangle by the
    // new DPI (wParam) over the old, and gives the controls that use the
    // dialog's font that font made anew for the new DPI. Then the dialog
    // rescales the fonts of its own (ScaleOwnFonts).
    LRESULT HandleDpiChanged(WPARAM wParam, LPARAM lParam);
    // The DPI the dialog is laid out for now.
    UINT Dpi() const { return dpi; }

    HWND window = nullptr;
    BOOL messageHandled = FALSE;

private:
    static INT_PTR CALLBACK DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // At WM_INITDIALOG, before the dialog's handler: notes the DPI the dialog
    // manager laid the template out for and the font it made.
    void StartScaling();
    // Controls whose font is not the dialog's (set by the dialog itself) get
    // theirs for `newDpi` here.
    virtual void ScaleOwnFonts(UINT newDpi) { (void)newDpi; }

    UINT dpi = 0;
    UINT templateDpi = 0;
    LOGFONTW templateFont{};
    // The dialog's font for a DPI other than the template's; the dialog
    // manager owns the template's.
    FontHandle scaledFont;
};

// Centres `window` over its owner (its parent for a child window), or over the
// work area when the owner is missing, hidden or minimised, and keeps it inside
// the work area (the parent's client area for a child). Returns TRUE.
BOOL CenterOnOwner(HWND window);
