#include <gtest/gtest.h>

#include <string>

#include "DialogDriver.h"
#include "resources/resource.h"
#include "ui/Base64Dialog.h"

namespace {

class Base64Tool : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open() {
        ui = std::make_unique<UiThread>([]() -> INT_PTR {
            HWND owner = CreateOwnerWindow({200, 150, 700, 500});
            Base64Dialog tool;
            const INT_PTR result = tool.RunModal(IDD_BASE64, owner);
            DestroyWindow(owner);
            return result;
        });
        box = ui->WaitForDialog();
        ASSERT_NE(box, nullptr);
        input = GetDlgItem(box, IDC_BASE64_INPUT);
        output = GetDlgItem(box, IDC_BASE64_OUTPUT);
    }

    void Type(const std::wstring& text) { SendMessageW(input, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }
    void Click(int id) { SendMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0); }
    std::wstring Encoded(const std::wstring& text) {
        Type(text);
        Click(IDC_ENCODE);
        return TextOf(output);
    }
    std::wstring Decoded(const std::wstring& text) {
        Type(text);
        Click(IDC_DECODE);
        return TextOf(output);
    }
    void Focus(HWND control) {
        SendMessageW(box, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        ASSERT_EQ(ui->Focus(), control);
    }
    // After each command the input has the focus with all of its text selected.
    void ExpectInputSelected() {
        EXPECT_EQ(ui->Focus(), input);
        DWORD start = 99, end = 99;
        SendMessageW(input, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, TextOf(input).size());
    }
    INT_PTR Close() {
        PressKey(ui->Focus(), VK_ESCAPE);
        INT_PTR result = -100;
        EXPECT_TRUE(ui->Finished(result));
        return result;
    }

    ModuleRecord module{GetModuleHandleW(nullptr)};
    std::unique_ptr<UiThread> ui;
    HWND box = nullptr;
    HWND input = nullptr;
    HWND output = nullptr;
};

void ExpectTemplate(HWND box, const wchar_t* encode, const wchar_t* decode) {
    EXPECT_EQ(TextOf(box), L"Base64");
    EXPECT_EQ(TextOf(GetDlgItem(box, IDC_ENCODE)), encode);
    EXPECT_EQ(TextOf(GetDlgItem(box, IDC_DECODE)), decode);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    EXPECT_FALSE(GetWindowLongW(box, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    for (int id : {IDC_ENCODE, IDC_DECODE}) {
        EXPECT_EQ(GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(box, id), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    }
    const LONG in = GetWindowLongW(GetDlgItem(box, IDC_BASE64_INPUT), GWL_STYLE);
    EXPECT_TRUE(in & ES_AUTOHSCROLL);
    EXPECT_FALSE(in & ES_MULTILINE);
    // The output wraps long lines and scrolls vertically.
    const LONG out = GetWindowLongW(GetDlgItem(box, IDC_BASE64_OUTPUT), GWL_STYLE);
    EXPECT_EQ(out & (ES_MULTILINE | ES_READONLY | WS_VSCROLL), ES_MULTILINE | ES_READONLY | WS_VSCROLL);
    EXPECT_FALSE(out & ES_AUTOHSCROLL);
    // Tab order: input, Encode, output, Decode.
    EXPECT_EQ(GetNextDlgTabItem(box, GetDlgItem(box, IDC_BASE64_INPUT), FALSE), GetDlgItem(box, IDC_ENCODE));
    EXPECT_EQ(GetNextDlgTabItem(box, GetDlgItem(box, IDC_ENCODE), FALSE), GetDlgItem(box, IDC_BASE64_OUTPUT));
    EXPECT_EQ(GetNextDlgTabItem(box, GetDlgItem(box, IDC_BASE64_OUTPUT), FALSE), GetDlgItem(box, IDC_DECODE));
}

}  // namespace

TEST_F(Base64Tool, EncodeAndDecodeLeaveInputSelected) {
    EXPECT_EQ(ui->Focus(), input);  // first tab stop
    EXPECT_EQ(Encoded(L"abc"), L"YWJj");
    ExpectInputSelected();
    EXPECT_EQ(Decoded(L"YWJj"), L"abc");
    ExpectInputSelected();
    // The output is replaced, never appended to.
    EXPECT_EQ(Decoded(L"YQ=="), L"a");
    EXPECT_EQ(Close(), 2);
}

TEST_F(Base64Tool, EnterEncodesOnlyFromTheInput) {
    Type(L"YWJj");
    Focus(input);
    PressKey(input, VK_RETURN);
    EXPECT_EQ(TextOf(output), L"WVdKag==");  // Enter always encodes
    ExpectInputSelected();

    Type(L"abc");
    Focus(output);
    PressKey(output, VK_RETURN);
    EXPECT_EQ(TextOf(output), L"WVdKag==");
    EXPECT_EQ(ui->Focus(), output);

    // Enter on a focused button is that button's command.
    Type(L"YWJj");
    Focus(GetDlgItem(box, IDC_DECODE));
    PressKey(GetDlgItem(box, IDC_DECODE), VK_RETURN);
    EXPECT_EQ(TextOf(output), L"abc");
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(Close(), 2);
}

TEST_F(Base64Tool, EmptyInputChangesNothing) {
    EXPECT_EQ(Encoded(L"abc"), L"YWJj");
    Type(L"");
    Focus(output);
    SendMessageW(box, WM_COMMAND, IDC_ENCODE, 0);
    SendMessageW(box, WM_COMMAND, IDC_DECODE, 0);
    EXPECT_EQ(TextOf(output), L"YWJj");
    EXPECT_EQ(ui->Focus(), output);  // not even the focus moves
}

TEST_F(Base64Tool, UntidyInputDecodesWhatItSpells) {
    EXPECT_EQ(Decoded(L"YWJ=j"), L"abc");
    EXPECT_EQ(Decoded(L" YW\tJj "), L"abc");
    EXPECT_EQ(Decoded(L"AAAA"), L"");  // three zero bytes show as nothing
    EXPECT_EQ(Decoded(L"YQBi"), L"a");  // the text ends at the first zero byte
    EXPECT_EQ(Decoded(L"!!!"), L"");
}

TEST_F(Base64Tool, LongInputIsConvertedWhole) {
    std::wstring text(10000, L'x');
    text += L"\u00e9";
    const std::wstring encoded = Encoded(text);
    ASSERT_EQ(encoded.size(), 4u * ((text.size() + 2) / 3));
    EXPECT_EQ(encoded.substr(0, 8), L"eHh4eHh4");
    EXPECT_EQ(Decoded(encoded), text);
}

TEST_F(Base64Tool, ReopeningStartsEmpty) {
    EXPECT_EQ(Encoded(L"abc"), L"YWJj");
    EXPECT_EQ(Close(), 2);
    Open();
    EXPECT_EQ(TextOf(input), L"");
    EXPECT_EQ(TextOf(output), L"");
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    INT_PTR result = 0;
    ASSERT_TRUE(ui->Finished(result));
    EXPECT_EQ(result, 2);
}

TEST_F(Base64Tool, WesternCodePage) {
    ASSERT_EQ(GetACP(), 1252u);
    EXPECT_EQ(Encoded(L"\u00e9"), L"6Q==");
    EXPECT_EQ(Decoded(L"w6k="), L"\u00c3\u00a9");  // UTF-8 bytes read as 1252
    EXPECT_EQ(Encoded(L"\u4e2d"), L"Pw==");          // unrepresentable: "?"
}

TEST_F(Base64Tool, EnglishTemplate) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0409);
    ExpectTemplate(box, L"Encode", L"Decode");
}

TEST_F(Base64Tool, ChineseCodePage) {
    ASSERT_EQ(GetACP(), 936u);
    EXPECT_EQ(Encoded(L"\u4e2d"), L"1tA=");
    EXPECT_EQ(Decoded(L"1tA="), L"\u4e2d");
    ExpectInputSelected();
}

TEST_F(Base64Tool, ChineseTemplate) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0804);
    ExpectTemplate(box, L"编码", L"解码");
}
