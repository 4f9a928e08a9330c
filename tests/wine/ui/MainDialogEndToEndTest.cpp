// Dunmo.exe as a process (command line, exit code), result lines against
// digests computed on the host, and the two mended faults: a worker that
// cannot start, and lines still queued when the window closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <map>
#include <new>

#include "UiTestSupport.h"
#include "job/Messages.h"

using uitest::DunmoProcess;
using uitest::MainWindow;
using uitest::TempFolder;

// Every deletion in this executable passes here, so a test can count how many
// of the holders it posted (and tracked) were freed.
namespace {
std::atomic<void*> tracked[64];
std::atomic<int> freedCount{0};
}  // namespace

void* operator new(std::size_t size) {
    if (void* pointer = std::malloc(size == 0 ? 1 : size)) return pointer;
    throw std::bad_alloc();
}
void operator delete(void* pointer) noexcept {
    if (pointer == nullptr) return;
    for (auto& slot : tracked) {
        void* expected = pointer;
        if (slot.compare_exchange_strong(expected, nullptr)) ++freedCount;
    }
    std::free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept { ::operator delete(pointer); }

namespace {

struct Vector {
    std::size_t size;
    const wchar_t* md5;
    const wchar_t* sha1;
    const wchar_t* crc32;
    std::wstring Line(int digest) const {
        return digest == IDC_MD5 ? std::wstring(L"[MD5] ") + md5
               : digest == IDC_SHA1 ? std::wstring(L"[SHA-1] ") + sha1 : std::wstring(L"[CRC32] ") + crc32;
    }
};
// Computed once on the host over PatternBytes(size) with md5sum, sha1sum and
// crc32 (Archive::Zip); the empty file shows its true digest.
const Vector kVectors[] = {
    {0u, L"D41D8CD98F00B204E9800998ECF8427E", L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", L"00000000"},
    {1u, L"7FC56270E7A70FA81A5935B72EACBE29", L"6DCD4CE23D88E2EE9568BA546C007C63D9131C1B", L"D3D99E8B"},
    {65535u, L"6C81F46DFCD30920AE909136646FDE3A", L"ABF94218CEABF1BB8B344E0B402E8BBE7B440886", L"BC82F7DF"},
    {65536u, L"857D8B3D811D0ED2CECA31DF13E8C10E", L"90CCA3DF618C5D19E4678DA03226CA1464CF61C4", L"C4D2A23F"},
    {65537u, L"4D685C046D4004D77D60FD3C71792E8D", L"7956BB1EB56CE717CA45685BC743EA29EA0072F3", L"E9A81DE7"},
    {3145733u, L"BD7BD15E6D169B6556A82A77C858F863", L"876332E125E466A1FCCBE7153B248253A405E871", L"471E8B7A"},
};

// The process's main dialog once its start-up job has ended.
HWND IdleWindow(DunmoProcess& dunmo) {
    const HWND dialog = dunmo.WaitForWindow();
    if (dialog != nullptr)
        uitest::WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_BROWSE)) != FALSE; });
    return dialog;
}

}  // namespace

// A digest click hashes a file in the path box again; with a folder it only
// changes the choice.
TEST(MainWindowDigests, LinesAgreeWithHostDigestsAndClickRehashesOnlyAFile) {
    TempFolder folder;
    std::map<std::wstring, const Vector*> byPath;
    for (const Vector& vector : kVectors) {
        const std::wstring name = L"size" + std::to_wstring(vector.size) + L".bin";
        byPath[folder.File(name, uitest::PatternBytes(vector.size))] = &vector;
    }
    MainWindow main;
    main.Type(IDC_PATH, folder.Path());
    std::size_t seen = 0;
    for (const int digest : {IDC_SHA1, IDC_CRC32, IDC_MD5}) {
        main.Click(digest);
        EXPECT_FALSE(main.Busy());
        EXPECT_TRUE(main.Checked(digest));
        main.EnterPath(folder.Path());
        ASSERT_TRUE(main.WaitIdle());
        const std::vector<std::wstring> lines = main.PaneLines();
        std::vector<std::wstring> got(lines.begin() + std::min(seen, lines.size()), lines.end()), expected;
        for (const auto& [path, vector] : byPath) expected.push_back(vector->Line(digest) + L" - " + path);
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected);
        seen = lines.size();
    }
    // One file on its own is hashed chunk by chunk: the same digests. The
    // checked choice clicked again hashes again, another one switches.
    for (const int digest : {IDC_MD5, IDC_CRC32}) {
        for (const auto& [path, vector] : byPath) {
            main.Type(IDC_PATH, path);
            main.Click(digest);
            ASSERT_TRUE(main.WaitIdle());
            EXPECT_EQ(main.PaneLines().back(), vector->Line(digest) + L" - " + path);
        }
    }
    EXPECT_EQ(main.PaneLines().size(), 18u + 2 * byPath.size());
}

TEST(MainWindowProcess, CommandLineHashedInOrderThenClosedIdleExitsWithTwo) {
    TempFolder folder;
    const std::wstring spaced = folder.File(L"with space\\a b.txt", "abc");
    const std::wstring plain = folder.File(L"plain.txt", "abc");
    DunmoProcess dunmo({folder / L"missing.txt", spaced, plain});
    const HWND dialog = IdleWindow(dunmo);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(uitest::TextOf(GetDlgItem(dialog, IDC_PATH)), spaced);
    EXPECT_EQ(uitest::SplitLines(uitest::TextOf(GetDlgItem(dialog, IDC_OUTPUT))),
              (std::vector<std::wstring>{L"[MD5] 900150983CD24FB0D6963F7D28E17F72 - " + spaced,
                                         L"[MD5] 900150983CD24FB0D6963F7D28E17F72 - " + plain}));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(dunmo.WaitForExit(), 2);
}

TEST(MainWindowProcess, ClosedDuringAFolderJobExitsWithTwo) {
    TempFolder folder;
    for (int i = 0; i < 2; ++i) folder.ZeroFile(L"big" + std::to_wstring(i) + L".bin", 1ll << 30);
    DunmoProcess dunmo({folder.Path()});
    const HWND dialog = dunmo.WaitForWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_BROWSE)));  // the job runs
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(dunmo.WaitForExit(), 2);
}

TEST(MainWindowMend, WorkerThatCannotStartLeavesTheDialogIdle) {
    TempFolder folder;
    const std::wstring file = folder.File(L"abc.txt", "abc");
    MainWindow main;
    main.Type(IDC_PATH, file);
    const int threads = uitest::ThreadCount();

    // Without a free megabyte of address space no thread stack can be made.
    std::vector<void*> reserved;
    reserved.reserve(8192);
    for (SIZE_T size = SIZE_T{256} << 20; size >= (SIZE_T{1} << 20); size /= 2) {
        while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
            reserved.push_back(block);
            if (reserved.size() == reserved.capacity()) break;
        }
    }
    main.Click(IDC_SHA1);
    const bool busy = main.Busy();
    const bool acceptsDrops = main.AcceptsDrops();
    for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);

    EXPECT_FALSE(busy);
    EXPECT_TRUE(acceptsDrops);
    EXPECT_EQ(uitest::ThreadCount(), threads);
    EXPECT_TRUE(main.Enabled(IDC_PATH) && main.Enabled(IDC_MD5) && main.Enabled(IDC_BASE64));
    main.Fence();
    EXPECT_EQ(main.PaneText(), L"");

    // With room again the same request runs.
    main.Click(IDC_SHA1);
    ASSERT_TRUE(main.WaitIdle());
    EXPECT_EQ(main.PaneLines(),
              std::vector<std::wstring>{L"[SHA-1] A9993E364706816ABA3E25717850C26C9CD0D89D - " + file});
}

TEST(MainWindowMend, LinesQueuedAtCloseAreFreed) {
    MainWindow main;
    constexpr int kQueued = 20;
    freedCount = 0;
    // Held, the window cannot take the lines before the close arrives.
    main.Hold();
    for (int i = 0; i < kQueued; ++i) {
        auto line = std::make_unique<WideString>(L"queued line\r\n");
        tracked[i] = line.get();
        ASSERT_TRUE(PostMessageW(main.Window(), UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(line.get())));
        line.release();
    }
    SendMessageW(main.Window(), WM_COMMAND, IDCANCEL, 0);
    main.Release();
    EXPECT_EQ(main.WaitForEnd(10000), IDCANCEL);
    EXPECT_EQ(freedCount.load(), kQueued);
}
