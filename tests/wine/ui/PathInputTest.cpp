// Naming what to hash by dropping files on the main window and by the shell's
// folder browser, checking a sums file, and finding a pasted digest, against
// the real dialog and job.
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

// A sums file alone is checked, dropped or named on the command line, with one
// hasher or several, its skipped lines shown before the tally; a bare digest
// checks its sibling, tampered or not; beside another item a sums file is
// hashed. A raw name is never opened, even where it names a file.
TEST(PathInputSums, OneSumsFileIsCheckedInItsOrderWithEachEntrysDigestThenItsTally) {
    TempFolder temp;
    const std::wstring a = temp.File(L"a.txt", "abc"), b = temp.File(L"b.txt", "hello");
    const std::wstring empty = temp.File(L"sub\\empty", "");
    const std::wstring raw = L"\\\\?\\" + a;
    const std::wstring sums = temp.File(L"list.md5",
                                        "# published\n"
                                        "900150983cd24fb0d6963f7d28e17f72  a.txt\n"
                                        "SHA256 (a.txt) = ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\r\n"
                                        "0123456789abcdef0123456789abcdef *b.txt\n"
                                        "0123456789abcdef0123456789abcdef  missing.txt\n"
                                        "900150983cd24fb0d6963f7d28e17f72  " + std::string(raw.begin(), raw.end()) + "\n"
                                        "not a digest line\n"
                                        "d41d8cd98f00b204e9800998ecf8427e  sub/empty");
    const Lines checked{
        L"[MD5 OK] " + std::wstring(kMd5Abc) + L" - " + a,
        L"[SHA-256 OK] BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD - " + a,
        L"[MD5 FAILED] " + std::wstring(kMd5Hello) + L" - " + b,
        L"[MD5 MISSING] 00000000000000000000000000000000 - " + temp / L"missing.txt",
        L"[MD5 MISSING] 00000000000000000000000000000000 - " + raw,
        L"[MD5 OK] D41D8CD98F00B204E9800998ECF8427E - " + empty,
        L"[SKIPPED] not a sums line - " + sums + L":7",
        L"[CHECK] 3 OK, 1 FAILED, 2 MISSING, 1 SKIPPED - " + sums};
    const std::string bare = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\r\n";
    const std::wstring iso = temp.File(L"x.iso", "abc"), isoSums = temp.File(L"x.iso.sha256", bare);
    const std::wstring bad = temp.File(L"y.iso", "hello"), badSums = temp.File(L"y.iso.SHA256", bare);
    const std::pair<std::wstring, Lines> drops[] = {
        {sums, checked},
        {isoSums, {L"[SHA-256 OK] BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD - " + iso,
                   L"[CHECK] 1 OK, 0 FAILED, 0 MISSING, 0 SKIPPED - " + isoSums}},
        {badSums, {L"[SHA-256 FAILED] 2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824 - " + bad,
                   L"[CHECK] 0 OK, 1 FAILED, 0 MISSING, 0 SKIPPED - " + badSums}}};
    for (const std::uint32_t hashers : {1u, 2u}) {
        JobSettings settings;
        settings.hasherCount = hashers;
        MainWindow main({temp / L"gone.md5", sums}, settings);
        ASSERT_TRUE(main.WaitIdle());
        EXPECT_EQ(main.PaneLines(), checked) << hashers << " hashers";
        EXPECT_EQ(main.Position(), main.Range());
        for (const auto& [dropped, lines] : drops) {
            main.Click(IDC_CLEAR);
            main.Drop({dropped});
            ASSERT_TRUE(main.WaitIdle());
            EXPECT_EQ(main.PaneLines(), lines) << hashers << " hashers, dropped";
        }
    }
    MainWindow main;
    main.Drop({sums, a});
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines().size(), 2u);
    EXPECT_EQ(main.PaneLines().back(), Md5Line(kMd5Abc, a));
}

// Enter with a digest selects its next line, wrapping round, and moves the
// focus there; no match beeps and changes nothing; a file so named is hashed.
TEST(PathInputSums, EnteredDigestSelectsItsNextLineOrChangesNothingUnlessAFileHasThatName) {
    TempFolder temp;
    const std::wstring a = temp.File(L"a.txt", "abc"), b = temp.File(L"b.txt", "hello");
    temp.File(L"deadbeef", "abc");
    MainWindow main({a, b, a});
    ASSERT_TRUE(main.WaitIdle());
    const std::wstring text = main.Text(IDC_OUTPUT);
    const auto selection = [&] {
        DWORD start = 0, end = 0;
        SendMessageW(main.Control(IDC_OUTPUT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return std::pair<DWORD, DWORD>(start, end);
    };
    const DWORD line = static_cast<DWORD>(Md5Line(kMd5Abc, a).size()) + 2;
    const std::pair<DWORD, DWORD> finds[] = {{0, line - 2}, {2 * line, 3 * line - 2}, {0, line - 2}};
    for (const auto& expected : finds) {
        main.EnterPath(L"  900150983cd24fb0d6963f7d28e17f72 ");
        EXPECT_EQ(selection(), expected);
        EXPECT_EQ(main.Focus(), main.Control(IDC_OUTPUT));
        EXPECT_FALSE(main.Busy());
    }
    main.EnterPath(L"0123456789abcdef0123456789abcdef");
    EXPECT_EQ(selection(), finds[2]);
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    EXPECT_EQ(main.Text(IDC_OUTPUT), text);

    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(temp.Path().c_str());
    main.EnterPath(L"deadbeef");
    const bool idle = main.WaitIdle();  // the worker resolves the name
    SetCurrentDirectoryW(current);
    ASSERT_TRUE(idle);
    EXPECT_EQ(main.PaneLines().back(), Md5Line(kMd5Abc, temp / L"deadbeef"));
}
