// Naming what to hash by dropping files on the main window and by the shell's
// folder browser, against the real dialog and job.
#include "UiTestSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

using namespace uitest;

namespace {

constexpr wchar_t kMd5Hello[] = L"5D41402ABC4B2A76B9719D911017C592";
constexpr wchar_t kMd5Dunmo[] = L"786107F4D4790BD2E83325D84DA66085";

HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM from = nullptr) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}
std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW data{TVIF_TEXT, item, 0, 0, text, MAX_PATH, 0, 0, 0, 0};
    if (item != nullptr) SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

// Selects `path` in the browser's tree (Wine's takes only a short path and
// ignores its edit field; while it fills the tree it may miss the request, so
// that is repeated), opens the children `names` one by one as a user would,
// then presses `button`.
bool Browse(HWND browser, const std::wstring& path, const Lines& names, int button) {
    const HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    if (!WaitUntil([&] {
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
            return ItemText(tree, TreeItem(tree, TVGN_CARET)) == path.substr(path.rfind(L'\\') + 1);
        }))
        return false;
    for (const std::wstring& name : names) {
        const HTREEITEM parent = TreeItem(tree, TVGN_CARET);
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
        HTREEITEM child = TreeItem(tree, TVGN_CHILD, parent);
        while (child != nullptr && ItemText(tree, child) != name) child = TreeItem(tree, TVGN_NEXT, child);
        if (!SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child))) return false;
    }
    SendMessageW(GetDlgItem(browser, button), BM_CLICK, 0, 0);
    return true;
}

// A file whose path is longer than MAX_PATH, in two nested folders of
// 100-character names whose own paths stay short enough for Wine's browser.
const std::wstring kLongFolder(100, L'd'), kLongName = std::wstring(60, L'f') + L".txt";
std::wstring LongFile(const TempFolder& temp) {
    return temp.File(kLongFolder + L"\\" + kLongFolder + L"\\" + kLongName, "abc");
}

}  // namespace

// Long names arrive whole; the first name shows in the path box.
TEST(PathInputDrop, FilesInDropOrderEmptyDropNothingFolderAndFileOneJob) {
    TempFolder temp;
    const std::wstring c = temp.File(L"c.txt", "abc"), a = temp.File(L"a.txt", "hello");
    const std::wstring b = temp.File(L"b.txt", "dunmo"), longName = LongFile(temp);
    ASSERT_GT(longName.size(), 260u);
    MainWindow main;
    EXPECT_TRUE(main.Drop({longName, c, a, b}));
    EXPECT_EQ(main.Text(IDC_PATH), longName);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), (Lines{Md5Line(kMd5Abc, longName), Md5Line(kMd5Abc, c), Md5Line(kMd5Hello, a),
                                       Md5Line(kMd5Dunmo, b)}));

    EXPECT_TRUE(main.Drop({}));
    EXPECT_FALSE(main.Busy());
    EXPECT_EQ(main.Text(IDC_PATH), longName);

    // The plain files of a list come before its folders, walked without
    // their subfolders while SubDirectory is unticked.
    const std::wstring folder = temp.Folder(L"folder");
    const std::wstring inner = temp.File(L"folder\\inner.txt", "abc");
    temp.File(L"folder\\sub\\deeper.txt", "hello");
    main.Click(IDC_CLEAR);
    main.Drop({folder, a});
    EXPECT_EQ(main.Text(IDC_PATH), folder);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), (Lines{Md5Line(kMd5Hello, a), Md5Line(kMd5Abc, inner)}));
    EXPECT_EQ(main.Range(), 2);  // one job over both files
}

// Cancel, then a file, a long-named file reached through the tree, and a
// folder walked with SubDirectory.
TEST(PathInputBrowse, CancelChangesNothingChosenFileOrFolderIsHashedWhole) {
    TempFolder temp;
    const std::wstring file = temp.File(L"chosen.txt", "abc"), longName = LongFile(temp);
    const std::wstring folder = temp.Folder(L"tree");
    const std::wstring top = temp.File(L"tree\\top.txt", "abc");
    const std::wstring deep = temp.File(L"tree\\sub\\deep.txt", "hello");
    MainWindow main;
    main.Type(IDC_PATH, L"typed before");
    main.Click(IDC_SUBDIRECTORY);
    const DWORD thread = GetWindowThreadProcessId(main.Window(), nullptr);
    // Where the tree starts, the items then opened, the button, the lines, the path box.
    const std::tuple<std::wstring, Lines, int, Lines, std::wstring> cases[] = {
        {file, {}, IDCANCEL, {}, L"typed before"},
        {file, {}, IDOK, {Md5Line(kMd5Abc, file)}, file},
        {temp.Path(), {kLongFolder, kLongFolder, kLongName}, IDOK, {Md5Line(kMd5Abc, longName)}, longName},
        {folder, {}, IDOK, {Md5Line(kMd5Abc, top), Md5Line(kMd5Hello, deep)}, folder}};
    for (const auto& [start, items, button, expected, path] : cases) {
        main.Click(IDC_CLEAR);
        PostMessageW(main.Window(), WM_COMMAND, IDC_BROWSE, reinterpret_cast<LPARAM>(main.Control(IDC_BROWSE)));
        HWND browser = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (browser = FindDialog(thread, 0, main.Window())) != nullptr; }));
        main.Fence();
        EXPECT_EQ(GetWindow(browser, GW_OWNER), main.Window());
        EXPECT_NE(FindWindowExW(browser, nullptr, L"Static", L"Please select a directory or file to hash."), nullptr);
        ASSERT_TRUE(Browse(browser, start, items, button));
        // A job starts once the browser has gone.
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(browser) && main.PaneLines().size() >= expected.size(); }));
        ASSERT_TRUE(main.WaitIdle());
        EXPECT_EQ(main.PaneLines(), expected);
        EXPECT_EQ(main.Text(IDC_PATH), path);
    }
}
