// The main dialog driven through its controls, and Dunmo.exe as a process:
// how a job starts, what it shows, busy and idle, focus, closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "UiTestSupport.h"
#include "job/Messages.h"

using namespace uitest;

namespace {

void ExpectControls(const MainWindow& main, bool busy) {
    for (const int id : {IDC_PATH, IDC_BROWSE, IDC_ABOUT, IDC_MD5, IDC_SHA1, IDC_CRC32, IDC_SHA256, IDC_SHA512,
                         IDC_SUBDIRECTORY, IDC_BASE64})
        EXPECT_EQ(main.Enabled(id), !busy) << "control " << id;
    EXPECT_TRUE(main.Enabled(IDC_CLEAR));
    EXPECT_EQ((GetWindowLongW(main.Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0, !busy);
}

// Posts text the way the worker does: the window owns the holder once posted.
WideString* PostLine(HWND window, const std::wstring& text) {
    auto line = std::make_unique<WideString>(text);
    return PostMessageW(window, UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(line.get())) ? line.release() : nullptr;
}

// Reserves address space in blocks of 256 MiB down to 1 MiB until no block of
// 1 MiB is left (then no thread stack or large allocation can be made), for
// as long as it lives; a 32-bit process's space fills in little time.
struct AddressSpaceTaken {
    AddressSpaceTaken() {
        reserved.reserve(8192);  // no allocation while the space is taken
        for (SIZE_T size = SIZE_T{256} << 20; size >= (SIZE_T{1} << 20) && reserved.size() < 8192;)
            if (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) reserved.push_back(block);
            else size /= 2;
    }
    ~AddressSpaceTaken() {
        for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
    }
    std::vector<void*> reserved;
};

}  // namespace

// Small files named against their order, then a large one that keeps the job
// running: their lines must not wait for it, and nothing may start meanwhile.
TEST(MainWindowStart, ArgumentsHashedInOrderAsOneListWhileControlsAndDropsWaitAndCloseEndsTheWorker) {
    // "c." beside "c" and "d " are taken as written, "./sub/b" from the current folder.
    TempFolder temp;
    temp.File(L"c", "not c.");
    Lines arguments{temp / L"missing.txt"}, named, expected;
    for (const wchar_t* name : {L"e", L"c.", L"a", L"d ", L"sub\\b"}) {
        arguments.push_back(named.emplace_back(temp.File(name, "abc")));
        expected.push_back(Md5Line(kMd5Abc, named.back()));
    }
    arguments.back() = L"./sub/b";
    arguments.push_back(named.emplace_back(temp.File(L"large.bin", "", 1ll << 30)));
    wchar_t started[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, started);
    SetCurrentDirectoryW(temp.Path().c_str());
    MainWindow main(arguments);
    SetCurrentDirectoryW(started);
    EXPECT_EQ(main.Text(IDC_PATH), arguments[1]);
    EXPECT_TRUE(WaitUntil([&] { return main.PaneLines().size() == 5; }));
    EXPECT_EQ(main.PaneLines(), expected);
    EXPECT_EQ(main.Position(), 5);  // one step per file of the list
    ExpectControls(main, true);
    // A drop that still arrives is released and changes nothing.
    EXPECT_TRUE(main.Drop({temp.File(L"other.txt", "hello")}));
    EXPECT_EQ(main.Text(IDC_PATH), arguments[1]);
    PostMessageW(main.Window(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(main.WaitForEnd(60000), IDCANCEL);
    // The worker has ended before the modal run returned.
    EXPECT_FALSE(main.Dialog().job.IsActive());
}

// Dunmo.exe (next to the test) as a process: a close ends it with 2.
TEST(MainWindowProcess, CommandLineHashedInOrderAndCloseExitsWithTwo) {
    TempFolder temp;
    const std::wstring spaced = temp.File(L"with space\\a b.txt", "abc"), plain = temp.File(L"plain.txt", "abc");
    const DunmoProcess dunmo({temp / L"missing.txt", spaced, plain});
    ASSERT_TRUE(dunmo.Started());
    // Shown only once its job has started; idle again once that has ended.
    const HWND dialog = dunmo.IdleDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SplitLines(TextOf(GetDlgItem(dialog, IDC_OUTPUT))),
              (Lines{Md5Line(kMd5Abc, spaced), Md5Line(kMd5Abc, plain)}));
    // The focus ends in the path box, as after Enter.
    GUITHREADINFO focus{};
    focus.cbSize = sizeof(focus);
    EXPECT_TRUE(WaitUntil([&] { return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &focus) &&
                                       focus.hwndFocus == GetDlgItem(dialog, IDC_PATH); }));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(dunmo.ExitCode(), 2u);
}

// Nothing starts on Enter outside the path box, for names that name nothing,
// or while no worker thread can be made; a name that exists as typed is hashed.
TEST(MainWindowRequests, NothingStartsOutsideThePathBoxForNamesThatNameNothingOrWithoutAWorkerTypedNamesAreExact) {
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
    main.Click(IDC_SUBDIRECTORY);  // ticking it starts nothing either
    EXPECT_FALSE(main.Busy());
    for (const std::wstring& text : {L"\"" + file + L"\"", temp / L"missing.txt", std::wstring()}) {
        main.EnterPath(text);
        EXPECT_FALSE(main.Busy());
        EXPECT_EQ(main.Text(IDC_PATH), text);  // kept as typed
    }
    EXPECT_EQ(main.WaitForEnd(0), -2);  // Enter never ends the dialog
    // A typed name is taken as written: "x." beside "x" is hashed, not "x".
    temp.File(L"x", "not x.");
    main.EnterPath(temp.File(L"x.", "abc"));
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), Lines{Md5Line(kMd5Abc, temp / L"x.")});
    main.Click(IDC_CLEAR);

    // Without a free megabyte of address space no thread stack can be made.
    if (sizeof(void*) != 4) return;
    main.Type(IDC_PATH, file);
    {
        const AddressSpaceTaken taken;
        main.Click(IDC_MD5);
    }
    ExpectControls(main, false);
    main.Click(IDC_MD5);  // with room again the same request runs, and only it
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), Lines{Md5Line(kMd5Abc, file)});
}

// Host digests (Python's hashlib, zlib) of Pattern(size), in radio order.
const int kDigestButtons[] = {IDC_MD5, IDC_SHA1, IDC_CRC32, IDC_SHA256, IDC_SHA512};
const struct Vector {
    std::size_t size;
    const wchar_t* digests[5];
} kVectors[] = {
    {0u,
     {L"D41D8CD98F00B204E9800998ECF8427E", L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", L"00000000",
      L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855",
      L"CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E"}},
    {65537u,
     {L"35C512B33A3EB019A5D70AD34614D88F", L"3ED18F16F80E985A6CC0C1BFB146B7D005E5D66B", L"BF8DC213",
      L"58A355CEFD6E6107DD805383A1C57087A8FEF4F2EF9FCD6D3A9674910E8B5D3E",
      L"EBF87967EB1E6E71EA111F371C1891115443B048F6ACEB89362A16D5B9F8F60BC7C81FF7685678FB2A794730594C989392973D569A55909DE7CD36297318C54E"}},
    {3145733u,
     {L"9A874EF89713B496148ECE52E96D2E05", L"062CFA9246767FB65AAD037702AE5C6938849D66", L"BD597B35",
      L"F8B9B24CE2391E6909784A8C46A8F40469A73C63CC0C3800B92FC37C80F2EF62",
      L"F26CBAF209958EAC1FF160792FF9D0D8967D885F412FE11F9B44D665D7097951B846FD8FFA82DC3A268A285BE8CC437A900F1F978B6DEBFE4285EE1123171BF2"}},
};

// The line for file `name`, which holds the pattern of kVectors[name].
std::wstring LineOf(int button, const TempFolder& temp, const std::wstring& name) {
    const wchar_t* tags[] = {L"[MD5] ", L"[SHA-1] ", L"[CRC32] ", L"[SHA-256] ", L"[SHA-512] "};
    const auto index = std::find(std::begin(kDigestButtons), std::end(kDigestButtons), button) - kDigestButtons;
    return tags[index] + std::wstring(kVectors[std::stoi(name)].digests[index]) + L" - " + temp / name;
}

// A click with a folder in the path box only changes the choice, Enter hashes
// its files in listing order; with a file, any click hashes it again.
TEST(MainWindowDigests, LinesAgreeWithHostDigestsAndClickRehashesOnlyAFile) {
    TempFolder temp;
    for (std::size_t i = 0; i < std::size(kVectors); ++i) temp.File(std::to_wstring(i), Pattern(kVectors[i].size));
    MainWindow main;
    main.Type(IDC_PATH, temp.Path());
    for (const int digest : {IDC_SHA1, IDC_CRC32, IDC_SHA256, IDC_SHA512, IDC_MD5}) {
        main.Click(digest);
        EXPECT_FALSE(main.Busy());
        main.Click(IDC_CLEAR);
        main.EnterPath(temp.Path());
        ASSERT_TRUE(main.WaitIdle());
        ExpectControls(main, false);
        Lines expected;
        for (const std::wstring& name : ListFolder(temp.Path()).files) expected.push_back(LineOf(digest, temp, name));
        EXPECT_EQ(main.PaneLines(), expected);
        EXPECT_EQ(main.JobLines(), expected.size());  // told at the job's end
    }
    const std::wstring last = std::to_wstring(std::size(kVectors) - 1);
    main.Type(IDC_PATH, temp / last);
    const int clicks[] = {IDC_SHA512, IDC_SHA256, IDC_CRC32};
    for (const int digest : clicks) {
        main.Click(digest);
        ASSERT_TRUE(main.WaitIdle());
        EXPECT_EQ(main.PaneLines().back(), LineOf(digest, temp, last));
        EXPECT_EQ(main.JobLines(), 1u);
    }
    EXPECT_EQ(main.PaneLines().size(), std::size(kVectors) + std::size(clicks));
}

// A job ends with the bar full, even with no steps (an empty folder), and the
// focus back where it was unless the user moved it. "Cls" during a job clears
// the lines not yet shown too, not the job's later ones. The dialog stays busy
// until the job's last line is shown, after its worker has gone.
TEST(MainWindowJobEnd, BarFullFocusBackUnlessMovedClsKeepsLaterLinesAndBusyUntilTheLastLine) {
    TempFolder temp;
    const std::wstring file = temp.File(L"f.txt", "abc");
    MainWindow main;
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    main.EnterPath(temp.Folder(L"empty"));
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.Position(), main.Range());
    EXPECT_EQ(main.Focus(), main.Control(IDC_PATH));
    main.Type(IDC_PATH, file);
    main.PressKey(VK_RETURN);  // so Enter again starts another job
    ASSERT_TRUE(main.WaitIdle());
    main.Click(IDC_MD5);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines().size(), 2u);
    EXPECT_EQ(main.Focus(), main.Control(IDC_MD5));

    // Queued in a held window: two lines, "Cls", then a whole job started by
    // Enter in the path box (its worker has ended); then the user moves the focus.
    main.Hold();
    PostLine(main.Window(), L"earlier\r\n");
    PostLine(main.Window(), L"earlier\r\n");
    PostMessageW(main.Window(), WM_COMMAND, IDC_CLEAR, 0);
    const int threads = ThreadCount();
    main.FocusOn(IDC_PATH);
    SendMessageW(main.Window(), WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(main.Busy());
    ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }));
    main.FocusOn(IDC_CLEAR);
    main.Release();
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(), Lines{Md5Line(kMd5Abc, file)});
    EXPECT_EQ(main.Focus(), main.Control(IDC_CLEAR));

    // A click on a digest or a drop that arrives after the worker's end but
    // before its line is shown starts nothing.
    const std::function<void()> requests[] = {
        [&] { PostMessageW(main.Window(), WM_COMMAND, IDC_SHA1, 0); },
        [&] { PostMessageW(main.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({file})), 0); },
    };
    for (const auto& request : requests) {
        main.Click(IDC_CLEAR);
        main.Hold();
        main.FocusOn(IDC_PATH);
        SendMessageW(main.Window(), WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }));
        request();
        main.ReleaseUntilHere();  // past the worker's end and the request, before the first tick
        EXPECT_TRUE(main.PaneLines().empty());
        ExpectControls(main, true);
        EXPECT_FALSE(main.Dialog().job.IsActive());
        main.Release();
        ASSERT_TRUE(main.WaitIdle());
        EXPECT_EQ(main.PaneLines(), Lines{Md5Line(kMd5Abc, file)});
        EXPECT_EQ(main.Dialog().job.Unshown(), 0);
    }
}

TEST(MainWindowOutput, QueuedLinesArriveWholeAndInOrderBesideASelectionAndAreFreedAtClose) {
    // Lines posted as the worker does, several a post with a step counting
    // them, a null holder among them, while the user has text selected; the
    // second time with "Cls" between two batches.
    constexpr int kLines = 300;
    MainWindow main;
    const HWND pane = main.Control(IDC_OUTPUT);
    const auto post = [&](int from, int count) {
        std::wstring all;
        for (int i = from, n; i < from + count; i += n) {
            n = std::min(i % 7 + 1, from + count - i);
            std::wstring text;
            for (int j = i; j < i + n; ++j) text += L"[MD5] 0123 - C:\\file" + std::to_wstring(j) + L".txt\r\n";
            PostLine(main.Window(), text);
            PostMessageW(main.Window(), UM_PROGRESS_STEP, n, 0);
            all += text;
        }
        return all;
    };
    PostLine(main.Window(), L"first\r\n");
    ASSERT_TRUE(WaitUntil([&] { return main.Text(IDC_OUTPUT) == L"first\r\n"; }));
    std::wstring expected = L"first\r\n";
    for (const bool clear : {false, true}) {
        SendMessageW(pane, EM_SETSEL, 0, 3);
        main.Hold();
        PostMessageW(main.Window(), UM_PROGRESS_RANGE, 0, kLines);
        expected += post(0, kLines / 2);
        PostMessageW(main.Window(), UM_APPEND_TEXT, 0, 0);
        if (clear) PostMessageW(main.Window(), WM_COMMAND, IDC_CLEAR, 0), expected.clear();
        expected += post(kLines / 2, kLines / 2);
        main.Release();
        EXPECT_TRUE(WaitUntil([&] { return main.Text(IDC_OUTPUT) == expected; })) << "with Cls: " << clear;
        DWORD start = 0, end = 0;
        SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_TRUE(start == expected.size() && end == start) << start << " " << end;
        EXPECT_TRUE(WaitUntil([&] { return main.Position() == kLines; }));
    }

    // Lines are shown in ticks of their own: a message posted behind a big
    // post is answered before its first line is in.
    main.Hold();
    SendMessageW(main.Window(), WM_COMMAND, IDC_CLEAR, 0);
    std::wstring lines;
    for (int i = 0; i < 1000; ++i) lines += L"line " + std::to_wstring(i) + L"\r\n";
    PostLine(main.Window(), lines);
    PostMessageW(pane, EM_SETLIMITTEXT, 12345, 0);
    main.ReleaseUntilHere();
    EXPECT_EQ(SendMessageW(pane, EM_GETLIMITTEXT, 0, 0), 12345);
    EXPECT_EQ(main.Text(IDC_OUTPUT), L"");
    main.Release();
    EXPECT_TRUE(WaitUntil([&] { return main.Text(IDC_OUTPUT) == lines; }));

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
    const long long before = freeMiB();
    main.Hold();
    for (int i = 0; i < 20; ++i) ASSERT_NE(PostLine(main.Window(), std::wstring(4 << 20, L'x')), nullptr);
    EXPECT_LT(freeMiB(), before - 150);
    SendMessageW(main.Window(), WM_COMMAND, IDCANCEL, 0);
    main.Release();
    EXPECT_EQ(main.WaitForEnd(10000), IDCANCEL);
    EXPECT_GT(freeMiB(), before - 16);
}

// The pane window: edit messages reach their meanings (tested on the model
// with their edge cases), the user selects and copies with keys and the mouse
// as Uniscribe lays the lines out, the clipboard and the scroll bars.
TEST(MainWindowOutput, PaneAnswersEditMessagesAndCopiesWhatIsSelected) {
    MainWindow main;
    const HWND pane = main.Control(IDC_OUTPUT);
    const auto send = [pane](UINT message, WPARAM wParam, LPARAM lParam) { return SendMessageW(pane, message, wParam, lParam); };
    using Span = std::pair<std::size_t, std::size_t>;
    const auto selection = [&] {
        DWORD start = 0, end = 0;
        const LRESULT packed = send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(packed, end > 0xFFFF ? -1 : MAKELRESULT(start, end));
        return Span(start, end);
    };
    const auto copied = [] {
        std::wstring text;
        if (!OpenClipboard(nullptr)) return text;
        if (const HANDLE data = GetClipboardData(CF_UNICODETEXT))
            text = static_cast<const wchar_t*>(GlobalLock(data)), GlobalUnlock(data);
        return CloseClipboard(), text;
    };
    const std::wstring line = Md5Line(kMd5Abc, L"C:\\a b.txt") + L"\r\n", shortLine = L"[MD5] X - C:\\a b.txt\r\n";
    const std::size_t n = line.size(), second = shortLine.size();
    main.Type(IDC_OUTPUT, shortLine);
    send(EM_SETSEL, static_cast<WPARAM>(-2), -1);
    send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>((line + L"tail").c_str()));
    EXPECT_EQ(main.Text(IDC_OUTPUT), shortLine + line + L"tail");
    EXPECT_EQ(send(EM_LINELENGTH, second + 5, 0), static_cast<LRESULT>(n - 2));
    send(EM_SETSEL, 0, 5);
    send(WM_COPY, 0, 0);
    EXPECT_EQ(copied(), L"[MD5]");

    // Keys on the focused pane: Ctrl+A and Ctrl+C as they arrive translated,
    // a caret keeping its column down a line as Uniscribe measures it.
    main.FocusOn(IDC_OUTPUT);
    for (const WPARAM control : {1, 3}) PostMessageW(pane, WM_CHAR, control, 1);
    main.Fence();
    EXPECT_EQ(copied(), main.Text(IDC_OUTPUT));
    send(EM_SETSEL, 8, 8);
    main.PressKey(VK_DOWN);
    EXPECT_EQ(selection(), Span(second + 8, second + 8));

    // Past 65,535 lines positions and scrolling keep all their bits.
    std::wstring many;
    for (int i = 0; i < 200000; ++i) many += L"x\r\n";
    main.Type(IDC_OUTPUT, many);
    send(WM_VSCROLL, SB_BOTTOM, 0);
    SCROLLINFO bar{sizeof(bar), SIF_RANGE | SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(pane, SB_VERT, &bar);
    EXPECT_EQ(bar.nMax, 200000);
    EXPECT_GT(bar.nPos, 65535);
    EXPECT_EQ(send(EM_GETFIRSTVISIBLELINE, 0, 0), bar.nPos);
    // A copy that cannot have its memory leaves the clipboard as it was.
    send(EM_SETSEL, 0, -1);
    EXPECT_EQ(selection(), Span(0, many.size()));
    if (sizeof(void*) == 4) {
        const AddressSpaceTaken taken;
        send(WM_COPY, 0, 0);
    }
    EXPECT_EQ(copied(), shortLine + line + L"tail");
    send(EM_SETSEL, 0, 0);
    send(EM_SCROLLCARET, 0, 0);

    // A drag held past the bottom edge goes on scrolling and selecting from
    // where the button went down, until the button comes up.
    RECT client{};
    GetClientRect(pane, &client);
    POINT below{client.right / 2, client.bottom + 40};
    ClientToScreen(pane, &below);
    SetCursorPos(below.x, below.y);
    PostMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    PostMessageW(pane, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(client.right / 2, client.bottom + 40));
    Sleep(400);
    PostMessageW(pane, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
    main.Fence();
    const auto scrolled = static_cast<std::size_t>(send(EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_GT(scrolled, 2u);
    EXPECT_EQ(selection().first, 0u);
    EXPECT_GT(selection().second, scrolled * 3);  // lines of 3 characters
    Sleep(150);
    EXPECT_EQ(static_cast<std::size_t>(send(EM_GETFIRSTVISIBLELINE, 0, 0)), scrolled) << "the drag ended";
}
