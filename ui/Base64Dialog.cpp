#include "ui/Base64Dialog.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "algorithms/Base64.h"
#include "resources/resource.h"
#include "ui/AccessibleName.h"

namespace {

// The control's whole text; empty when it has none.
std::wstring ReadText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int read = GetWindowTextW(control, text.data(), length + 1);
    text.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    return text;
}

// `text` in the system's ANSI code page. The first call only measures, so a
// code page with more than two bytes per character (UTF-8 as the system code
// page) neither overflows nor truncates. A failed conversion gives "".
std::string ToAnsi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr) <= 0)
        return {};
    bytes.resize(std::strlen(bytes.c_str()));
    return bytes;
}

// The NUL-terminated ANSI string `bytes` as UTF-16; "" when it cannot be converted.
std::wstring FromAnsi(const char* bytes) {
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes, -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, bytes, -1, text.data(), size) <= 0) return {};
    text.resize(std::wcslen(text.c_str()));
    return text;
}

// Focus back on the input box with its whole text selected, so typing replaces it.
void ReturnToInput(HWND dialog) {
    HWND input = GetDlgItem(dialog, IDC_BASE64_INPUT);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(input), TRUE);
    SendMessageW(input, EM_SETSEL, 0, -1);
    SendMessageW(input, EM_SCROLLCARET, 0, 0);
}

}  // namespace

bool Base64Dialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                 DWORD mapId) {
    static const MessageRoute<Base64Dialog> routes[] = {
        {WM_INITDIALOG, 0, &Base64Dialog::HandleInit},
        {WM_COMMAND, IDC_ENCODE, &Base64Dialog::HandleEncode},
        {WM_COMMAND, IDC_DECODE, &Base64Dialog::HandleDecode},
        {WM_COMMAND, IDOK, &Base64Dialog::HandleEnter},
        {WM_COMMAND, IDCANCEL, &Base64Dialog::HandleCancel},
        {WM_DPICHANGED, 0, &Base64Dialog::HandleDpiChanged},
    };
    return Dispatch(*this, routes, message, wParam, lParam, result, mapId);
}

LRESULT Base64Dialog::HandleInit(WPARAM, LPARAM) {
    // The two boxes have no label of their own.
    static const ControlName names[] = {{IDC_BASE64_INPUT, IDS_NAME_BASE64_INPUT},
                                        {IDC_BASE64_OUTPUT, IDS_NAME_BASE64_OUTPUT}};
    NameControls(window, names);
    return CenterOnOwner(window);
}

LRESULT Base64Dialog::HandleEncode(WPARAM, LPARAM) {
    // A failed allocation ends the command; the output keeps its old text.
    try {
        const std::wstring text = ReadText(GetDlgItem(window, IDC_BASE64_INPUT));
        if (text.empty()) return 0;
        const std::string bytes = ToAnsi(text);
        const auto length = static_cast<std::int32_t>(bytes.size());
        // std::string keeps a NUL past its last character.
        std::string encoded(4 * ((bytes.size() + 2) / 3), '\0');
        Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), length, encoded.data());
        SetDlgItemTextW(window, IDC_BASE64_OUTPUT, FromAnsi(encoded.c_str()).c_str());
    } catch (const std::bad_alloc&) {
        return 0;
    }
    ReturnToInput(window);
    return 0;
}

LRESULT Base64Dialog::HandleDecode(WPARAM, LPARAM) {
    try {
        const std::wstring text = ReadText(GetDlgItem(window, IDC_BASE64_INPUT));
        if (text.empty()) return 0;
        const std::string encoded = ToAnsi(text);
        // One spare byte past the decoded data keeps it NUL-terminated; the
        // text shown ends at the first zero byte.
        std::string decoded(3 * ((encoded.size() + 3) / 4) + 1, '\0');
        const std::int32_t count =
            Base64Decode(encoded.c_str(), reinterpret_cast<std::uint8_t*>(decoded.data()));
        decoded[static_cast<std::size_t>(count)] = '\0';
        SetDlgItemTextW(window, IDC_BASE64_OUTPUT, FromAnsi(decoded.c_str()).c_str());
    } catch (const std::bad_alloc&) {
        return 0;
    }
    ReturnToInput(window);
    return 0;
}

LRESULT Base64Dialog::HandleEnter(WPARAM, LPARAM) {
    // Enter encodes only from the input box; elsewhere it does nothing and
    // never closes the dialog.
    if (GetFocus() == GetDlgItem(window, IDC_BASE64_INPUT)) return HandleEncode(0, 0);
    return 0;
}

LRESULT Base64Dialog::HandleCancel(WPARAM, LPARAM) {
    EndDialog(window, 2);
    return 0;
}
