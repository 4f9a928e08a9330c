// Naming what to hash by dropping files on the main window and by the shell's
// folder browser, against the real dialog and job.
#include "UiTestSupport.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "DialogDriver.h"

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

// Posts the drop to the main window and waits until it has been handled.
// Returns the drop's memory, which the handler must have released.
HGLOBAL Drop(uitest::MainWindow& main, const std::vector<std::wstring>& names) {
    HGLOBAL memory = MakeDrop(names);
    EXPECT_TRUE(PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0));
    main.Fence();
    return memory;
}

bool Released(HGLOBAL memory) { return GlobalSize(memory) == 0; }

bool AcceptsDrops(const uitest::MainWindow& main) {
    return (GetWindowLongW(main.Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
}

std::vector<std::wstring> Names(const PathList& list) {
    std::vector<std::wstring> names;
    for (const WideString& entry : list) names.emplace_back(entry.view());
    return names;
}

// Waits for `count` lines and the end of the job that wrote them.
Lines LinesOnceIdle(uitest::MainWindow& main, std::size_t count) {
    uitest::WaitUntil([&] { return main.PaneLines().size() >= count; });
    main.WaitIdle();
    return main.PaneLines();
}

// A file whose path has more than 260 characters, in two nested folders of
// 100-character names (their paths stay shorter, so Wine's browser can still
// list them). The temporary folder's own clean-up cannot remove such paths,
// so the tree is taken down here, deepest first.
class LongTree {
public:
    static constexpr int kLevels = 2;
    static std::wstring FolderName() { return std::wstring(100, L'd'); }
    static std::wstring FileName() { return std::wstring(60, L'f') + L".txt"; }

    explicit LongTree(uitest::TempFolder& temp) {
        std::wstring path = temp.Path();
        for (int level = 0; level < kLevels; ++level) {
            path += L"\\" + FolderName();
            CreateDirectoryW(path.c_str(), nullptr);
            folders.push_back(path);
        }
        file = temp.File(path.substr(temp.Path().size() + 1) + L"\\" + FileName(), "abc");
    }
    ~LongTree() {
        DeleteFileW(file.c_str());
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
            RemoveDirectoryW(folder->c_str());
    }
    const std::wstring& File() const { return file; }

private:
    std::vector<std::wstring> folders;
    std::wstring file;
};

// Opens the folder browser from "..." and returns its window.
HWND OpenBrowser(uitest::MainWindow& main) {
    PostMessageW(main.Window(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(main.Control(IDC_BROWSE)));
    return WaitForThreadDialog(main.ThreadId(), main.Window());
}

HWND TreeOf(HWND browser) {
    return FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

std::wstring SelectedItemText(HWND browser) {
    const HWND tree = TreeOf(browser);
    const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    return item != nullptr ? ItemText(tree, item) : std::wstring();
}

// Selects `path` in the browser's tree (Wine's browser ignores its edit
// field). A browser that is still filling its tree may miss the first
// request, so it is repeated until the tree shows the item selected.
::testing::AssertionResult SelectInBrowser(HWND browser, const std::wstring& path) {
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    const bool selected = WaitUntil([&] {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
        return SelectedItemText(browser) == name;
    });
    if (selected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the browser shows "
                                         << ::testing::PrintToString(SelectedItemText(browser));
}

// Selects `path` in the browser and presses one of its buttons.
::testing::AssertionResult ChooseInBrowser(HWND browser, const std::wstring& path, int button) {
    ::testing::AssertionResult selected = SelectInBrowser(browser, path);
    if (selected) SendMessageW(GetDlgItem(browser, button), BM_CLICK, 0, 0);
    return selected;
}

// Opens the selected folder in the browser's tree and selects its child
// `name`, as a user clicking through the tree would. Fails listing what the
// folder holds when there is no such child.
::testing::AssertionResult SelectChild(HWND tree, const std::wstring& name) {
    const auto parent = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
    std::wstring seen;
    for (auto child = reinterpret_cast<HTREEITEM>(
             SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
         child != nullptr; child = reinterpret_cast<HTREEITEM>(SendMessageW(
                               tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
        const std::wstring text = ItemText(tree, child);
        if (text == name) {
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
            return ::testing::AssertionSuccess();
        }
        seen += L" [" + text + L"]";
    }
    return ::testing::AssertionFailure()
           << "no " << ::testing::PrintToString(name) << " under "
           << ::testing::PrintToString(ItemText(tree, parent)) << ", only"
           << ::testing::PrintToString(seen);
}

// Cancels a browser that a failed check left open, so the main window can close.
struct BrowserGuard {
    HWND browser;
    ~BrowserGuard() {
        if (IsWindow(browser)) PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    }
};

}  // namespace

TEST(PathInputDrop, ThreeFilesHashedInDropOrder) {
    uitest::TempFolder temp;
    const std::wstring c = temp.File(L"c.txt", "abc");
    const std::wstring a = temp.File(L"a.txt", "hello");
    const std::wstring b = temp.File(L"b.txt", "dunmo");
    uitest::MainWindow main;

    const HGLOBAL drop = Drop(main, {c, a, b});
    EXPECT_TRUE(Released(drop));
    EXPECT_EQ(main.Text(IDC_PATH), c);
    EXPECT_EQ(LinesOnceIdle(main, 3), (Lines{Line(kMd5Abc, c), Line(kMd5Hello, a), Line(kMd5Dunmo, b)}));
    EXPECT_TRUE(AcceptsDrops(main));

    // The next drop replaces the list and adds to the pane.
    Drop(main, {b});
    EXPECT_EQ(LinesOnceIdle(main, 4).back(), Line(kMd5Dunmo, b));
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{b}));
}

TEST(PathInputDrop, FolderAndFileHashedAsOneJob) {
    uitest::TempFolder temp;
    const std::wstring folder = temp.Folder(L"folder");
    const std::wstring inner = temp.File(L"folder\\inner.txt", "abc");
    temp.File(L"folder\\sub\\deeper.txt", "hello");  // not walked: SubDirectory unticked
    const std::wstring file = temp.File(L"file.txt", "dunmo");
    uitest::MainWindow main;

    Drop(main, {folder, file});
    EXPECT_EQ(main.Text(IDC_PATH), folder);
    // The job hashes the plain files of the list before walking its folders.
    EXPECT_EQ(LinesOnceIdle(main, 2), (Lines{Line(kMd5Dunmo, file), Line(kMd5Abc, inner)}));
    EXPECT_EQ(main.ProgressRange().iHigh, 2);  // one job over both files
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{folder, file}));
}

TEST(PathInputDrop, DropWhileBusyChangesNothing) {
    uitest::TempFolder temp;
    const std::wstring big = temp.ZeroFile(L"big.bin", 1LL << 30);
    const std::wstring small = temp.File(L"small.txt", "abc");
    const std::wstring other = temp.File(L"other.txt", "hello");
    uitest::MainWindow main;
    const int idleThreads = uitest::ThreadCount();

    Drop(main, {big, small});
    ASSERT_TRUE(main.Busy());
    EXPECT_FALSE(AcceptsDrops(main));  // the platform refuses drops now
    const HGLOBAL late = MakeDrop({other});
    PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(late), 0);
    // While the worker lives, its UM_JOB_DONE is queued behind the late drop,
    // so the drop is handled while the job is still active.
    const bool workerAlive = uitest::ThreadCount() > idleThreads;
    main.Fence();
    ASSERT_TRUE(workerAlive) << "the job ended too soon to test a late drop";
    EXPECT_TRUE(Released(late));
    EXPECT_EQ(main.Text(IDC_PATH), big);

    EXPECT_EQ(LinesOnceIdle(main, 2), (Lines{Line(kMd5GiBOfZeros, big), Line(kMd5Abc, small)}));
    EXPECT_TRUE(AcceptsDrops(main));
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{big, small}));
}

TEST(PathInputDrop, LongNameArrivesWhole) {
    uitest::TempFolder temp;
    const LongTree tree(temp);
    const std::wstring& name = tree.File();
    ASSERT_GT(name.size(), 260u);
    uitest::MainWindow main;

    Drop(main, {name});
    EXPECT_EQ(main.Text(IDC_PATH), name);
    EXPECT_EQ(LinesOnceIdle(main, 1), (Lines{Line(kMd5Abc, name)}));
    EXPECT_EQ(main.Close(), 2);
    EXPECT_EQ(Names(main.Dialog().pathList), (Lines{name}));
}

TEST(PathInputDrop, EmptyDropStartsNothing) {
    uitest::TempFolder temp;
    const std::wstring file = temp.File(L"file.txt", "abc");
    uitest::MainWindow main;
    Drop(main, {file});
    LinesOnceIdle(main, 1);

    const HGLOBAL drop = Drop(main, {});
    EXPECT_TRUE(Released(drop));
    EXPECT_FALSE(main.Busy());
    EXPECT_EQ(main.Text(IDC_PATH), file);
    EXPECT_EQ(main.PaneLines().size(), 1u);
    EXPECT_EQ(main.Close(), 2);
    EXPECT_TRUE(main.Dialog().pathList.empty());
}

TEST(PathInputBrowse, ChoosingAFileHashesIt) {
    uitest::TempFolder temp;
    const std::wstring file = temp.File(L"chosen.txt", "abc");
    uitest::MainWindow main;

    const HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    const BrowserGuard guard{browser};
    EXPECT_EQ(GetWindow(browser, GW_OWNER), main.Window());
    EXPECT_NE(FindChild(browser, L"Static", L"Please select a directory or file to hash."), nullptr);
    ASSERT_TRUE(ChooseInBrowser(browser, file, IDOK));

    EXPECT_EQ(LinesOnceIdle(main, 1), (Lines{Line(kMd5Abc, file)}));
    EXPECT_EQ(main.Text(IDC_PATH), file);
    EXPECT_EQ(main.Close(), 2);
}

TEST(PathInputBrowse, ChoosingAFolderWalksItWithSubDirectory) {
    uitest::TempFolder temp;
    const std::wstring folder = temp.Folder(L"tree");
    const std::wstring top = temp.File(L"tree\\top.txt", "abc");
    const std::wstring deep = temp.File(L"tree\\sub\\deep.txt", "hello");
    uitest::MainWindow main;
    main.Click(IDC_SUBDIRECTORY);
    ASSERT_TRUE(main.Checked(IDC_SUBDIRECTORY));

    const HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    const BrowserGuard guard{browser};
    ASSERT_TRUE(ChooseInBrowser(browser, folder, IDOK));

    EXPECT_EQ(LinesOnceIdle(main, 2), (Lines{Line(kMd5Abc, top), Line(kMd5Hello, deep)}));
    EXPECT_EQ(main.Text(IDC_PATH), folder);
    EXPECT_EQ(main.Close(), 2);
}

TEST(PathInputBrowse, LongPathArrivesWhole) {
    uitest::TempFolder temp;
    const LongTree tree(temp);
    const std::wstring& file = tree.File();
    ASSERT_GT(file.size(), 260u);
    uitest::MainWindow main;

    const HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    const BrowserGuard guard{browser};
    // Wine's browser takes only a short path to select, so it is pointed at
    // the temporary folder and the rest is opened in its tree, as a user would.
    ASSERT_TRUE(SelectInBrowser(browser, temp.Path()));
    for (int level = 0; level < LongTree::kLevels; ++level)
        ASSERT_TRUE(SelectChild(TreeOf(browser), LongTree::FolderName()));
    ASSERT_TRUE(SelectChild(TreeOf(browser), LongTree::FileName()));
    SendMessageW(GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);

    EXPECT_EQ(LinesOnceIdle(main, 1), (Lines{Line(kMd5Abc, file)}));
    EXPECT_EQ(main.Text(IDC_PATH), file);
    EXPECT_EQ(main.Close(), 2);
}

TEST(PathInputBrowse, CancelChangesNothing) {
    uitest::TempFolder temp;
    const std::wstring file = temp.File(L"file.txt", "abc");
    uitest::MainWindow main;
    main.Type(IDC_PATH, L"typed before");

    const HWND browser = OpenBrowser(main);
    ASSERT_NE(browser, nullptr);
    const BrowserGuard guard{browser};
    ASSERT_TRUE(ChooseInBrowser(browser, file, IDCANCEL));
    main.Fence();

    EXPECT_FALSE(IsWindow(browser));
    EXPECT_EQ(main.Text(IDC_PATH), L"typed before");
    EXPECT_FALSE(main.Busy());
    EXPECT_TRUE(main.PaneText().empty());
    EXPECT_EQ(main.Close(), 2);
}
