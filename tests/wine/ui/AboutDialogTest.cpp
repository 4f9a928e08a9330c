#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "resources/resource.h"
#include "ui/AboutDialog.h"

namespace {

class AboutBox : public ::testing::Test {
protected:
    // Opens the About box on its own thread, owned by a window at `ownerBounds`.
    void Open(RECT ownerBounds = {200, 150, 600, 450}) {
        ui = std::make_unique<UiThread>([this, ownerBounds]() -> INT_PTR {
            owner = CreateOwnerWindow(ownerBounds);
            AboutDialog about;
            const INT_PTR result = about.RunModal(IDD_ABOUT, owner);
            DestroyWindow(owner);
            return result;
        });
        box = ui->WaitForDialog();
        ASSERT_NE(box, nullptr);
    }
    INT_PTR Result() {
        INT_PTR result = -100;
        EXPECT_TRUE(ui->Finished(result));
        return result;
    }

    ModuleRecord module{GetModuleHandleW(nullptr)};
    std::unique_ptr<UiThread> ui;
    HWND owner = nullptr;
    HWND box = nullptr;
};

RECT RectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// The template as the dialog manager built it, for the language in use.
void ExpectTemplate(HWND box, const std::wstring& title, const std::wstring& name,
                    const std::wstring& ok) {
    EXPECT_EQ(TextOf(box), title);
    EXPECT_NE(FindChild(box, L"Static", name), nullptr);
    EXPECT_NE(FindChild(box, L"Static", L"v1.2.4.2010"), nullptr);
    EXPECT_NE(FindChild(box, L"Static", L"https://dunmo.example.org"), nullptr);
    HWND button = GetDlgItem(box, IDC_ABOUT_OK);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(TextOf(button), ok);

    const LONG style = GetWindowLongW(box, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(box, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    // "OK" is not the default button, so Enter cannot reach it by default.
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_TRUE(GetWindowLongW(button, GWL_EXSTYLE) & WS_EX_STATICEDGE);

    // The icon control shows the program's icon.
    HWND icon = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
    ASSERT_NE(icon, nullptr);
    EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
}

}  // namespace

TEST_F(AboutBox, OkEndsWithOne) {
    Open();
    SendMessageW(GetDlgItem(box, IDC_ABOUT_OK), BM_CLICK, 0, 0);
    EXPECT_EQ(Result(), 1);
}

TEST_F(AboutBox, EscapeAndCloseBoxEndWithTwo) {
    Open();
    PressKey(ui->Focus(), VK_ESCAPE);
    EXPECT_EQ(Result(), 2);

    Open();
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(Result(), 2);
}

TEST_F(AboutBox, EnterAndIdokDoNotClose) {
    Open();
    // Focus on the first tab stop (the name), where Enter becomes IDOK.
    HWND focus = ui->Focus();
    ASSERT_NE(focus, nullptr);
    EXPECT_NE(focus, GetDlgItem(box, IDC_ABOUT_OK));
    PressKey(focus, VK_RETURN);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    Flush(box);
    EXPECT_TRUE(IsWindow(box) && IsWindowVisible(box));
    INT_PTR result = 0;
    EXPECT_FALSE(ui->Finished(result, 200));

    SendMessageW(GetDlgItem(box, IDC_ABOUT_OK), BM_CLICK, 0, 0);
    EXPECT_EQ(Result(), 1);
}

TEST_F(AboutBox, CentredOverOwner) {
    Open({200, 150, 600, 450});
    const RECT o = RectOf(owner);
    const RECT b = RectOf(box);
    const LONG width = b.right - b.left;
    const LONG height = b.bottom - b.top;
    EXPECT_EQ(b.left, (o.left + o.right) / 2 - width / 2);
    EXPECT_EQ(b.top, (o.top + o.bottom) / 2 - height / 2);
}

TEST_F(AboutBox, KeptInsideWorkAreaWhenOwnerSitsAtRightEdge) {
    const RECT area = WorkArea();
    Open({area.right - 60, 200, area.right + 340, 500});
    const RECT o = RectOf(owner);
    const RECT b = RectOf(box);
    const LONG height = b.bottom - b.top;
    EXPECT_EQ(b.right, area.right);
    EXPECT_EQ(b.top, (o.top + o.bottom) / 2 - height / 2);  // at the owner's centre height
}

TEST_F(AboutBox, EnglishTemplate) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0409);
    Open();
    ExpectTemplate(box, L"About File Hash Calculator", L"Dunmo - File Hash Calculator", L"OK");
}

TEST_F(AboutBox, ChineseTemplate) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0804);
    Open();
    ExpectTemplate(box, L"关于文件哈希计算器", L"Dunmo - 文件哈希计算器", L"确定");
    SendMessageW(GetDlgItem(box, IDC_ABOUT_OK), BM_CLICK, 0, 0);
    EXPECT_EQ(Result(), 1);
}
