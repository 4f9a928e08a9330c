// Template 129 as the dialog manager built it, in the language the locale
// picks, and the icon and version resources that go with it.
#include <gtest/gtest.h>

#include "UiTestSupport.h"

using uitest::MainWindow;

namespace {

struct UnitRect {
    int x, y, width, height;
};

struct ControlRow {
    int id;
    const wchar_t* className;
    const wchar_t* english;
    const wchar_t* chinese;
    UnitRect englishBounds;
    UnitRect chineseBounds;
    DWORD kind;      // BS_TYPEMASK part for buttons, 0 otherwise
    DWORD required;  // style bits that must be set
    DWORD excluded;  // style bits that must be clear
    bool staticEdge;
};

const ControlRow kControls[] = {
    {IDC_PATH, L"Edit", nullptr, nullptr, {5, 5, 179, 13}, {5, 5, 165, 13}, 0,
     ES_AUTOHSCROLL | WS_TABSTOP, ES_MULTILINE, true},
    {IDC_BROWSE, L"Button", L"...", L"...", {187, 5, 20, 14}, {173, 5, 35, 14}, BS_PUSHBUTTON,
     WS_TABSTOP, 0, true},
    {IDC_ABOUT, L"Button", L"About", L"关于", {209, 5, 35, 14}, {209, 5, 35, 14}, BS_PUSHBUTTON,
     WS_TABSTOP, 0, true},
    // A radio button gains WS_TABSTOP while it is checked, so only the
    // unchecked ones show the template's lack of it.
    {IDC_MD5, L"Button", L"MD5", L"MD5", {5, 22, 28, 10}, {5, 22, 28, 10}, BS_AUTORADIOBUTTON,
     WS_GROUP, 0, false},
    {IDC_SHA1, L"Button", L"SHA-1", L"SHA-1", {35, 22, 36, 10}, {36, 22, 36, 10},
     BS_AUTORADIOBUTTON, 0, WS_GROUP | WS_TABSTOP, false},
    {IDC_CRC32, L"Button", L"CRC32", L"CRC32", {73, 22, 36, 10}, {75, 22, 36, 10},
     BS_AUTORADIOBUTTON, 0, WS_GROUP | WS_TABSTOP, false},
    {IDC_SUBDIRECTORY, L"Button", L"SubDirectory", L"扫描子目录", {111, 22, 64, 10},
     {114, 22, 56, 10}, BS_AUTOCHECKBOX, WS_GROUP | WS_TABSTOP, 0, false},
    {IDC_CLEAR, L"Button", L"Cls", L"清空", {187, 20, 20, 14}, {173, 20, 35, 14}, BS_PUSHBUTTON,
     WS_TABSTOP, 0, true},
    {IDC_BASE64, L"Button", L"Base64", L"Base64", {209, 20, 35, 14}, {209, 20, 35, 14},
     BS_PUSHBUTTON, WS_TABSTOP, 0, true},
    {IDC_PROGRESS, L"msctls_progress32", L"Progress1", L"Progress1", {5, 36, 238, 8},
     {5, 36, 238, 8}, 0, 0, PBS_SMOOTH | PBS_VERTICAL, true},
    {IDC_OUTPUT, L"Edit", nullptr, nullptr, {5, 47, 238, 73}, {5, 47, 238, 73}, 0,
     ES_MULTILINE | ES_READONLY | ES_WANTRETURN | ES_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
     WS_HSCROLL, true},
};

// The dialog manager converts position and size separately, so the far edge
// is x' + width', not (x + width)'.
RECT Pixels(HWND dialog, const UnitRect& units) {
    RECT r{units.x, units.y, units.width, units.height};
    MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

void ExpectRect(const RECT& actual, const RECT& expected, int id) {
    EXPECT_TRUE(EqualRect(&actual, &expected)) << "control " << id << ": " << actual.left << ","
        << actual.top << "," << actual.right << "," << actual.bottom << " instead of " << expected.left
        << "," << expected.top << "," << expected.right << "," << expected.bottom;
}

void ExpectTemplate(bool chinese) {
    MainWindow main;
    const HWND dialog = main.Window();
    ASSERT_NE(dialog, nullptr);

    EXPECT_EQ(uitest::TextOf(dialog),
              chinese ? L"Dunmo - 文件哈希计算器" : L"Dunmo - File Hash Calculator");
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | DS_CENTER));
    RECT client{};
    GetClientRect(dialog, &client);
    ExpectRect(client, Pixels(dialog, {0, 0, 248, 125}), IDD_MAIN);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, chinese ? L"宋体" : L"MS Sans Serif");

    // Window order (and so tab order and the radio group) is template order.
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ControlRow& row : kControls) {
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), row.id);
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        EXPECT_EQ(lstrcmpiW(className, row.className), 0) << "control " << row.id;
        const wchar_t* text = chinese ? row.chinese : row.english;
        EXPECT_EQ(text == nullptr || uitest::TextOf(child) == text, true) << "control " << row.id;

        RECT bounds{};
        GetWindowRect(child, &bounds);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&bounds), 2);
        ExpectRect(bounds, Pixels(dialog, chinese ? row.chineseBounds : row.englishBounds), row.id);

        const DWORD childStyle = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        EXPECT_EQ(row.kind == 0 ? 0u : childStyle & BS_TYPEMASK, row.kind) << "control " << row.id;
        EXPECT_EQ(childStyle & row.required, row.required) << "control " << row.id;
        EXPECT_EQ(childStyle & row.excluded, 0u) << "control " << row.id;
        EXPECT_EQ((GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_STATICEDGE) != 0, row.staticEdge)
            << "control " << row.id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
}

std::wstring VersionString(const std::wstring& key) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path, &ignored));
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() || !GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), key.c_str(), &value, &length))
        return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

void ExpectVersionStrings(const wchar_t* block, std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> strings) {
    for (const auto& [key, value] : strings)
        EXPECT_EQ(VersionString(std::wstring(L"\\StringFileInfo\\") + block + L"\\" + key), value);
}

}  // namespace

TEST(MainWindowTemplate, English) { ExpectTemplate(false); }

TEST(MainWindowTemplate, Chinese) { ExpectTemplate(true); }

TEST(MainWindowResources, IconGroupAndEnglishVersionBlock) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), MAKEINTRESOURCEW(14));
    ASSERT_NE(found, nullptr);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries of 32 and 16
    // pixels, 16 colours, 4 bits per pixel.
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_EQ(*reinterpret_cast<const WORD*>(group + 4), 2);
    for (int i = 0; i < 2; ++i) {
        const BYTE* entry = group + 6 + 14 * i;
        EXPECT_EQ(entry[0], i == 0 ? 32 : 16);
        EXPECT_EQ(entry[1], i == 0 ? 32 : 16);
        EXPECT_EQ(entry[2], 16);
        EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 4);
    }

    ExpectVersionStrings(L"040904b0", {{L"FileDescription", L"Dunmo - File Hash Calculator"},
                                       {L"ProductVersion", L"1.2.4.2010"},
                                       {L"SpecialBuild", L"2010-04-01"},
                                       {L"LegalTrademarks", L"https://dunmo.example.org"}});
}

// The version block read is the one of the locale's language.
TEST(MainWindowResources, ChineseVersionBlock) {
    ExpectVersionStrings(L"080404b0", {{L"FileDescription", L"Dunmo - 文件哈希计算器"}, {L"OriginalFilename", L"Dunmo.exe"}});
}
