// The About box on a thread of its own, owned by a plain window.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/AboutDialog.h"

using uitest::RectOf;
using uitest::TextOf;

namespace {

class AboutBox : public ::testing::Test {
protected:
    // Opens the About box owned by a window at `ownerBounds`.
    void Open(RECT ownerBounds = {200, 150, 600, 450}) {
        ui.Start([this, ownerBounds]() -> INT_PTR {
            owner = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, ownerBounds.left,
                                    ownerBounds.top, ownerBounds.right - ownerBounds.left,
                                    ownerBounds.bottom - ownerBounds.top, nullptr, nullptr, nullptr, nullptr);
            const INT_PTR result = AboutDialog().RunModal(IDD_ABOUT, owner);
            DestroyWindow(owner);
            return result;
        });
        box = ui.Window();
        ASSERT_NE(box, nullptr);
    }

    // The template as the dialog manager built it, for the language in use.
    void ExpectTemplate(const std::wstring& title, const std::wstring& name, const std::wstring& ok) {
        Open();
        EXPECT_EQ(TextOf(box), title);
        for (const std::wstring& text : {name, std::wstring(L"v1.2.4.2010"), std::wstring(L"https://dunmo.example.org")})
            EXPECT_NE(uitest::FindChild(box, L"Static", text), nullptr);
        const HWND button = ui.Control(IDC_ABOUT_OK);
        EXPECT_EQ(TextOf(button), ok);
        EXPECT_EQ(GetWindowLongW(box, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME), WS_EX_TOOLWINDOW);
        EXPECT_TRUE(GetWindowLongW(box, GWL_STYLE) & WS_SYSMENU);
        EXPECT_FALSE(GetWindowLongW(box, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
        // "OK" is not the default button, so Enter cannot reach it by default.
        EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        EXPECT_TRUE(GetWindowLongW(button, GWL_EXSTYLE) & WS_EX_STATICEDGE);
        HWND icon = nullptr;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
        ASSERT_NE(icon, nullptr);
        EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
    }

    ModuleRecord module{GetModuleHandleW(nullptr)};
    uitest::DialogThread ui;
    HWND owner = nullptr;
    HWND box = nullptr;
};

}  // namespace

TEST_F(AboutBox, OkEndsWithOneEscapeAndCloseBoxWithTwoEnterAndIdokNot) {
    Open();
    // Focus on the first tab stop (the name), where Enter becomes IDOK.
    ASSERT_NE(ui.Focus(), nullptr);
    EXPECT_NE(ui.Focus(), ui.Control(IDC_ABOUT_OK));
    ui.PressKey(VK_RETURN);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    ui.Fence();
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(ui.WaitForEnd(200), -2);
    ui.Click(IDC_ABOUT_OK);
    EXPECT_EQ(ui.WaitForEnd(10000), 1);

    Open();
    ui.PressKey(VK_ESCAPE);
    EXPECT_EQ(ui.WaitForEnd(10000), 2);

    Open();
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(ui.WaitForEnd(10000), 2);
}

TEST_F(AboutBox, CentredOverOwnerAndKeptInsideTheWorkArea) {
    Open({200, 150, 600, 450});
    RECT o = RectOf(owner);
    RECT b = RectOf(box);
    EXPECT_EQ(b.left, (o.left + o.right) / 2 - (b.right - b.left) / 2);
    EXPECT_EQ(b.top, (o.top + o.bottom) / 2 - (b.bottom - b.top) / 2);
    ui.Stop();

    // An owner at the right edge: the box stays at its centre height but inside.
    const RECT area = uitest::WorkArea();
    Open({area.right - 60, 200, area.right + 340, 500});
    o = RectOf(owner);
    b = RectOf(box);
    EXPECT_EQ(b.right, area.right);
    EXPECT_EQ(b.top, (o.top + o.bottom) / 2 - (b.bottom - b.top) / 2);
}

TEST_F(AboutBox, EnglishTemplate) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0409);
    ExpectTemplate(L"About File Hash Calculator", L"Dunmo - File Hash Calculator", L"OK");
}

TEST_F(AboutBox, ChineseTemplate) {
    ASSERT_EQ(GetUserDefaultUILanguage(), 0x0804);
    ExpectTemplate(L"关于文件哈希计算器", L"Dunmo - 文件哈希计算器", L"确定");
}
