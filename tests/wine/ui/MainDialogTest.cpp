// The main dialog driven through its controls: start-up state, the ways a job
// starts, busy and idle, the output pane and the progress bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "UiTestSupport.h"
#include "job/Messages.h"

using uitest::MainWindow;
using uitest::TempFolder;

namespace {

// Path part of a result line: "[MD5] ABC... - path" gives "path".
std::wstring PathOf(const std::wstring& line) {
    const std::size_t separator = line.find(L" - ");
    return separator == std::wstring::npos ? L"" : line.substr(separator + 3);
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

const int kBusySet[] = {IDC_PATH, IDC_BROWSE, IDC_ABOUT,        IDC_MD5,
                        IDC_SHA1, IDC_CRC32,  IDC_SUBDIRECTORY, IDC_BASE64};

void ExpectIdleControls(const MainWindow& main) {
    for (const int id : kBusySet) EXPECT_TRUE(main.Enabled(id)) << "control " << id;
    EXPECT_TRUE(main.Enabled(IDC_CLEAR));
    EXPECT_TRUE(GetWindowLongW(main.Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

// Enter in the path box holding `path`, as the user types it and presses Enter.
void EnterPath(MainWindow& main, const std::wstring& path) {
    main.Type(IDC_PATH, path);
    main.FocusOn(IDC_PATH);
    main.PressKey(VK_RETURN);
}

// Posts a line the way the worker does: the window owns the holder once posted.
void PostLine(HWND window, const std::wstring& text) {
    auto line = std::make_unique<WideString>(text);
    if (PostMessageW(window, UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(line.get()))) line.release();
}

}  // namespace

TEST(MainWindowStart, InitialState) {
    const RECT work = [] {
        RECT area{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        return area;
    }();
    MainWindow main;
    ASSERT_NE(main.Window(), nullptr);

    EXPECT_TRUE(main.Checked(IDC_MD5));
    EXPECT_FALSE(main.Checked(IDC_SHA1));
    EXPECT_FALSE(main.Checked(IDC_CRC32));
    EXPECT_FALSE(main.Checked(IDC_SUBDIRECTORY));
    EXPECT_EQ(main.Text(IDC_PATH), L"");
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    EXPECT_EQ(main.PaneText(), L"");
    EXPECT_EQ(main.ProgressPosition(), 0);
    EXPECT_EQ(main.ProgressRange().iHigh, 100);
    ExpectIdleControls(main);

    // Both window icons, the pane's font and its lifted text limit.
    EXPECT_NE(SendMessageW(main.Window(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(main.Window(), WM_GETICON, ICON_SMALL, 0), 0);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(main.Control(IDC_OUTPUT), WM_GETFONT, 0, 0));
    LOGFONTW description{};
    ASSERT_EQ(GetObjectW(font, sizeof(description), &description), int{sizeof(description)});
    EXPECT_STREQ(description.lfFaceName, L"Courier New");
    EXPECT_EQ(description.lfHeight, -12);
    EXPECT_GT(static_cast<DWORD>(SendMessageW(main.Control(IDC_OUTPUT), EM_GETLIMITTEXT, 0, 0)), 1u << 30);

    // No owner: centred in the work area.
    RECT bounds{};
    GetWindowRect(main.Window(), &bounds);
    EXPECT_EQ(GetWindow(main.Window(), GW_OWNER), nullptr);
    EXPECT_EQ(bounds.left, (work.left + work.right) / 2 - (bounds.right - bounds.left) / 2);
    EXPECT_EQ(bounds.top, (work.top + work.bottom) / 2 - (bounds.bottom - bounds.top) / 2);

    EXPECT_EQ(main.Close(), IDCANCEL);
}

TEST(MainWindowStart, MissingArgumentSkippedFileHashedAsList) {
    TempFolder folder;
    // Large enough that the job is still running when the window appears.
    const std::wstring file = folder.ZeroFile(L"big.bin", 256ll << 20);
    MainWindow main({folder / L"missing.txt", file});
    EXPECT_EQ(main.Text(IDC_PATH), file);
    EXPECT_TRUE(main.Busy());
    for (const int id : kBusySet) EXPECT_FALSE(main.Enabled(id)) << "control " << id;
    EXPECT_TRUE(main.Enabled(IDC_CLEAR));
    EXPECT_FALSE(GetWindowLongW(main.Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    ASSERT_TRUE(main.WaitIdle());
    ExpectIdleControls(main);
    // One file of 4096 chunks: hashed with per-chunk progress.
    const std::vector<std::wstring> lines = main.PaneLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"[MD5] 1F5039E50BD66B290C56684D8550C6C2 - " + file);
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
    EXPECT_EQ(main.PaneLines(),
              (std::vector<std::wstring>{L"[MD5] 900150983CD24FB0D6963F7D28E17F72 - " + second,
                                         L"[MD5] D41D8CD98F00B204E9800998ECF8427E - " + first}));
    // A list of two files: per-file progress, full at the end.
    EXPECT_EQ(main.ProgressRange().iHigh, 2);
    EXPECT_EQ(main.ProgressPosition(), 2);
}

TEST(MainWindowStart, NoExistingArgumentStartsNothing) {
    TempFolder folder;
    MainWindow main({folder / L"missing", L"\"" + folder.Path() + L"\""});
    EXPECT_FALSE(main.Busy());
    EXPECT_EQ(main.Text(IDC_PATH), L"");
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    main.Fence();
    EXPECT_EQ(main.PaneText(), L"");
}

TEST(MainWindowEnter, FileInPathBoxIsHashedAndDialogStaysOpen) {
    TempFolder folder;
    const std::wstring file = folder.File(L"two-chunks.bin", uitest::PatternBytes(65537));
    MainWindow main;
    EnterPath(main, file);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(),
              std::vector<std::wstring>{L"[MD5] 4D685C046D4004D77D60FD3C71792E8D - " + file});
    EXPECT_EQ(main.ProgressRange().iHigh, 2);
    EXPECT_EQ(main.ProgressPosition(), 2);
    EXPECT_EQ(main.WaitForEnd(0), -2);  // still open
}

TEST(MainWindowEnter, FolderWithAndWithoutSubDirectoryAccumulates) {
    TempFolder folder;
    const std::wstring a = folder.File(L"a.txt", "abc");
    const std::wstring b = folder.File(L"b.txt", "abc");
    const std::wstring c = folder.File(L"sub\\c.txt", "abc");
    MainWindow main;

    EnterPath(main, folder.Path());
    ASSERT_TRUE(main.WaitIdle());
    std::vector<std::wstring> lines = main.PaneLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Sorted({PathOf(lines[0]), PathOf(lines[1])}), (std::vector<std::wstring>{a, b}));

    main.Click(IDC_SUBDIRECTORY);
    EXPECT_FALSE(main.Busy());  // the check box starts nothing
    main.FocusOn(IDC_PATH);
    main.PressKey(VK_RETURN);
    ASSERT_TRUE(main.WaitIdle());
    lines = main.PaneLines();
    ASSERT_EQ(lines.size(), 5u);  // the second job's lines follow the first's
    std::vector<std::wstring> second;
    for (std::size_t i = 2; i < 5; ++i) second.push_back(PathOf(lines[i]));
    EXPECT_EQ(Sorted(second), (std::vector<std::wstring>{a, b, c}));
    EXPECT_EQ(main.ProgressRange().iHigh, 3);
    EXPECT_EQ(main.ProgressPosition(), 3);
}

TEST(MainWindowEnter, EnterOutsideThePathBoxDoesNothing) {
    TempFolder folder;
    const std::wstring file = folder.File(L"f.txt", "abc");
    MainWindow main;
    main.Type(IDC_PATH, file);
    for (const int id : {IDC_SUBDIRECTORY, IDC_MD5}) {
        main.FocusOn(id);
        ASSERT_EQ(main.Focus(), main.Control(id));
        main.PressKey(VK_RETURN);
        main.Fence();
        EXPECT_FALSE(main.Busy());
        EXPECT_EQ(main.PaneText(), L"") << "focus on control " << id;
    }
    EXPECT_FALSE(main.Checked(IDC_SUBDIRECTORY));
    EXPECT_EQ(main.WaitForEnd(0), -2);  // Enter never ends the dialog
}

TEST(MainWindowEnter, NamesThatNameNothingDoNothing) {
    TempFolder folder;
    const std::wstring file = folder.File(L"f.txt", "abc");
    MainWindow main;
    for (const std::wstring& text : {L"\"" + file + L"\"", folder / L"missing.txt", std::wstring()}) {
        EnterPath(main, text);
        EXPECT_FALSE(main.Busy());
        main.Fence();
        EXPECT_EQ(main.PaneText(), L"") << "path box: " << std::string(text.begin(), text.end());
        EXPECT_EQ(main.Text(IDC_PATH), text);  // kept as typed
    }
}

TEST(MainWindowDigest, ClickRehashesAFileButNotAFolder) {
    TempFolder folder;
    const std::wstring file = folder.File(L"abc.txt", "abc");
    MainWindow main;
    main.Type(IDC_PATH, file);

    main.Click(IDC_SHA1);
    ASSERT_TRUE(main.WaitIdle());
    main.Click(IDC_CRC32);
    ASSERT_TRUE(main.WaitIdle());
    main.Click(IDC_CRC32);  // the checked one again: hashed again
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(),
              (std::vector<std::wstring>{L"[SHA-1] A9993E364706816ABA3E25717850C26C9CD0D89D - " + file,
                                         L"[CRC32] 352441C2 - " + file,
                                         L"[CRC32] 352441C2 - " + file}));

    main.Type(IDC_PATH, folder.Path());
    main.Click(IDC_MD5);
    EXPECT_FALSE(main.Busy());
    main.Fence();
    EXPECT_EQ(main.PaneLines().size(), 3u);
    // The choice itself changed: Enter on the folder now hashes with MD5.
    EXPECT_TRUE(main.Checked(IDC_MD5));
    EXPECT_FALSE(main.Checked(IDC_CRC32));
    main.FocusOn(IDC_PATH);
    main.PressKey(VK_RETURN);
    ASSERT_TRUE(main.WaitIdle());
    ASSERT_EQ(main.PaneLines().size(), 4u);
    EXPECT_EQ(main.PaneLines()[3], L"[MD5] 900150983CD24FB0D6963F7D28E17F72 - " + file);
}

TEST(MainWindowOutput, ClsDuringAJobEmptiesThePaneForItsLaterLines) {
    TempFolder folder;
    for (int i = 0; i < 40; ++i) folder.File(L"f" + std::to_wstring(i) + L".txt", "abc");
    const std::wstring earlier = folder.File(L"earlier\\e.txt", "abc");
    MainWindow main;
    EnterPath(main, earlier);
    ASSERT_TRUE(main.WaitIdle());
    ASSERT_EQ(main.PaneLines().size(), 1u);

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
    EXPECT_TRUE(main.Busy());
    main.Release();

    ASSERT_TRUE(main.WaitIdle());
    const std::vector<std::wstring> lines = main.PaneLines();
    EXPECT_EQ(lines.size(), 40u);
    for (const std::wstring& line : lines) EXPECT_NE(PathOf(line), earlier);
}

TEST(MainWindowOutput, ClsWhileIdleLeavesTheBarAlone) {
    TempFolder folder;
    const std::wstring file = folder.File(L"f.txt", "abc");
    MainWindow main;
    EnterPath(main, file);
    ASSERT_TRUE(main.WaitIdle());
    main.Click(IDC_CLEAR);
    EXPECT_EQ(main.PaneText(), L"");
    EXPECT_EQ(main.ProgressRange().iHigh, 1);
    EXPECT_EQ(main.ProgressPosition(), 1);
}

TEST(MainWindowOutput, LineGoesToTheEndWhateverTheSelection) {
    MainWindow main;
    PostLine(main.Window(), L"first\r\n");
    PostLine(main.Window(), L"second\r\n");
    ASSERT_TRUE(uitest::WaitUntil([&] { return main.PaneText() == L"first\r\nsecond\r\n"; }));
    const HWND pane = main.Control(IDC_OUTPUT);
    SendMessageW(pane, EM_SETSEL, 0, 3);  // the user selects "fir"
    PostLine(main.Window(), L"third\r\n");
    PostMessageW(main.Window(), UM_APPEND_TEXT, 0, 0);  // carries nothing
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.PaneText() == L"first\r\nsecond\r\nthird\r\n"; }))
        << "pane: " << std::string(main.PaneText().begin(), main.PaneText().end());
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 22u);
    EXPECT_EQ(end, 22u);
}

TEST(MainWindowOutput, LinesShowWhileTheJobRuns) {
    // Five small files, then a large one: their lines must not wait for it.
    TempFolder folder;
    std::vector<std::wstring> arguments;
    for (int i = 0; i < 5; ++i) arguments.push_back(folder.File(L"small" + std::to_wstring(i) + L".txt", "abc"));
    arguments.push_back(folder.ZeroFile(L"large.bin", 1ll << 30));
    MainWindow main(arguments);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.PaneLines().size() == 5; }));
    EXPECT_TRUE(main.Busy());
    EXPECT_EQ(main.ProgressPosition(), 5);  // one step per file of the list
    EXPECT_EQ(main.Close(), IDCANCEL);
}

TEST(MainWindowOutput, QueuedLinesArriveWholeAndInOrder) {
    // Many lines at once, interleaved with steps as the worker posts them, and
    // a null holder among them.
    constexpr int kLines = 5000;
    MainWindow main;
    main.Hold();
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, kLines);
    std::wstring expected;
    for (int i = 0; i < kLines; ++i) {
        const std::wstring line = L"[MD5] " + std::wstring(32, L"0123456789ABCDEF"[i % 16]) +
                                  L" - C:\\some\\folder\\file" + std::to_wstring(i) + L".txt\r\n";
        PostLine(main.Window(), line);
        PostMessageW(main.Window(), UM_PROGRESS_STEP, 0, 0);
        if (i == kLines / 2) PostMessageW(main.Window(), UM_APPEND_TEXT, 0, 0);
        expected += line;
    }
    main.Release();
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.PaneText().size() >= expected.size(); }));
    EXPECT_TRUE(main.PaneText() == expected);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.ProgressPosition() == kLines; }));
}

TEST(MainWindowProgress, RangeResetsPositionAndStepsByOne) {
    MainWindow main;
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, 10);
    PostMessageW(main.Window(), UM_PROGRESS_STEP, 0, 0);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.ProgressPosition() == 1; }));
    EXPECT_EQ(main.ProgressRange().iLow, 0);
    EXPECT_EQ(main.ProgressRange().iHigh, 10);

    // Three steps fill a range of three; a fourth starts again from the
    // bottom; the job's end fills it again.
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, 3);
    main.Fence();
    EXPECT_EQ(main.ProgressPosition(), 0);
    for (int i = 0; i < 3; ++i) PostMessageW(main.Window(), UM_PROGRESS_STEP, 0, 0);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.ProgressPosition() == 3; }));
    PostMessageW(main.Window(), UM_PROGRESS_STEP, 0, 0);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.ProgressPosition() < 3; }));
    PostMessageW(main.Window(), UM_JOB_DONE, 0, 0);
    EXPECT_TRUE(uitest::WaitUntil([&] { return main.ProgressPosition() == 3; }));
}

TEST(MainWindowProgress, FullAfterAJobWithOrWithoutARange) {
    TempFolder folder;
    const std::wstring empty = folder.Folder(L"empty");
    const std::wstring file = folder.File(L"f.bin", uitest::PatternBytes(3 * 65536 + 1));
    MainWindow main;

    // An empty folder sends no range: the bar fills the default range.
    EnterPath(main, empty);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneText(), L"");
    EXPECT_EQ(main.ProgressRange().iHigh, 100);
    EXPECT_EQ(main.ProgressPosition(), 100);

    EnterPath(main, file);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.ProgressRange().iHigh, 4);
    EXPECT_EQ(main.ProgressPosition(), 4);

    // A later range-less job keeps the previous range and fills it.
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, 7);
    EnterPath(main, empty);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.ProgressRange().iHigh, 7);
    EXPECT_EQ(main.ProgressPosition(), 7);
}

TEST(MainWindowClose, EscWhileIdleEndsWithTwo) {
    MainWindow main;
    main.FocusOn(IDC_PATH);
    main.PressKey(VK_ESCAPE);
    EXPECT_EQ(main.WaitForEnd(10000), IDCANCEL);
}

TEST(MainWindowClose, CloseDuringAFolderJobWaitsForTheWorker) {
    TempFolder folder;
    for (int i = 0; i < 2; ++i) folder.ZeroFile(L"big" + std::to_wstring(i) + L".bin", 1ll << 30);
    const int threadsBefore = uitest::ThreadCount();
    MainWindow main({folder.Path()});
    ASSERT_TRUE(main.Busy());
    EXPECT_EQ(uitest::ThreadCount(), threadsBefore + 2);  // the UI thread and the worker
    EXPECT_EQ(main.Close(), IDCANCEL);
    // The worker had ended by the time the modal run returned.
    EXPECT_LE(uitest::ThreadCount(), threadsBefore + 1);
    EXPECT_FALSE(main.Dialog().job.IsActive());
}
