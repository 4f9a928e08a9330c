// Naming what to hash by dropping files on the main window and by the shell's
// folder browser, against the real dialog and job.
#include "UiTestSupport.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

using namespace uitest;

namespace {

constexpr wchar_t kMd5Hello[] = L"5D41402ABC4B2A76B9719D911017C592";
constexpr wchar_t kMd5Dunmo[] = L"786107F4D4790BD2E83325D84DA66085";

// A drop as the shell builds it: a DROPFILES header in movable global memory,
// then each wide name with its terminator, then one more terminator.
HGLOBAL MakeDrop(const Lines& names) {
    std::size_t units = names.empty() ? 2 : 1;
    for (const std::wstring& name : names) units += name.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* next = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& name : names) next += name.copy(next, name.size()) + 1;
    GlobalUnlock(memory);
    return memory;
}

// Posts a drop and waits until it has been handled; whether the handler
// released the drop's memory.
bool Drop(MainWindow& main, const Lines& names) {
    const HGLOBAL memory = MakeDrop(names);
    EXPECT_TRUE(PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0));
    main.Fence();
    return GlobalSize(memory) == 0;
}

// Waits for `count` lines and the end of the job that wrote them.
Lines LinesOnceIdle(MainWindow& main, std::size_t count) {
    WaitUntil([&] { return main.PaneLines().size() >= count; });
    main.WaitIdle();
    return main.PaneLines();
}

HWND OpenBrowser(MainWindow& main) {
    PostMessageW(main.Window(), WM_COMMAND, IDC_BROWSE, reinterpret_cast<LPARAM>(main.Control(IDC_BROWSE)));
    const HWND browser = main.WaitForDialog(main.Window());
    return main.Fence(), browser;
}

HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM from = nullptr) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}
std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW data{TVIF_TEXT, item, 0, 0, text, MAX_PATH, 0, 0, 0, 0};
    if (item != nullptr) SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

// Selects `path` in the browser's tree (Wine's browser ignores its edit
// field and takes only a short path), then opens the selected folder's
// children `names` one by one as a user clicking through the tree would,
// then presses `button`. A browser still filling its tree may miss the first
// request, so that is repeated until the tree shows the item selected.
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
    EXPECT_TRUE(Drop(main, {longName, c, a, b}));
    EXPECT_EQ(main.Text(IDC_PATH), longName);
    EXPECT_EQ(LinesOnceIdle(main, 4), (Lines{Md5Line(kMd5Abc, longName), Md5Line(kMd5Abc, c),
                                             Md5Line(kMd5Hello, a), Md5Line(kMd5Dunmo, b)}));

    EXPECT_TRUE(Drop(main, {}));
    EXPECT_FALSE(main.Busy());
    EXPECT_EQ(main.Text(IDC_PATH), longName);

    // The plain files of a list come before its folders, walked without
    // their subfolders while SubDirectory is unticked.
    const std::wstring folder = temp.Folder(L"folder");
    const std::wstring inner = temp.File(L"folder\\inner.txt", "abc");
    temp.File(L"folder\\sub\\deeper.txt", "hello");
    Drop(main, {folder, a});
    EXPECT_EQ(main.Text(IDC_PATH), folder);
    const Lines lines = LinesOnceIdle(main, 6);
    EXPECT_EQ(Lines(lines.begin() + 4, lines.end()), (Lines{Md5Line(kMd5Hello, a), Md5Line(kMd5Abc, inner)}));
    EXPECT_EQ(main.Range(), 2);  // one job over both files
}

TEST(PathInputDrop, DropWhileBusyChangesNothing) {
    TempFolder temp;
    const std::wstring big = temp.File(L"big.bin", "", 1LL << 30);
    const std::wstring small = temp.File(L"small.txt", "abc");
    MainWindow main;
    const int idleThreads = ThreadCount();
    Drop(main, {big, small});
    ASSERT_TRUE(main.Busy());
    EXPECT_FALSE(main.AcceptsDrops());  // the platform refuses drops now
    const HGLOBAL late = MakeDrop({temp.File(L"other.txt", "hello")});
    PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(late), 0);
    // While the worker lives, its UM_JOB_DONE is queued behind the late drop,
    // so the drop is handled while the job is still active.
    const bool workerAlive = ThreadCount() > idleThreads;
    main.Fence();
    ASSERT_TRUE(workerAlive) << "the job ended too soon to test a late drop";
    EXPECT_EQ(GlobalSize(late), 0u);  // released
    EXPECT_EQ(main.Text(IDC_PATH), big);
    EXPECT_EQ(main.Close(), IDCANCEL);  // the list the worker read is the first drop's
    EXPECT_EQ(main.Dialog().pathList, (PathList{WideString(big), WideString(small)}));
}

// A file, a long-named file reached through the tree as a user would (Wine's
// browser selects only short paths), and a folder walked with SubDirectory.
TEST(PathInputBrowse, CancelChangesNothingChosenFileOrFolderIsHashedWhole) {
    TempFolder temp;
    const std::wstring file = temp.File(L"chosen.txt", "abc"), longName = LongFile(temp);
    const std::wstring folder = temp.Folder(L"tree");
    const std::wstring top = temp.File(L"tree\\top.txt", "abc");
    const std::wstring deep = temp.File(L"tree\\sub\\deep.txt", "hello");
    MainWindow main;
    main.Type(IDC_PATH, L"typed before");

    const HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(GetWindow(browser, GW_OWNER), main.Window());
    EXPECT_NE(FindWindowExW(browser, nullptr, L"Static", L"Please select a directory or file to hash."), nullptr);
    ASSERT_TRUE(Browse(browser, file, {}, IDCANCEL));
    main.Fence();
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_EQ(main.Text(IDC_PATH), L"typed before");
    EXPECT_FALSE(main.Busy());
    EXPECT_EQ(main.Text(IDC_OUTPUT), L"");

    // Where the tree starts, the items then opened, the lines, the path box.
    const std::tuple<std::wstring, Lines, Lines, std::wstring> cases[] = {
        {file, {}, {Md5Line(kMd5Abc, file)}, file},
        {temp.Path(), {kLongFolder, kLongFolder, kLongName}, {Md5Line(kMd5Abc, longName)}, longName},
        {folder, {}, {Md5Line(kMd5Abc, top), Md5Line(kMd5Hello, deep)}, folder}};
    main.Click(IDC_SUBDIRECTORY);
    for (const auto& [start, items, expected, path] : cases) {
        const std::size_t before = main.PaneLines().size();
        ASSERT_TRUE(Browse(OpenBrowser(main), start, items, IDOK));
        const Lines lines = LinesOnceIdle(main, before + expected.size());
        EXPECT_EQ(Lines(lines.begin() + before, lines.end()), expected);
        EXPECT_EQ(main.Text(IDC_PATH), path);
    }
}
