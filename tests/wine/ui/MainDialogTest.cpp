// The main dialog driven through its controls: start-up state, the ways a job
// starts, busy and idle, the output pane and the progress bar.
#include <gtest/gtest.h>

#include <algorithm>

#include "UiTestSupport.h"
#include "job/Messages.h"

using uitest::MainWindow;
using uitest::TempFolder;
using Lines = std::vector<std::wstring>;

namespace {

const std::wstring kMd5Abc = L"[MD5] 900150983CD24FB0D6963F7D28E17F72 - ";

// The paths of result lines "[MD5] ABC... - path" from `first` on, sorted.
Lines SortedPaths(const Lines& lines, std::size_t first = 0) {
    Lines paths;
    for (std::size_t i = first; i < lines.size(); ++i) paths.push_back(lines[i].substr(lines[i].find(L" - ") + 3));
    std::sort(paths.begin(), paths.end());
    return paths;
}

void ExpectControls(const MainWindow& main, bool busy) {
    for (const int id : {IDC_PATH, IDC_BROWSE, IDC_ABOUT, IDC_MD5, IDC_SHA1, IDC_CRC32, IDC_SUBDIRECTORY, IDC_BASE64})
        EXPECT_EQ(main.Enabled(id), !busy) << "control " << id;
    EXPECT_TRUE(main.Enabled(IDC_CLEAR));
    EXPECT_EQ(main.AcceptsDrops(), !busy);
}

// Posts a line the way the worker does: the window owns the holder once posted.
void PostLine(HWND window, const std::wstring& text) {
    auto line = std::make_unique<WideString>(text);
    if (PostMessageW(window, UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(line.get()))) line.release();
}

}  // namespace

TEST(MainWindowStart, InitialStateAndEscape) {
    MainWindow main;
    ASSERT_NE(main.Window(), nullptr);
    EXPECT_TRUE(main.Checked(IDC_MD5));
    for (const int id : {IDC_SHA1, IDC_CRC32, IDC_SUBDIRECTORY}) EXPECT_FALSE(main.Checked(id));
    EXPECT_EQ(main.Text(IDC_PATH), L"");
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    EXPECT_EQ(main.PaneText(), L"");
    EXPECT_EQ(main.ProgressPosition(), 0);
    EXPECT_EQ(main.ProgressRange().iHigh, 100);
    ExpectControls(main, false);
    EXPECT_NE(SendMessageW(main.Window(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(main.Window(), WM_GETICON, ICON_SMALL, 0), 0);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(main.Control(IDC_OUTPUT), WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"Courier New");
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_GT(static_cast<DWORD>(SendMessageW(main.Control(IDC_OUTPUT), EM_GETLIMITTEXT, 0, 0)), 1u << 30);

    // No owner: centred in the work area.
    const RECT work = uitest::WorkArea();
    const RECT bounds = uitest::RectOf(main.Window());
    EXPECT_EQ(bounds.left, (work.left + work.right) / 2 - (bounds.right - bounds.left) / 2);
    EXPECT_EQ(bounds.top, (work.top + work.bottom) / 2 - (bounds.bottom - bounds.top) / 2);

    main.PressKey(VK_ESCAPE);
    EXPECT_EQ(main.WaitForEnd(10000), IDCANCEL);
}

TEST(MainWindowStart, MissingArgumentSkippedFileHashedAsList) {
    TempFolder folder;
    // Large enough that the job is still running when the window appears.
    const std::wstring file = folder.ZeroFile(L"big.bin", 256ll << 20);
    MainWindow main({folder / L"missing.txt", file});
    EXPECT_EQ(main.Text(IDC_PATH), file);
    ExpectControls(main, true);
    ASSERT_TRUE(main.WaitIdle());
    ExpectControls(main, false);
    // One file of 4096 chunks: hashed with per-chunk progress.
    EXPECT_EQ(main.PaneLines(), Lines{L"[MD5] 1F5039E50BD66B290C56684D8550C6C2 - " + file});
    EXPECT_EQ(main.ProgressRange().iHigh, 4096);
    EXPECT_EQ(main.ProgressPosition(), 4096);
    EXPECT_EQ(main.Close(), IDCANCEL);
    EXPECT_EQ(main.Dialog().pathList, PathList{WideString(file)});
}

TEST(MainWindowStart, TwoFilesHashedInArgumentOrderAsOneList) {
    TempFolder folder;
    const std::wstring second = folder.File(L"b.txt", "abc");
    const std::wstring first = folder.File(L"a.txt", "");
    MainWindow main({second, first});
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.Text(IDC_PATH), second);
    EXPECT_EQ(main.PaneLines(), (Lines{kMd5Abc + second, L"[MD5] D41D8CD98F00B204E9800998ECF8427E - " + first}));
    EXPECT_EQ(main.ProgressRange().iHigh, 2);  // per-file progress, full at the end
    EXPECT_EQ(main.ProgressPosition(), 2);
}

TEST(MainWindowEnter, FileThenFolderWithoutAndWithSubDirectoryAccumulate) {
    TempFolder folder;
    const std::wstring a = folder.File(L"a.txt", "abc");
    const std::wstring b = folder.File(L"b.txt", "abc");
    const std::wstring c = folder.File(L"sub\\c.txt", "abc");
    MainWindow main;

    main.EnterPath(a);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), Lines{kMd5Abc + a});
    EXPECT_EQ(main.ProgressPosition(), main.ProgressRange().iHigh);

    main.EnterPath(folder.Path());
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(SortedPaths(main.PaneLines(), 1), (Lines{a, b}));

    main.Click(IDC_SUBDIRECTORY);
    EXPECT_FALSE(main.Busy());  // the check box starts nothing
    main.FocusOn(IDC_PATH);
    main.PressKey(VK_RETURN);
    ASSERT_TRUE(main.WaitIdle());
    const Lines lines = main.PaneLines();
    ASSERT_EQ(lines.size(), 6u);  // each job's lines follow the previous ones
    EXPECT_EQ(SortedPaths(lines, 3), (Lines{a, b, c}));
    EXPECT_EQ(main.ProgressRange().iHigh, 3);
    EXPECT_EQ(main.ProgressPosition(), 3);
    EXPECT_EQ(main.WaitForEnd(0), -2);  // Enter never ends the dialog
}

TEST(MainWindowEnter, NothingStartsOutsideThePathBoxOrForNamesThatNameNothing) {
    TempFolder folder;
    const std::wstring file = folder.File(L"f.txt", "abc");
    MainWindow main;
    main.Type(IDC_PATH, file);
    for (const int id : {IDC_SUBDIRECTORY, IDC_MD5}) {
        main.FocusOn(id);
        ASSERT_EQ(main.Focus(), main.Control(id));
        main.PressKey(VK_RETURN);
        EXPECT_FALSE(main.Busy()) << "focus on control " << id;
    }
    EXPECT_FALSE(main.Checked(IDC_SUBDIRECTORY));
    for (const std::wstring& text : {L"\"" + file + L"\"", folder / L"missing.txt", std::wstring()}) {
        main.EnterPath(text);
        EXPECT_FALSE(main.Busy());
        EXPECT_EQ(main.Text(IDC_PATH), text);  // kept as typed
    }
    main.Fence();
    EXPECT_EQ(main.PaneText(), L"");
    EXPECT_EQ(main.WaitForEnd(0), -2);
}

TEST(MainWindowOutput, ClsDuringAJobEmptiesThePaneForItsLaterLines) {
    TempFolder folder;
    for (int i = 0; i < 40; ++i) folder.File(L"f" + std::to_wstring(i) + L".txt", "abc");
    const std::wstring earlier = folder.File(L"earlier\\e.txt", "abc");
    MainWindow main;
    main.EnterPath(earlier);
    ASSERT_TRUE(main.WaitIdle());

    // The worker's messages pile up while the window is held, so the job is
    // still running as far as the window knows when "Cls" is clicked.
    const int threadsBefore = uitest::ThreadCount();
    main.Hold();
    main.Type(IDC_PATH, folder.Path());
    main.FocusOn(IDC_PATH);
    SendMessageW(main.Window(), WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(main.Busy());
    ASSERT_TRUE(uitest::WaitUntil([&] { return uitest::ThreadCount() == threadsBefore; }));
    main.Click(IDC_CLEAR);
    EXPECT_EQ(main.PaneText(), L"");
    main.Release();
    ASSERT_TRUE(main.WaitIdle());
    const Lines lines = main.PaneLines();
    EXPECT_EQ(lines.size(), 40u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kMd5Abc + earlier), 0);

    main.Click(IDC_CLEAR);  // idle: the bar stays full
    EXPECT_EQ(main.PaneText(), L"");
    EXPECT_EQ(main.ProgressPosition(), 40);
}

TEST(MainWindowOutput, LinesShowWhileTheJobRunsAndCloseWaitsForTheWorker) {
    // Five small files, then a large one: their lines must not wait for it.
    TempFolder folder;
    std::vector<std::wstring> arguments;
    for (int i = 0; i < 5; ++i) arguments.push_back(folder.File(L"small" + std::to_wstring(i) + L".txt", "abc"));
    arguments.push_back(folder.ZeroFile(L"large.bin", 1ll << 30));
    const int threadsBefore = uitest::ThreadCount();
    MainWindow main(arguments);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.PaneLines().size() == 5; }));
    EXPECT_TRUE(main.Busy());
    EXPECT_EQ(main.ProgressPosition(), 5);  // one step per file of the list
    EXPECT_EQ(uitest::ThreadCount(), threadsBefore + 2);  // the UI thread and the worker
    EXPECT_EQ(main.Close(), IDCANCEL);
    // The worker had ended by the time the modal run returned.
    EXPECT_LE(uitest::ThreadCount(), threadsBefore + 1);
    EXPECT_FALSE(main.Dialog().job.IsActive());
}

TEST(MainWindowOutput, QueuedLinesArriveWholeAndInOrderAtTheEnd) {
    // Many lines at once, interleaved with steps as the worker posts them, a
    // null holder among them, while the user has selected text in the pane.
    constexpr int kLines = 5000;
    MainWindow main;
    PostLine(main.Window(), L"first\r\n");
    ASSERT_TRUE(uitest::WaitUntil([&] { return main.PaneText() == L"first\r\n"; }));
    SendMessageW(main.Control(IDC_OUTPUT), EM_SETSEL, 0, 3);
    main.Hold();
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, kLines);
    std::wstring expected = L"first\r\n";
    for (int i = 0; i < kLines; ++i) {
        const std::wstring line = L"[MD5] " + std::wstring(32, L"0123456789ABCDEF"[i % 16]) +
                                  L" - C:\\some\\folder\\file" + std::to_wstring(i) + L".txt\r\n";
        PostLine(main.Window(), line);
        PostMessageW(main.Window(), UM_PROGRESS_STEP, 1, 0);
        if (i == kLines / 2) PostMessageW(main.Window(), UM_APPEND_TEXT, 0, 0);
        expected += line;
    }
    main.Release();
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.PaneText().size() >= expected.size(); }));
    EXPECT_TRUE(main.PaneText() == expected);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.ProgressPosition() == kLines; }));
}

TEST(MainWindowProgress, FullAfterAJobWithOrWithoutARange) {
    TempFolder folder;
    const std::wstring empty = folder.Folder(L"empty");
    const std::wstring file = folder.File(L"f.bin", uitest::PatternBytes(3 * 65536 + 1));
    MainWindow main;
    // An empty folder sends no range: the bar fills the default range.
    main.EnterPath(empty);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.ProgressRange().iHigh, 100);
    EXPECT_EQ(main.ProgressPosition(), 100);

    main.EnterPath(file);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.ProgressRange().iHigh, 4);
    EXPECT_EQ(main.ProgressPosition(), 4);

    // A later range-less job keeps the previous range and fills it.
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, 7);
    main.EnterPath(empty);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.ProgressRange().iHigh, 7);
    EXPECT_EQ(main.ProgressPosition(), 7);
}
