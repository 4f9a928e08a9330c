// Naming what to hash by dropping files on the main window and by the shell's
// folder browser, against the real dialog and job.
#include "UiTestSupport.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

using uitest::MainWindow;
using uitest::WaitUntil;

namespace {

using Lines = std::vector<std::wstring>;

constexpr wchar_t kMd5Abc[] = L"900150983CD24FB0D6963F7D28E17F72";
constexpr wchar_t kMd5Hello[] = L"5D41402ABC4B2A76B9719D911017C592";
constexpr wchar_t kMd5Dunmo[] = L"786107F4D4790BD2E83325D84DA66085";
constexpr wchar_t kMd5GiBOfZeros[] = L"CD573CFAACE07E7949BC0C46028904FF";

std::wstring Line(const wchar_t* md5, const std::wstring& path) {
    return L"[MD5] " + std::wstring(md5) + L" - " + path;
}

// A drop as the shell builds it: a DROPFILES header in movable global memory,
// then each wide name with its terminator, then one more terminator.
HGLOBAL MakeDrop(const std::vector<std::wstring>& names) {
    std::size_t units = names.empty() ? 2 : 1;  // an empty list is two terminators
    for (const std::wstring& name : names) units += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* next = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
    for (const std::wstring& name : names) {
        name.copy(next, name.size());
        next += name.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}

// Posts a drop to the main window and waits until it has been handled;
// whether the handler released the drop's memory.
bool Drop(MainWindow& main, const std::vector<std::wstring>& names) {
    HGLOBAL memory = MakeDrop(names);
    EXPECT_TRUE(PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0));
    main.Fence();
    return GlobalSize(memory) == 0;
}

std::vector<std::wstring> Names(const PathList& list) {
    std::vector<std::wstring> names;
    for (const WideString& entry : list) names.emplace_back(entry.view());
    return names;
}

// Waits for `count` lines and the end of the job that wrote them.
Lines LinesOnceIdle(MainWindow& main, std::size_t count) {
    WaitUntil([&] { return main.PaneLines().size() >= count; });
    main.WaitIdle();
    return main.PaneLines();
}

// A file whose path has more than 260 characters, in two nested folders of
// 100-character names (their own paths stay short enough for Wine's browser
// to list them and for the temporary folder's clean-up, which cannot remove
// the file itself).
const std::wstring kLongFolder(100, L'd');
const std::wstring kLongFile = std::wstring(60, L'f') + L".txt";
struct LongFile {
    explicit LongFile(uitest::TempFolder& temp) : path(temp.File(kLongFolder + L"\\" + kLongFolder + L"\\" + kLongFile, "abc")) {}
    ~LongFile() { DeleteFileW(path.c_str()); }
    const std::wstring path;
};

// Opens the folder browser from "..." and returns its window.
HWND OpenBrowser(MainWindow& main) {
    PostMessageW(main.Window(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(main.Control(IDC_BROWSE)));
    const HWND browser = main.WaitForDialog(main.Window());
    if (browser != nullptr) main.Fence();
    return browser;
}

HWND TreeOf(HWND browser) { return FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr); }

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
// field). A browser still filling its tree may miss the first request, so it
// is repeated until the tree shows the item selected.
bool SelectInBrowser(HWND browser, const std::wstring& path) {
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    return WaitUntil([&] {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
        return ItemText(TreeOf(browser), TreeItem(TreeOf(browser), TVGN_CARET)) == name;
    });
}

// Opens the selected folder in the tree and selects its child `name`, as a
// user clicking through the tree would.
bool SelectChild(HWND tree, const std::wstring& name) {
    const HTREEITEM parent = TreeItem(tree, TVGN_CARET);
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
    for (HTREEITEM child = TreeItem(tree, TVGN_CHILD, parent); child; child = TreeItem(tree, TVGN_NEXT, child)) {
        if (ItemText(tree, child) == name)
            return SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child)) != 0;
    }
    return false;
}

void Press(HWND browser, int button) { SendMessageW(GetDlgItem(browser, button), BM_CLICK, 0, 0); }

}  // namespace

TEST(PathInputDrop, FilesInDropOrderEmptyDropNothingFolderAndFileOneJob) {
    uitest::TempFolder temp;
    const std::wstring c = temp.File(L"c.txt", "abc");
    const std::wstring a = temp.File(L"a.txt", "hello");
    const std::wstring b = temp.File(L"b.txt", "dunmo");
    MainWindow main;
    EXPECT_TRUE(Drop(main, {c, a, b}));
    EXPECT_EQ(main.Text(IDC_PATH), c);
    EXPECT_EQ(LinesOnceIdle(main, 3), (Lines{Line(kMd5Abc, c), Line(kMd5Hello, a), Line(kMd5Dunmo, b)}));
    EXPECT_TRUE(main.AcceptsDrops());

    EXPECT_TRUE(Drop(main, {}));
    EXPECT_FALSE(main.Busy());
    EXPECT_EQ(main.Text(IDC_PATH), c);
    EXPECT_EQ(main.PaneLines().size(), 3u);

    // The job hashes the plain files of a list before walking its folders,
    // without their subfolders while SubDirectory is unticked.
    const std::wstring folder = temp.Folder(L"folder");
    const std::wstring inner = temp.File(L"folder\\inner.txt", "abc");
    temp.File(L"folder\\sub\\deeper.txt", "hello");
    Drop(main, {folder, a});
    EXPECT_EQ(main.Text(IDC_PATH), folder);
    const Lines lines = LinesOnceIdle(main, 5);
    EXPECT_EQ(Lines(lines.begin() + 3, lines.end()), (Lines{Line(kMd5Hello, a), Line(kMd5Abc, inner)}));
    EXPECT_EQ(main.ProgressRange().iHigh, 2);  // one job over both files
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{folder, a}));
}

TEST(PathInputDrop, DropWhileBusyChangesNothing) {
    uitest::TempFolder temp;
    const std::wstring big = temp.ZeroFile(L"big.bin", 1LL << 30);
    const std::wstring small = temp.File(L"small.txt", "abc");
    MainWindow main;
    const int idleThreads = uitest::ThreadCount();
    Drop(main, {big, small});
    ASSERT_TRUE(main.Busy());
    EXPECT_FALSE(main.AcceptsDrops());  // the platform refuses drops now
    const HGLOBAL late = MakeDrop({temp.File(L"other.txt", "hello")});
    PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(late), 0);
    // While the worker lives, its UM_JOB_DONE is queued behind the late drop,
    // so the drop is handled while the job is still active.
    const bool workerAlive = uitest::ThreadCount() > idleThreads;
    main.Fence();
    ASSERT_TRUE(workerAlive) << "the job ended too soon to test a late drop";
    EXPECT_EQ(GlobalSize(late), 0u);  // released
    EXPECT_EQ(main.Text(IDC_PATH), big);
    EXPECT_EQ(LinesOnceIdle(main, 2), (Lines{Line(kMd5GiBOfZeros, big), Line(kMd5Abc, small)}));
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{big, small}));
}

TEST(PathInputLongName, DroppedAndBrowsedArrivesWhole) {
    uitest::TempFolder temp;
    const LongFile file(temp);
    ASSERT_GT(file.path.size(), 260u);
    MainWindow main;
    Drop(main, {file.path});
    EXPECT_EQ(main.Text(IDC_PATH), file.path);
    EXPECT_EQ(LinesOnceIdle(main, 1), (Lines{Line(kMd5Abc, file.path)}));
    main.Type(IDC_PATH, L"");

    const HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    // Wine's browser takes only a short path to select, so it is pointed at
    // the temporary folder and the rest is opened in its tree, as a user would.
    ASSERT_TRUE(SelectInBrowser(browser, temp.Path()));
    for (const std::wstring& name : {kLongFolder, kLongFolder, kLongFile})
        ASSERT_TRUE(SelectChild(TreeOf(browser), name)) << "no such child";
    Press(browser, IDOK);
    EXPECT_EQ(LinesOnceIdle(main, 2).back(), Line(kMd5Abc, file.path));
    EXPECT_EQ(main.Text(IDC_PATH), file.path);
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{file.path}));
}

TEST(PathInputBrowse, CancelChangesNothingFileIsHashedFolderWalkedWithSubDirectory) {
    uitest::TempFolder temp;
    const std::wstring file = temp.File(L"chosen.txt", "abc");
    const std::wstring folder = temp.Folder(L"tree");
    const std::wstring top = temp.File(L"tree\\top.txt", "abc");
    const std::wstring deep = temp.File(L"tree\\sub\\deep.txt", "hello");
    MainWindow main;
    main.Type(IDC_PATH, L"typed before");

    HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(GetWindow(browser, GW_OWNER), main.Window());
    EXPECT_NE(uitest::FindChild(browser, L"Static", L"Please select a directory or file to hash."), nullptr);
    ASSERT_TRUE(SelectInBrowser(browser, file));
    Press(browser, IDCANCEL);
    main.Fence();
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_EQ(main.Text(IDC_PATH), L"typed before");
    EXPECT_FALSE(main.Busy());
    EXPECT_TRUE(main.PaneText().empty());

    browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(SelectInBrowser(browser, file));
    Press(browser, IDOK);
    EXPECT_EQ(LinesOnceIdle(main, 1), (Lines{Line(kMd5Abc, file)}));
    EXPECT_EQ(main.Text(IDC_PATH), file);

    main.Click(IDC_SUBDIRECTORY);
    browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(SelectInBrowser(browser, folder));
    Press(browser, IDOK);
    const Lines lines = LinesOnceIdle(main, 3);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), (Lines{Line(kMd5Abc, top), Line(kMd5Hello, deep)}));
    EXPECT_EQ(main.Text(IDC_PATH), folder);
}
