// The main dialog driven through its controls, and Dunmo.exe as a process:
// how a job starts, what it shows, busy and idle, focus, closing.
#include <gtest/gtest.h>

#include <algorithm>

#include "UiTestSupport.h"
#include "job/Messages.h"

using namespace uitest;

namespace {

void ExpectControls(const MainWindow& main, bool busy) {
    for (const int id : {IDC_PATH, IDC_BROWSE, IDC_ABOUT, IDC_MD5, IDC_SHA1, IDC_CRC32, IDC_SUBDIRECTORY, IDC_BASE64})
        EXPECT_EQ(main.Enabled(id), !busy) << "control " << id;
    EXPECT_TRUE(main.Enabled(IDC_CLEAR));
    EXPECT_EQ(main.AcceptsDrops(), !busy);
}

// Posts text the way the worker does: the window owns the holder once posted.
WideString* PostLine(HWND window, const std::wstring& text) {
    auto line = std::make_unique<WideString>(text);
    return PostMessageW(window, UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(line.get())) ? line.release() : nullptr;
}

// Starts a job on `path` as Enter in the path box does, in a held window, and
// returns once the worker has ended: its messages are all still queued, so
// the job runs as far as the window knows.
void StartHeld(MainWindow& main, const std::wstring& path) {
    const int threads = ThreadCount();
    main.Type(IDC_PATH, path);
    main.FocusOn(IDC_PATH);
    SendMessageW(main.Window(), WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(main.Busy());
    ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }));
}

}  // namespace

TEST(MainWindowStart, ArgumentsHashedInOrderAsOneListWhileTheControlsWaitAndCloseWaitsForTheWorker) {
    // Five small files named against their order, then a large one that keeps
    // the job running: their lines must not wait for it.
    TempFolder temp;
    Lines arguments{temp / L"missing.txt"}, expected;
    for (const wchar_t* name : {L"e", L"c", L"a", L"d", L"b"}) {
        arguments.push_back(temp.File(name, "abc"));
        expected.push_back(Md5Line(kMd5Abc, arguments.back()));
    }
    arguments.push_back(temp.File(L"large.bin", "", 1ll << 30));
    MainWindow main(arguments);
    EXPECT_EQ(main.Text(IDC_PATH), arguments[1]);
    EXPECT_TRUE(WaitUntil([&] { return main.PaneLines().size() == 5; }));
    EXPECT_EQ(main.PaneLines(), expected);
    EXPECT_EQ(main.Range(), 6);  // one step per file of the list
    EXPECT_EQ(main.Position(), 5);
    ExpectControls(main, true);
    EXPECT_EQ(main.Close(), IDCANCEL);
    // Finished, so its worker has ended, before the modal run returned. (The
    // platform may keep threads of its own, so threads are not counted.)
    EXPECT_FALSE(main.Dialog().job.IsActive());
}

// Dunmo.exe (next to the test) run as a process, closed once idle or during a job.
TEST(MainWindowProcess, CommandLineHashedInOrderAndClosedIdleOrBusyExitsWithTwo) {
    TempFolder temp;
    const std::wstring spaced = temp.File(L"with space\\a b.txt", "abc"), plain = temp.File(L"plain.txt", "abc");
    // The arguments and the lines once idle; none while a large file keeps the job running.
    const std::pair<Lines, Lines> cases[] = {
        {{temp / L"missing.txt", spaced, plain}, {Md5Line(kMd5Abc, spaced), Md5Line(kMd5Abc, plain)}},
        {{temp.File(L"big.bin", "", 1ll << 30)}, {}}};
    wchar_t program[MAX_PATH] = {};
    GetFullPathNameW(L"" DUNMO_EXE_NAME, MAX_PATH, program, nullptr);
    for (const auto& [arguments, lines] : cases) {
        // Quoted: enough for these paths (no quotes, no trailing backslash).
        std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
        for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION dunmo{};
        ASSERT_TRUE(CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &dunmo));
        HWND dialog = nullptr;
        EXPECT_TRUE(WaitUntil([&] { return (dialog = FindDialog(0, dunmo.dwProcessId)) != nullptr; }));
        const HWND browse = GetDlgItem(dialog, IDC_BROWSE);
        if (!lines.empty()) WaitUntil([&] { return IsWindowEnabled(browse) != FALSE; });
        EXPECT_EQ(IsWindowEnabled(browse) == FALSE, lines.empty());
        EXPECT_EQ(SplitLines(TextOf(GetDlgItem(dialog, IDC_OUTPUT))), lines);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        DWORD code = 0;
        EXPECT_EQ(WaitForSingleObject(dunmo.hProcess, 60000), WAIT_OBJECT_0);
        EXPECT_TRUE(GetExitCodeProcess(dunmo.hProcess, &code) && code == 2) << code;
        TerminateProcess(dunmo.hProcess, 99);  // only if it failed to end
        CloseHandle(dunmo.hThread);
        CloseHandle(dunmo.hProcess);
    }
}

TEST(MainWindowEnter, NothingStartsOutsideThePathBoxOrForNamesThatNameNothing) {
    TempFolder temp;
    const std::wstring file = temp.File(L"f.txt", "abc");
    MainWindow main;
    main.Type(IDC_PATH, file);
    for (const int id : {IDC_SUBDIRECTORY, IDC_MD5}) {
        main.FocusOn(id);
        ASSERT_EQ(main.Focus(), main.Control(id));
        main.PressKey(VK_RETURN);
        EXPECT_FALSE(main.Busy()) << "focus on control " << id;
    }
    EXPECT_FALSE(main.Checked(IDC_SUBDIRECTORY));
    main.Click(IDC_SUBDIRECTORY);  // ticking it starts nothing either
    EXPECT_FALSE(main.Busy());
    for (const std::wstring& text : {L"\"" + file + L"\"", temp / L"missing.txt", std::wstring()}) {
        main.EnterPath(text);
        EXPECT_FALSE(main.Busy());
        EXPECT_EQ(main.Text(IDC_PATH), text);  // kept as typed
    }
    main.Fence();
    EXPECT_EQ(main.Text(IDC_OUTPUT), L"");
    EXPECT_EQ(main.WaitForEnd(0), -2);  // Enter never ends the dialog
}

// Digests computed on the host (Python's hashlib and zlib) over Pattern(size).
const struct Vector {
    std::size_t size;
    const wchar_t* digests[3];  // in the order of the radio buttons: MD5, SHA-1, CRC32
    std::wstring Line(int button, const std::wstring& path) const {
        const wchar_t* names[] = {L"[MD5] ", L"[SHA-1] ", L"[CRC32] "};
        return names[button - IDC_MD5] + std::wstring(digests[button - IDC_MD5]) + L" - " + path;
    }
} kVectors[] = {
    {0u, {L"D41D8CD98F00B204E9800998ECF8427E", L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", L"00000000"}},
    {1u, {L"524A50782178998021A88B8CD4C8DCD8", L"C4DD3C8CDD8D7C95603DD67F1CD873D5F9148B29", L"FD6D930A"}},
    {65535u, {L"737965351B9CA26998EC040749FB2250", L"726FFD84563CDAFEE4FECC5AA65842E3DCAF0845", L"AEFDBCAD"}},
    {65536u, {L"302BB2EC025F45F766C11670B38BADF4", L"52760979E29E322D36E4EB78BB9723F534492119", L"52C975FA"}},
    {65537u, {L"35C512B33A3EB019A5D70AD34614D88F", L"3ED18F16F80E985A6CC0C1BFB146B7D005E5D66B", L"BF8DC213"}},
    {3145733u, {L"9A874EF89713B496148ECE52E96D2E05", L"062CFA9246767FB65AAD037702AE5C6938849D66", L"BD597B35"}},
};

// Enter on the folder with each digest chosen (a click with a folder in the
// path box only changes the choice), then a click with each file: the checked
// choice clicked again hashes again, another one switches.
TEST(MainWindowDigests, LinesAgreeWithHostDigestsAndClickRehashesOnlyAFile) {
    TempFolder temp;
    const auto path = [&](const Vector& vector) { return temp / (std::to_wstring(vector.size) + L".bin"); };
    for (const Vector& vector : kVectors) temp.File(std::to_wstring(vector.size) + L".bin", Pattern(vector.size));
    MainWindow main;
    main.Type(IDC_PATH, temp.Path());
    std::size_t seen = 0;
    for (const int digest : {IDC_SHA1, IDC_CRC32, IDC_MD5}) {
        main.Click(digest);
        EXPECT_FALSE(main.Busy());
        EXPECT_TRUE(main.Checked(digest));
        main.EnterPath(temp.Path());
        ASSERT_TRUE(main.WaitIdle());
        ExpectControls(main, false);
        const Lines lines = main.PaneLines();
        Lines got(lines.begin() + std::min(seen, lines.size()), lines.end()), expected;
        for (const Vector& vector : kVectors) expected.push_back(vector.Line(digest, path(vector)));
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected);
        seen = lines.size();
    }
    for (const int digest : {IDC_MD5, IDC_CRC32}) {
        for (const Vector& vector : kVectors) {
            main.Type(IDC_PATH, path(vector));
            main.Click(digest);
            ASSERT_TRUE(main.WaitIdle());
            EXPECT_EQ(main.PaneLines().back(), vector.Line(digest, path(vector)));
        }
    }
    EXPECT_EQ(main.PaneLines().size(), 5 * std::size(kVectors));
}

TEST(MainWindowFocus, ReturnsAfterAJobUnlessTheUserMovedIt) {
    TempFolder temp;
    const std::wstring file = temp.File(L"f.txt", "abc");
    MainWindow main;
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    main.EnterPath(file);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    main.PressKey(VK_RETURN);  // so Enter again starts another job
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines().size(), 2u);

    main.Click(IDC_SHA1);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines().size(), 3u);
    EXPECT_EQ(main.Focus(), main.Control(IDC_SHA1));

    // "Cls" clicked while the job runs keeps the focus.
    main.Hold();
    StartHeld(main, file);
    main.Click(IDC_CLEAR);
    main.Release();
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines().size(), 1u);
    EXPECT_EQ(main.Focus(), main.Control(IDC_CLEAR));
}

TEST(MainWindowOutput, ClsDuringAJobEmptiesShownAndPendingLinesNotLaterOnes) {
    TempFolder temp;
    for (int i = 0; i < 40; ++i) temp.File(L"f" + std::to_wstring(i) + L".txt", "abc");
    MainWindow main;
    // Queued in this order: the first line is shown at once, the second still
    // waits to be shown when "Cls" is handled, then the job's lines come.
    main.Hold();
    PostLine(main.Window(), L"earlier\r\n");
    PostLine(main.Window(), L"earlier\r\n");
    PostMessageW(main.Window(), WM_COMMAND, IDC_CLEAR, 0);
    StartHeld(main, temp.Path());
    main.Release();
    ASSERT_TRUE(main.WaitIdle());
    const Lines lines = main.PaneLines();
    EXPECT_EQ(lines.size(), 40u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"earlier"), 0);

    main.Click(IDC_CLEAR);  // idle: the bar stays full
    EXPECT_EQ(main.Text(IDC_OUTPUT), L"");
    EXPECT_EQ(main.Position(), 40);
}

TEST(MainWindowOutput, QueuedLinesArriveWholeAndInOrderBesideASelection) {
    // Many lines at once, posted as the worker does (several at a time, each
    // post followed by a step counting them), a null holder among them, while
    // the user has selected text in the pane.
    constexpr int kLines = 5000;
    MainWindow main;
    PostLine(main.Window(), L"first\r\n");
    ASSERT_TRUE(WaitUntil([&] { return main.Text(IDC_OUTPUT) == L"first\r\n"; }));
    SendMessageW(main.Control(IDC_OUTPUT), EM_SETSEL, 0, 3);
    main.Hold();
    PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, kLines);
    std::wstring expected = L"first\r\n";
    for (int i = 0, count = 1; i < kLines; i += count) {
        count = std::min(i % 7 + 1, kLines - i);
        std::wstring text;
        for (int j = i; j < i + count; ++j)
            text += L"[MD5] " + std::wstring(32, L"0123456789ABCDEF"[j % 16]) + L" - C:\\some\\folder\\file" +
                    std::to_wstring(j) + L".txt\r\n";
        PostLine(main.Window(), text);
        PostMessageW(main.Window(), UM_PROGRESS_STEP, count, 0);
        if (i == 0) PostMessageW(main.Window(), UM_APPEND_TEXT, 0, 0);
        expected += text;
    }
    main.Release();
    EXPECT_TRUE(WaitUntil([&] { return main.Text(IDC_OUTPUT).size() >= expected.size(); }));
    EXPECT_TRUE(main.Text(IDC_OUTPUT) == expected);
    EXPECT_TRUE(WaitUntil([&] { return main.Position() == kLines; }));
}

TEST(MainWindowProgress, FullAfterAJobWithOrWithoutARange) {
    TempFolder temp;
    const std::wstring empty = temp.Folder(L"empty");
    const std::wstring file = temp.File(L"f.bin", Pattern(3 * 65536 + 1));
    MainWindow main;
    EXPECT_EQ(main.Position(), 0);
    // An empty folder sends no range: the bar fills the default range, or
    // the one a previous job left.
    const std::tuple<std::wstring, int, int> cases[] = {{empty, 0, 100}, {file, 0, 4}, {empty, 7, 7}};
    for (const auto& [path, presetRange, range] : cases) {
        if (presetRange) PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, presetRange);
        main.EnterPath(path);
        ASSERT_TRUE(main.WaitIdle());
        EXPECT_EQ(main.Range(), range);
        EXPECT_EQ(main.Position(), range);
    }
}

TEST(MainWindowMend, WorkerThatCannotStartLeavesTheDialogIdle) {
    TempFolder temp;
    const std::wstring file = temp.File(L"abc.txt", "abc");
    MainWindow main;
    main.Type(IDC_PATH, file);
    const int threads = ThreadCount();
    // Without a free megabyte of address space no thread stack can be made.
    std::vector<void*> reserved;
    reserved.reserve(8192);  // no allocation while the space is taken
    for (SIZE_T size = SIZE_T{256} << 20; size >= (SIZE_T{1} << 20) && reserved.size() < 8192;)
        if (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) reserved.push_back(block);
        else size /= 2;
    main.Click(IDC_SHA1);
    const int threadsAfter = ThreadCount();
    for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
    ExpectControls(main, false);
    EXPECT_EQ(threadsAfter, threads);
    main.Fence();
    EXPECT_EQ(main.Text(IDC_OUTPUT), L"");

    main.Click(IDC_SHA1);  // with room again the same request runs
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), Lines{L"[SHA-1] A9993E364706816ABA3E25717850C26C9CD0D89D - " + file});
}

TEST(MainWindowMend, LinesQueuedAtCloseAreFreed) {
    // Lines of 8 MiB each, held off until the close: the address space they
    // take comes back only if the close frees them.
    const auto freeMiB = [] {
        long long free = 0;
        MEMORY_BASIC_INFORMATION region{};
        for (auto* at = static_cast<char*>(nullptr); VirtualQuery(at, &region, sizeof(region));
             at = static_cast<char*>(region.BaseAddress) + region.RegionSize)
            free += region.State == MEM_FREE ? region.RegionSize : 0;
        return free >> 20;
    };
    MainWindow main;
    const long long before = freeMiB();
    main.Hold();
    for (int i = 0; i < 20; ++i) ASSERT_NE(PostLine(main.Window(), std::wstring(4 << 20, L'x')), nullptr);
    EXPECT_LT(freeMiB(), before - 150);
    SendMessageW(main.Window(), WM_COMMAND, IDCANCEL, 0);
    main.Release();
    EXPECT_EQ(main.WaitForEnd(10000), IDCANCEL);
    EXPECT_GT(freeMiB(), before - 16);
}
