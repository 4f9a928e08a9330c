// The Base64 tool on a thread of its own, owned by a plain window.
#include <gtest/gtest.h>

#include <string>

#include "UiTestSupport.h"
#include "ui/Base64Dialog.h"

using uitest::TextOf;

namespace {

class Base64Tool : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open() {
        ui.Start([]() -> INT_PTR {
            const HWND owner = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150,
                                               500, 350, nullptr, nullptr, nullptr, nullptr);
            const INT_PTR result = Base64Dialog().RunModal(IDD_BASE64, owner);
            DestroyWindow(owner);
            return result;
        });
        ASSERT_NE(ui.Window(), nullptr);
        input = ui.Control(IDC_BASE64_INPUT);
        output = ui.Control(IDC_BASE64_OUTPUT);
    }

    std::wstring Converted(const std::wstring& text, int command) {
        ui.Type(IDC_BASE64_INPUT, text);
        ui.Click(command);
        return TextOf(output);
    }
    std::wstring Encoded(const std::wstring& text) { return Converted(text, IDC_ENCODE); }
    std::wstring Decoded(const std::wstring& text) { return Converted(text, IDC_DECODE); }
    // After each command the input has the focus with all of its text selected.
    void ExpectInputSelected() {
        EXPECT_EQ(ui.Focus(), input);
        DWORD start = 99, end = 99;
        SendMessageW(input, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, TextOf(input).size());
    }

    void ExpectTemplate(const wchar_t* encode, const wchar_t* decode) {
        const HWND box = ui.Window();
        EXPECT_EQ(TextOf(box), L"Base64");
        EXPECT_EQ(ui.Text(IDC_ENCODE), encode);
        EXPECT_EQ(ui.Text(IDC_DECODE), decode);
        EXPECT_EQ(GetWindowLongW(box, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME),
                  WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME);
        EXPECT_FALSE(GetWindowLongW(box, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
        for (int id : {IDC_ENCODE, IDC_DECODE}) {
            EXPECT_EQ(GetWindowLongW(ui.Control(id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
            EXPECT_TRUE(GetWindowLongW(ui.Control(id), GWL_EXSTYLE) & WS_EX_STATICEDGE);
        }
        EXPECT_EQ(GetWindowLongW(input, GWL_STYLE) & (ES_AUTOHSCROLL | ES_MULTILINE), ES_AUTOHSCROLL);
        // The output wraps long lines and scrolls vertically.
        EXPECT_EQ(GetWindowLongW(output, GWL_STYLE) & (ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOHSCROLL),
                  ES_MULTILINE | ES_READONLY | WS_VSCROLL);
        // Tab order: input, Encode, output, Decode.
        EXPECT_EQ(GetNextDlgTabItem(box, input, FALSE), ui.Control(IDC_ENCODE));
        EXPECT_EQ(GetNextDlgTabItem(box, ui.Control(IDC_ENCODE), FALSE), output);
        EXPECT_EQ(GetNextDlgTabItem(box, output, FALSE), ui.Control(IDC_DECODE));
    }

    ModuleRecord module{GetModuleHandleW(nullptr)};
    uitest::DialogThread ui;
    HWND input = nullptr;
    HWND output = nullptr;
};

}  // namespace

TEST_F(Base64Tool, ConvertsBothWaysLeavingTheInputSelected) {
    EXPECT_EQ(ui.Focus(), input);  // first tab stop
    EXPECT_EQ(Encoded(L"abc"), L"YWJj");
    ExpectInputSelected();
    EXPECT_EQ(Decoded(L"YWJj"), L"abc");
    ExpectInputSelected();
    EXPECT_EQ(Decoded(L"YQ=="), L"a");  // replaced, never appended to
    EXPECT_EQ(Decoded(L"YWJ=j"), L"abc");
    EXPECT_EQ(Decoded(L" YW\tJj "), L"abc");
    EXPECT_EQ(Decoded(L"AAAA"), L"");  // three zero bytes show as nothing
    EXPECT_EQ(Decoded(L"YQBi"), L"a");  // the text ends at the first zero byte
    EXPECT_EQ(Decoded(L"!!!"), L"");

    // Long input is converted whole.
    const std::wstring text = std::wstring(10000, L'x') + L"\u00e9";
    const std::wstring encoded = Encoded(text);
    ASSERT_EQ(encoded.size(), 4u * ((text.size() + 2) / 3));
    EXPECT_EQ(encoded.substr(0, 8), L"eHh4eHh4");
    EXPECT_EQ(Decoded(encoded), text);

    // Empty input changes nothing, not even the focus.
    EXPECT_EQ(Encoded(L"abc"), L"YWJj");
    ui.Type(IDC_BASE64_INPUT, L"");
    SendMessageW(ui.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(output), TRUE);
    SendMessageW(ui.Window(), WM_COMMAND, IDC_ENCODE, 0);
    SendMessageW(ui.Window(), WM_COMMAND, IDC_DECODE, 0);
    EXPECT_EQ(TextOf(output), L"YWJj");
    EXPECT_EQ(ui.Focus(), output);
}

TEST_F(Base64Tool, EnterEncodesOnlyFromTheInput) {
    ui.Type(IDC_BASE64_INPUT, L"YWJj");
    ui.FocusOn(IDC_BASE64_INPUT);
    ui.PressKey(VK_RETURN);
    EXPECT_EQ(TextOf(output), L"WVdKag==");  // Enter always encodes
    ExpectInputSelected();

    ui.Type(IDC_BASE64_INPUT, L"abc");
    ui.FocusOn(IDC_BASE64_OUTPUT);
    ui.PressKey(VK_RETURN);
    EXPECT_EQ(TextOf(output), L"WVdKag==");
    EXPECT_EQ(ui.Focus(), output);

    // Enter on a focused button is that button's command.
    ui.Type(IDC_BASE64_INPUT, L"YWJj");
    ui.FocusOn(IDC_DECODE);
    ASSERT_EQ(ui.Focus(), ui.Control(IDC_DECODE));
    ui.PressKey(VK_RETURN);
    EXPECT_EQ(TextOf(output), L"abc");
    EXPECT_TRUE(IsWindowVisible(ui.Window()));
}

TEST_F(Base64Tool, ReopeningStartsEmpty) {
    EXPECT_EQ(Encoded(L"abc"), L"YWJj");
    ui.PressKey(VK_ESCAPE);
    EXPECT_EQ(ui.WaitForEnd(10000), 2);
    Open();
    EXPECT_EQ(TextOf(input), L"");
    EXPECT_EQ(TextOf(output), L"");
    PostMessageW(ui.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(ui.WaitForEnd(10000), 2);
}

TEST_F(Base64Tool, EnglishTemplateAndWesternCodePage) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0409);
    ASSERT_EQ(GetACP(), 1252u);
    ExpectTemplate(L"Encode", L"Decode");
    EXPECT_EQ(Encoded(L"\u00e9"), L"6Q==");
    EXPECT_EQ(Decoded(L"w6k="), L"\u00c3\u00a9");  // UTF-8 bytes read as 1252
    EXPECT_EQ(Encoded(L"\u4e2d"), L"Pw==");          // unrepresentable: "?"
}

TEST_F(Base64Tool, ChineseTemplateAndCodePage) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0804);
    ASSERT_EQ(GetACP(), 936u);
    ExpectTemplate(L"编码", L"解码");
    EXPECT_EQ(Encoded(L"\u4e2d"), L"1tA=");
    EXPECT_EQ(Decoded(L"1tA="), L"\u4e2d");
    ExpectInputSelected();
}
