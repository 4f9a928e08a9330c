#pragma once
// The Base64 tool: encodes the input line's text, or decodes it, through the
// system's ANSI code page. Run with RunModal(IDD_BASE64, owner); ends with 2.
#include "ui/Dialog.h"

class Base64Dialog : public Dialog {
public:
    bool HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override;

    LRESULT HandleInit(WPARAM, LPARAM);
    LRESULT HandleEncode(WPARAM, LPARAM);
    LRESULT HandleDecode(WPARAM, LPARAM);
    LRESULT HandleEnter(WPARAM, LPARAM);
    LRESULT HandleCancel(WPARAM, LPARAM);
};
