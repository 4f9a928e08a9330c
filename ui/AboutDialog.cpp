#include "ui/AboutDialog.h"

#include "resources/resource.h"

bool AboutDialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                DWORD mapId) {
    // IDOK is absent on purpose: Enter with no button focused leaves the box open.
    static const MessageRoute<AboutDialog> routes[] = {
        {WM_INITDIALOG, 0, &AboutDialog::HandleInit},
        {WM_COMMAND, IDC_ABOUT_OK, &AboutDialog::HandleOk},
        {WM_COMMAND, IDCANCEL, &AboutDialog::HandleCancel},
        {WM_DPICHANGED, 0, &AboutDialog::HandleDpiChanged},
    };
    return Dispatch(*this, routes, message, wParam, lParam, result, mapId);
}

LRESULT AboutDialog::HandleInit(WPARAM, LPARAM) { return CenterOnOwner(window); }

LRESULT AboutDialog::HandleOk(WPARAM, LPARAM) {
    EndDialog(window, 1);
    return 0;
}

LRESULT AboutDialog::HandleCancel(WPARAM, LPARAM) {
    EndDialog(window, 2);
    return 0;
}
