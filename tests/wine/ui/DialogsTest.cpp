// The About box and the Base64 tool, where the dialogs appear, and every
// dialog as the dialog manager built it in the language the locale picks, as
// assistive technology names it, at another DPI, and from the keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "UiTestSupport.h"
#include "ui/AboutDialog.h"
#include "ui/Base64Dialog.h"

using namespace uitest;

namespace {

void OpenAbout(DialogThread& ui) { OpenOwned<AboutDialog>(ui, IDD_ABOUT); }
void OpenBase64(DialogThread& ui) { OpenOwned<Base64Dialog>(ui, IDD_BASE64); }
void OpenMain(DialogThread& ui) { ui.Start([] { return MainDialog().RunModal(IDD_MAIN, nullptr); }); }

std::wstring Converted(DialogThread& ui, const std::wstring& text, int command) {
    ui.Type(IDC_BASE64_INPUT, text);
    ui.Click(command);
    return ui.Text(IDC_BASE64_OUTPUT);
}

// After each command the input has the focus with all of its text selected.
void ExpectInputSelected(const DialogThread& ui) {
    EXPECT_EQ(ui.Focus(), ui.Control(IDC_BASE64_INPUT));
    EXPECT_EQ(SendMessageW(ui.Control(IDC_BASE64_INPUT), EM_GETSEL, 0, 0),
              MAKELRESULT(0, ui.Text(IDC_BASE64_INPUT).size()));
}

std::wstring FontOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return std::wstring(font.lfFaceName) + L" " + std::to_wstring(font.lfHeight);
}

// What a user can tell of a dialog and its controls, one line each in window
// (and so tab) order: class, text, place and size in dialog units, the look
// and keyboard stops its style gives, and a font other than the dialog's.
Lines Describe(HWND dialog) {
    RECT base{0, 0, 4, 8};
    MapDialogRect(dialog, &base);
    Lines lines;
    for (HWND window = dialog; window; window = GetWindow(window, window == dialog ? GW_CHILD : GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        const bool self = window == dialog, button = !lstrcmpiW(name, L"Button"), edit = !lstrcmpiW(name, L"Edit");
        RECT r{};
        if (self) GetClientRect(dialog, &r);
        else GetWindowRect(window, &r), MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const auto x = [&](LONG pixels) { return std::to_wstring(MulDiv(pixels, 4, base.right)); };
        const auto y = [&](LONG pixels) { return std::to_wstring(MulDiv(pixels, 8, base.bottom)); };
        const DWORD style = GetWindowLongW(window, GWL_STYLE), ex = GetWindowLongW(window, GWL_EXSTYLE);
        // An icon is sized as its image and has no text or font.
        const bool icon = !lstrcmpiW(name, L"Static") && (style & SS_TYPEMASK) == SS_ICON;
        std::wstring line = std::wstring(name) + L" \"" + (icon ? L"" : TextOf(window)) + L"\" " + x(r.left) + L"," +
                            y(r.top) + (icon ? L"" : L"," + x(r.right - r.left) + L"," + y(r.bottom - r.top));
        const DWORD kind = button ? style & BS_TYPEMASK : ~0u;
        const std::pair<bool, const wchar_t*> flags[] = {
            {kind == BS_PUSHBUTTON, L"push"}, {kind == BS_DEFPUSHBUTTON, L"default"},
            {kind == BS_AUTOCHECKBOX, L"check"}, {kind == BS_AUTORADIOBUTTON, L"radio"},
            {button && SendMessageW(window, BM_GETCHECK, 0, 0), L"checked"},
            {edit && (style & ES_MULTILINE), L"multiline"}, {edit && (style & ES_READONLY), L"readonly"},
            {edit && (style & ES_AUTOHSCROLL), L"autohscroll"}, {(style & WS_VSCROLL) != 0, L"vscroll"},
            {icon && SendMessageW(window, STM_GETICON, 0, 0), L"icon"}, {(style & WS_HSCROLL) != 0, L"hscroll"},
            {!self && (style & WS_TABSTOP), L"tab"}, {(ex & WS_EX_STATICEDGE) != 0, L"edge"},
            {self && (style & WS_MINIMIZEBOX), L"minimize"}, {self && (style & WS_MAXIMIZEBOX), L"maximize"},
            {self && (style & WS_THICKFRAME), L"sizable"}, {self && (style & WS_SYSMENU), L"close"},
            {(ex & WS_EX_TOOLWINDOW) != 0, L"tool"}, {(ex & WS_EX_DLGMODALFRAME) != 0, L"modal"},
            {self && SendMessageW(window, WM_GETICON, ICON_BIG, 0) && SendMessageW(window, WM_GETICON, ICON_SMALL, 0),
             L"icons"}};
        for (const auto& [set, flag] : flags)
            if (set) line += std::wstring(L" ") + flag;
        if (self || (!icon && FontOf(window) != FontOf(dialog))) line += L" " + FontOf(window);
        lines.push_back(line);
    }
    return lines;
}

std::wstring VersionString(const std::wstring& key) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<char> block(GetFileVersionInfoSizeW(path, nullptr) + 1);
    void* value = nullptr;
    UINT length = 0;
    const bool found = GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()) &&
                       VerQueryValueW(block.data(), (L"\\StringFileInfo\\" + key).c_str(), &value, &length);
    return found ? static_cast<const wchar_t*>(value) : L"<missing>";
}

// Control, name, role. The role of a push button, radio button or progress
// bar is left to the system's standard object (Wine 8 calls them all
// clients); an edit box's is text everywhere.
using Names = std::vector<std::tuple<int, std::wstring, LONG>>;
constexpr LONG kStandardRole = -2;

LONG StandardRole(HWND control) {
    IAccessible* standard = nullptr;
    VARIANT self{}, role{};
    V_VT(&self) = VT_I4, V_I4(&self) = CHILDID_SELF;
    if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
        return -1;
    const bool read = SUCCEEDED(standard->get_accRole(self, &role)) && V_VT(&role) == VT_I4;
    standard->Release();
    return read ? V_I4(&role) : -1;
}

void ExpectNames(HWND dialog, const Names& names) {
    for (const auto& [id, name, role] : names) {
        const HWND control = GetDlgItem(dialog, id);
        EXPECT_EQ(ReadAccessible(control), (AccessibleFacts{name, role == kStandardRole ? StandardRole(control) : role}))
            << "control " << id;
    }
}

struct Language {
    LANGID id;
    UINT codePage;
    Lines main, about, base64;
    Names mainNames, aboutNames, base64Names;  // the main dialog's read by another process
    std::vector<std::tuple<std::wstring, int, std::wstring>> conversions;  // input, command, output
    std::vector<std::pair<std::wstring, std::wstring>> version;             // key, value
};

void ExpectLanguage(const Language& language) {
    ASSERT_EQ(GetUserDefaultUILanguage(), language.id);
    ASSERT_EQ(GetACP(), language.codePage);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(Describe(MainWindow().Window()), language.main);
    {
        const DunmoProcess dunmo;
        ExpectNames(dunmo.IdleDialog(), language.mainNames);
    }
    DialogThread ui;
    OpenAbout(ui);
    EXPECT_EQ(Describe(ui.Window()), language.about);
    ExpectNames(ui.Window(), language.aboutNames);
    OpenBase64(ui);
    EXPECT_EQ(Describe(ui.Window()), language.base64);
    ExpectNames(ui.Window(), language.base64Names);
    for (const auto& [input, command, output] : language.conversions) {
        EXPECT_EQ(Converted(ui, input, command), output);
        ExpectInputSelected(ui);
    }
    for (const auto& [key, value] : language.version) EXPECT_EQ(VersionString(key), value);
    ui.Stop();
    CoUninitialize();
}

}  // namespace

TEST(Dialogs, EndWithTheirResultsAndTheAboutBoxStaysOnEnterOrIdok) {
    DialogThread ui;
    OpenAbout(ui);
    // Focus on the first tab stop (the name), where Enter becomes IDOK.
    ASSERT_NE(ui.Focus(), nullptr);
    EXPECT_NE(ui.Focus(), ui.Control(IDC_ABOUT_OK));
    ui.PressKey(VK_RETURN);
    SendMessageW(ui.Window(), WM_COMMAND, IDOK, 0);
    ui.Fence();
    EXPECT_TRUE(IsWindowVisible(ui.Window()));  // an ended dialog is hidden at once
    const std::tuple<void (*)(DialogThread&), void (*)(DialogThread&), INT_PTR> endings[] = {
        {OpenAbout, [](DialogThread& ui) { ui.Click(IDC_ABOUT_OK); }, 1},
        {OpenAbout, [](DialogThread& ui) { ui.PressKey(VK_ESCAPE); }, 2},
        {OpenAbout, [](DialogThread& ui) { PostMessageW(ui.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
        {OpenBase64, [](DialogThread& ui) { ui.PressKey(VK_ESCAPE); }, 2},
        {OpenBase64, [](DialogThread& ui) { PostMessageW(ui.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
        {OpenMain, [](DialogThread& ui) { ui.PressKey(VK_ESCAPE); }, IDCANCEL},
    };
    for (const auto& [open, end, result] : endings) {
        if (ui.WaitForEnd(0) != -2) open(ui);
        end(ui);
        EXPECT_EQ(ui.WaitForEnd(10000), result);
    }
}

// Centred on the owner (the main dialog on the work area), moved left where
// it would leave the work area.
TEST(DialogPlacement, CentredOnTheOwnerAndKeptInsideTheWorkArea) {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const auto rectOf = [](HWND window) { RECT bounds{}; return GetWindowRect(window, &bounds), bounds; };
    const auto expectPlaced = [&](const RECT& box, const RECT& centre) {
        const LONG width = box.right - box.left, height = box.bottom - box.top;
        EXPECT_EQ(box.left, std::min((centre.left + centre.right) / 2 - width / 2, area.right - width));
        EXPECT_EQ(box.top, (centre.top + centre.bottom) / 2 - height / 2);
    };
    expectPlaced(rectOf(MainWindow().Window()), area);
    DialogThread ui;
    for (const RECT& owner : {RECT{200, 150, 600, 450}, RECT{area.right - 60, 200, area.right + 340, 500}}) {
        OpenOwned<AboutDialog>(ui, IDD_ABOUT, owner);
        expectPlaced(rectOf(ui.Window()), rectOf(GetWindow(ui.Window(), GW_OWNER)));
    }
}

// A command from its button, or from Enter on the focused control: Enter
// encodes only from the input, on a button it is that button's command.
// Empty input changes nothing, not even the focus.
TEST(Base64Tool, ConvertsBothWaysLeavingTheInputSelected) {
    DialogThread ui;
    OpenBase64(ui);
    EXPECT_EQ(ui.Focus(), ui.Control(IDC_BASE64_INPUT));  // first tab stop
    const std::tuple<const wchar_t*, int, bool, const wchar_t*> cases[] = {
        {L"abc", IDC_ENCODE, false, L"YWJj"}, {L"YWJj", IDC_DECODE, false, L"abc"},
        {L"YQ==", IDC_DECODE, false, L"a"},  // replaced, never appended to
        {L"AAAA", IDC_DECODE, false, L""},  // three zero bytes show as nothing
        {L"YQBi", IDC_DECODE, false, L"a"},  // the text ends at the first zero byte
        {L" YW\tJj ", IDC_DECODE, false, L"abc"}, {L"!!!", IDC_DECODE, false, L""},
        {L"YWJj", IDC_BASE64_INPUT, true, L"WVdKag=="}, {L"abc", IDC_BASE64_OUTPUT, true, L"WVdKag=="},
        {L"YWJj", IDC_DECODE, true, L"abc"}, {L"", IDC_ENCODE, true, L"abc"}, {L"", IDC_DECODE, true, L"abc"},
        {L"", IDC_BASE64_INPUT, true, L"abc"},
    };
    for (const auto& [input, control, enter, output] : cases) {
        ui.Type(IDC_BASE64_INPUT, input);
        if (enter) ui.FocusOn(control), ui.PressKey(VK_RETURN);
        else ui.Click(control);
        EXPECT_EQ(ui.Text(IDC_BASE64_OUTPUT), output) << input;
        // Enter on the output does nothing.
        if (*input && control != IDC_BASE64_OUTPUT) ExpectInputSelected(ui);
        else EXPECT_EQ(ui.Focus(), ui.Control(control)) << input;
    }
    // Long input is converted whole.
    const std::wstring text = std::wstring(10000, L'x') + L"\u00e9";
    const std::wstring encoded = Converted(ui, text, IDC_ENCODE);
    ASSERT_EQ(encoded.size(), 4u * ((text.size() + 2) / 3));
    EXPECT_EQ(encoded.substr(0, 8), L"eHh4eHh4");
    EXPECT_EQ(Converted(ui, encoded, IDC_DECODE), text);
    EXPECT_EQ(ui.WaitForEnd(0), -2);
}

TEST(Dialogs, EnglishTemplatesCodePageAndVersion) {
    ExpectLanguage({0x0409, 1252,
                    {L"#32770 \"Dunmo - File Hash Calculator\" 0,0,334,125 minimize close icons MS Sans Serif -11",
                     L"Edit \"\" 5,5,265,13 autohscroll tab edge",
                     L"Button \"...\" 273,5,20,14 push tab edge", L"Button \"About\" 295,5,35,14 push tab edge",
                     L"Button \"MD5\" 5,22,28,10 radio checked tab", L"Button \"SHA-1\" 35,22,36,10 radio",
                     L"Button \"CRC32\" 73,22,36,10 radio", L"Button \"SHA-256\" 111,22,42,10 radio",
                     L"Button \"SHA-512\" 155,22,42,10 radio", L"Button \"SubDirectory\" 199,22,64,10 check tab",
                     L"Button \"Cls\" 273,20,20,14 push tab edge", L"Button \"Base64\" 295,20,35,14 push tab edge",
                     L"msctls_progress32 \"Progress\" 5,36,324,8 edge",
                     L"DunmoResultPane \"\" 5,47,324,73 vscroll hscroll tab edge Courier New -12"},
                    {L"#32770 \"About File Hash Calculator\" 0,0,168,51 close tool MS Sans Serif -11",
                     L"Static \"Dunmo - File Hash Calculator\" 33,6,113,8 tab",
                     L"Static \"\" 5,9 icon", L"Static \"v1.2.4.2010\" 33,27,45,8",
                     L"Button \"OK\" 127,32,35,14 push tab edge",
                     L"Static \"https://dunmo.example.org\" 33,16,129,8"},
                    {L"#32770 \"Base64\" 0,0,191,79 close tool modal MS Sans Serif -11",
                     L"Edit \"\" 5,5,142,13 autohscroll tab edge", L"Button \"Encode\" 150,6,38,14 push tab edge",
                     L"Edit \"\" 5,21,142,53 multiline readonly vscroll tab edge",
                     L"Button \"Decode\" 150,21,38,14 push tab edge"},
                    {{IDC_PATH, L"File or folder", ROLE_SYSTEM_TEXT}, {IDC_BROWSE, L"Browse", kStandardRole},
                     {IDC_PROGRESS, L"Progress", kStandardRole}, {IDC_ABOUT, L"About", kStandardRole},
                     {IDC_SHA256, L"SHA-256", kStandardRole}},
                    {{IDC_ABOUT_OK, L"OK", kStandardRole}},
                    {{IDC_BASE64_INPUT, L"Input", ROLE_SYSTEM_TEXT}, {IDC_ENCODE, L"Encode", kStandardRole},
                     {IDC_BASE64_OUTPUT, L"Output", ROLE_SYSTEM_TEXT}},
                    // UTF-8 bytes read as 1252; a character it lacks becomes "?".
                    {{L"\u00e9", IDC_ENCODE, L"6Q=="}, {L"w6k=", IDC_DECODE, L"\u00c3\u00a9"},
                     {L"\u4e2d", IDC_ENCODE, L"Pw=="}},
                    {{L"040904b0\\FileDescription", L"Dunmo - File Hash Calculator"},
                     {L"040904b0\\ProductVersion", L"1.2.4.2010"},
                     {L"040904b0\\LegalTrademarks", L"https://dunmo.example.org"}}});
}

TEST(Dialogs, ChineseTemplatesCodePageAndVersion) {
    ExpectLanguage({0x0804, 936,
                    {L"#32770 \"Dunmo - 文件哈希计算器\" 0,0,334,125 minimize close icons 宋体 -12",
                     L"Edit \"\" 5,5,251,13 autohscroll tab edge",
                     L"Button \"...\" 259,5,35,14 push tab edge", L"Button \"关于\" 295,5,35,14 push tab edge",
                     L"Button \"MD5\" 5,22,28,10 radio checked tab", L"Button \"SHA-1\" 36,22,36,10 radio",
                     L"Button \"CRC32\" 75,22,36,10 radio", L"Button \"SHA-256\" 114,22,42,10 radio",
                     L"Button \"SHA-512\" 158,22,42,10 radio", L"Button \"扫描子目录\" 202,22,56,10 check tab",
                     L"Button \"清空\" 259,20,35,14 push tab edge", L"Button \"Base64\" 295,20,35,14 push tab edge",
                     L"msctls_progress32 \"进度\" 5,36,324,8 edge",
                     L"DunmoResultPane \"\" 5,47,324,73 vscroll hscroll tab edge Courier New -12"},
                    {L"#32770 \"关于文件哈希计算器\" 0,0,168,51 close tool 宋体 -12",
                     L"Static \"Dunmo - 文件哈希计算器\" 33,6,113,8 tab",
                     L"Static \"\" 5,9 icon", L"Static \"v1.2.4.2010\" 33,27,45,8",
                     L"Button \"确定\" 127,32,35,14 push tab edge",
                     L"Static \"https://dunmo.example.org\" 33,16,129,8"},
                    {L"#32770 \"Base64\" 0,0,191,79 close tool modal 宋体 -12",
                     L"Edit \"\" 5,5,142,13 autohscroll tab edge", L"Button \"编码\" 150,6,38,14 push tab edge",
                     L"Edit \"\" 5,21,142,53 multiline readonly vscroll tab edge",
                     L"Button \"解码\" 150,21,38,14 push tab edge"},
                    {{IDC_PATH, L"文件或文件夹", ROLE_SYSTEM_TEXT}, {IDC_BROWSE, L"浏览", kStandardRole},
                     {IDC_PROGRESS, L"进度", kStandardRole}, {IDC_CLEAR, L"清空", kStandardRole}},
                    {{IDC_ABOUT_OK, L"确定", kStandardRole}},
                    {{IDC_BASE64_INPUT, L"输入", ROLE_SYSTEM_TEXT}, {IDC_BASE64_OUTPUT, L"输出", ROLE_SYSTEM_TEXT}},
                    {{L"\u4e2d", IDC_ENCODE, L"1tA="}, {L"1tA=", IDC_DECODE, L"\u4e2d"}},
                    {{L"080404b0\\FileDescription", L"Dunmo - 文件哈希计算器"}, {L"080404b0\\OriginalFilename", L"Dunmo.exe"}}});
}

namespace {

using Box = std::array<LONG, 4>;
Box BoxOf(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// What a DPI change moves: the window; each control's rectangle in the client
// area and its font's height; the caret's top and height.
struct Layout {
    Box window;
    std::vector<Box> controls;
    std::vector<LONG> fonts;
    LONG caretTop, caretHeight;
};

Layout Measure(const DialogThread& ui) {
    Layout layout{};
    RECT r{};
    GetWindowRect(ui.Window(), &r);
    layout.window = BoxOf(r);
    for (HWND child = GetWindow(ui.Window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, ui.Window(), reinterpret_cast<POINT*>(&r), 2);
        layout.controls.push_back(BoxOf(r));
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof(font), &font);
        layout.fonts.push_back(font.lfHeight);
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(ui.Window(), nullptr), &info);
    layout.caretTop = info.rcCaret.top, layout.caretHeight = info.rcCaret.bottom - info.rcCaret.top;
    return layout;
}

// The caret in the pane's second line, or in the Base64 input.
void OpenMainWithCaret(DialogThread& ui) {
    OpenMain(ui);
    SetWindowTextW(ui.Control(IDC_OUTPUT), L"first\r\nsecond\r\n");
    ui.FocusOn(IDC_OUTPUT);
    SendMessageW(ui.Control(IDC_OUTPUT), EM_SETSEL, 7, 7);
}

}  // namespace

// The system moves a dialog to a monitor of twice the DPI: the dialog takes
// the rectangle it suggests, its controls twice their size and their fonts
// twice the height, the pane's lines and caret too (an edit's caret follows
// the bitmap font's nearest size). Moved back, all is as it was.
TEST(DialogScaling, EachDialogScalesItsControlsFontsAndCaretWithTheDpiAndBack) {
    const WindowDc screen(nullptr);
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    const std::pair<void (*)(DialogThread&), bool> dialogs[] = {
        {OpenMainWithCaret, true}, {OpenAbout, false}, {OpenBase64, false}};  // the pane's caret
    for (const auto& [open, pane] : dialogs) {
        DialogThread ui;
        open(ui);
        const Layout before = Measure(ui);
        const Box& w = before.window;
        const RECT suggested{w[0] - 10, w[1] - 20, w[0] - 10 + 2 * (w[2] - w[0]), w[1] - 20 + 2 * (w[3] - w[1])};
        SendMessageW(ui.Window(), WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
        ui.Fence();
        const Layout after = Measure(ui);
        EXPECT_EQ(after.window, BoxOf(suggested));
        ASSERT_EQ(after.controls.size(), before.controls.size());
        for (std::size_t i = 0; i < before.controls.size(); ++i) {
            for (std::size_t edge = 0; edge < 4; ++edge)
                EXPECT_NEAR(after.controls[i][edge], 2 * before.controls[i][edge], 1) << "control " << i;
            EXPECT_EQ(after.fonts[i], 2 * before.fonts[i]) << "control " << i;
        }
        if (pane) {
            EXPECT_GT(before.caretTop, 0);
            EXPECT_NEAR(after.caretTop, 2 * before.caretTop, 2);
            EXPECT_NEAR(after.caretHeight, 2 * before.caretHeight, 2);
        }

        const RECT original{w[0], w[1], w[2], w[3]};
        SendMessageW(ui.Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&original));
        ui.Fence();
        const Layout back = Measure(ui);
        EXPECT_EQ(back.window, before.window);
        EXPECT_EQ(back.controls, before.controls);
        EXPECT_EQ(back.fonts, before.fonts);
        EXPECT_EQ(back.caretHeight, before.caretHeight);
    }
}

// From the path box, Tab reaches the digest group at its chosen button and
// the arrow keys move the choice along the group and round; a later round of
// Tab comes back to the new choice.
TEST(DialogKeyboard, TabAndArrowsReachAndChangeEachDigestFromThePathBox) {
    MainWindow main;
    main.FocusOn(IDC_PATH);
    const int digests[] = {IDC_MD5, IDC_SHA1, IDC_CRC32, IDC_SHA256, IDC_SHA512};
    const std::pair<UINT, int> steps[] = {
        {VK_TAB, IDC_BROWSE},     {VK_TAB, IDC_ABOUT},      {VK_TAB, IDC_MD5},     {VK_RIGHT, IDC_SHA1},
        {VK_DOWN, IDC_CRC32},     {VK_RIGHT, IDC_SHA256},   {VK_DOWN, IDC_SHA512}, {VK_RIGHT, IDC_MD5},
        {VK_LEFT, IDC_SHA512},    {VK_UP, IDC_SHA256},      {VK_TAB, IDC_SUBDIRECTORY}, {VK_TAB, IDC_CLEAR},
        {VK_TAB, IDC_BASE64},     {VK_TAB, IDC_OUTPUT},     {VK_TAB, IDC_PATH},    {VK_TAB, IDC_BROWSE},
        {VK_TAB, IDC_ABOUT},      {VK_TAB, IDC_SHA256},
    };
    int chosen = IDC_MD5;
    for (const auto& [key, reached] : steps) {
        main.PressKey(key);
        EXPECT_EQ(main.Focus(), main.Control(reached)) << "to control " << reached;
        if (std::find(std::begin(digests), std::end(digests), reached) != std::end(digests)) chosen = reached;
        for (const int digest : digests)
            EXPECT_EQ(SendMessageW(main.Control(digest), BM_GETCHECK, 0, 0), digest == chosen ? BST_CHECKED : BST_UNCHECKED)
                << "digest " << digest << " at control " << reached;
    }
    EXPECT_FALSE(main.Busy());  // with no file named, a choice starts nothing
}
