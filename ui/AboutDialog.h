#pragma once
// The About box: name, version, icon and web address. Run with
// RunModal(IDD_ABOUT, owner); ends with 1 for "OK", 2 for Esc or the close box.
#include "ui/Dialog.h"

class AboutDialog : public Dialog {
public:
    bool HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override;

    LRESULT HandleInit(WPARAM, LPARAM);
    LRESULT HandleOk(WPARAM, LPARAM);
    LRESULT HandleCancel(WPARAM, LPARAM);
};
