// What the hashing job posts for files, folders and lists, on real files.
#include "JobTestSupport.h"

#include <tuple>

#include "algorithms/Sha1.h"

using namespace jobtest;
using HashJobRuns = JobTest;

namespace {
// Holds a hasher before it hashes a file, until the test lets it go on.
const HANDLE hasherHeld = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
const HANDLE hasherReleased = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
void HoldHasher(std::size_t) { ::SignalObjectAndWait(hasherHeld, hasherReleased, 10000, FALSE); }

// Holds the first file's hasher until three other files reach theirs.
std::atomic<int> othersStarted{0};
std::atomic<bool> firstHeld{false};
void HoldFirstFile(std::size_t index) {
    if (index != 0) ++othersStarted;
    else firstHeld = WaitUntil([] { return othersStarted >= 3; }, 10000);
}

// A file of this size was truncated after its open to 5 MiB: reads past there find its end.
constexpr std::int64_t kTruncatedSize = (12 << 20) + 3;
BOOL WINAPI TruncatedAfterOpen(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    LARGE_INTEGER at{}, length{};
    ::SetFilePointerEx(file, at, &at, FILE_CURRENT);
    if (::GetFileSizeEx(file, &length) && length.QuadPart == kTruncatedSize && at.QuadPart >= (5 << 20)) {
        *read = 0;
        return TRUE;
    }
    return ::ReadFile(file, buffer, size, read, overlapped);
}

// No seam makes thread creation fail, so the worker's own start slot does.
class JobThatCannotStart : public HashJob {
    bool Start(bool) override { return false; }
};
}  // namespace

TEST_F(HashJobRuns, OneFileGivesItsChunkCountAStepPerChunkItsLineAndDone) {
    const std::wstring abc = temp.File(L"abc.txt", "abc");
    const std::wstring empty = temp.File(L"empty.txt", "");
    const std::tuple<DigestAlgorithm, const wchar_t*, const wchar_t*> known[] = {
        {DigestMd5, L"[MD5] 900150983CD24FB0D6963F7D28E17F72", L"[MD5] D41D8CD98F00B204E9800998ECF8427E"},
        {DigestSha1, L"[SHA-1] A9993E364706816ABA3E25717850C26C9CD0D89D",
         L"[SHA-1] DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {DigestCrc32, L"[CRC32] 352441C2", L"[CRC32] 00000000"},
        {DigestSha256, L"[SHA-256] BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD",
         L"[SHA-256] E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
    };
    for (const auto& [algorithm, abcDigest, emptyDigest] : known) {
        EXPECT_EQ(RunPath(algorithm, abc), OneFile(1, Line(abcDigest, abc)));
        EXPECT_EQ(RunList(algorithm, Paths({abc})), OneFile(1, Line(abcDigest, abc)));
        EXPECT_EQ(RunPath(algorithm, empty), OneFile(0, Line(emptyDigest, empty)));
        // Among several files, and after a file that left the context in use.
        EXPECT_EQ(RunList(algorithm, Paths({abc, empty})),
                  SeveralFiles(algorithm, {{abc, "abc"}, {empty, ""}}));
    }

    const std::uint32_t chunk = settings.chunkSize;
    for (std::uint32_t extra : {0u, 1u}) {  // an exact multiple of the chunk size, and one byte more
        const std::string bytes = Pattern(3 * chunk + extra, 2);
        const std::wstring file = temp.File(L"boundary.bin", bytes);
        for (DigestAlgorithm algorithm : AllAlgorithms)
            EXPECT_EQ(RunPath(algorithm, file), OneFile(3 + extra, ExpectedLine(algorithm, bytes, file)));
    }
    // However many chunks one read takes, read ahead on a second thread or
    // not, and however many pieces the reader may be ahead (the ring wraps),
    // each chunk is still one unit.
    const std::string odd = Pattern(5 * chunk + 7, 3);
    const std::wstring oddFile = temp.File(L"odd.bin", odd);
    for (std::uint32_t ahead : {0u, 2u, 3u, 8u})
        for (std::uint32_t perRead : {1u, 2u, 3u, 5u, 6u, 1000u}) {
            settings.chunksPerRead = perRead;
            settings.readAheadBytes = ahead == 0 ? ~0ull : 0;
            settings.readAheadPieces = ahead;
            EXPECT_EQ(RunPath(DigestMd5, oddFile), OneFile(6, ExpectedLine(DigestMd5, odd, oddFile)))
                << perRead << " chunks per read, " << ahead << " pieces read ahead";
        }
    EXPECT_FALSE(job.IsActive());
}

TEST_F(HashJobRuns, FolderWithOneFileIsHashedAsThatFileWhileTheJobStaysActiveAndNothingToHashPostsDoneAlone) {
    const std::wstring single = temp.Folder(L"single");
    temp.Folder(L"single\\ignored");
    temp.File(L"single\\ignored\\inner.txt", "not without subfolders");
    // Its line shows the path the walk built, characters outside ASCII unchanged.
    const std::string bytes = Pattern(2 * settings.chunkSize, 5);
    const std::wstring only = temp.File(L"single\\\u00DCn\u00EFc\u00F8d\u00E9-\u6587\u4EF6-\u0444\u0430.bin", bytes);
    const Log one = OneFile(2, ExpectedLine(DigestMd5, bytes, only));
    EXPECT_EQ(RunPath(DigestMd5, only), one);
    EXPECT_EQ(RunPath(DigestMd5, single + L"\\\\"), one);

    const std::wstring empty = temp.Folder(L"empty");
    const std::wstring onlyFolders = temp.Folder(L"only-folders");
    temp.Folder(L"only-folders\\a");
    temp.File(L"only-folders\\a\\deep.txt", "x");
    const std::wstring missing = temp / L"missing";
    for (const std::wstring& path : {empty, onlyFolders, missing}) EXPECT_EQ(RunPath(DigestMd5, path), Log{L"done"});
    EXPECT_EQ(RunList(DigestMd5, Paths({missing, empty, onlyFolders})), Log{L"done"});
    EXPECT_EQ(RunList(DigestMd5, Paths({})), Log{L"done"});

    // Held where the folder's one file becomes what the worker hashes, the job
    // is active to the thread that started it, which asks as the dialog does.
    settings.hasherHook = &HoldHasher;
    whileStarted = [&] {
        EXPECT_TRUE(::WaitForSingleObject(hasherHeld, 10000) == WAIT_OBJECT_0 && job.IsActive());
        ::SetEvent(hasherReleased);
    };
    EXPECT_EQ(RunPath(DigestMd5, single), one);
    EXPECT_EQ(RunList(DigestMd5, Paths({single})), one);
}

TEST_F(HashJobRuns, WalkIsBreadthFirstInTheListingOrderAndHashesEachNameAsListed) {
    // Beside plain names, names that the platform's normalisation would merge
    // with them or turn into devices. Each file holds its path below Top.
    const std::wstring top = temp.Folder(L"Top");
    for (const std::wstring name : {L"a1", L"Sub1\\b1", L"a2", L"Sub2\\c1", L"Sub1\\Deep\\d1", L"a1.", L"a2 ", L"AUX",
                                    L"com1", L"nul.txt", L"Sub1.\\b1"})
        temp.File(L"Top\\" + name, std::string(name.begin(), name.end()));

    // Level by level, each folder in the order the platform lists it.
    const auto list = [](const std::wstring& folder) { return ListFolder(TempFolder::Exact(folder)); };
    std::vector<std::wstring> expected;
    const Listing topListing = list(top);
    for (const std::wstring& name : topListing.files) expected.push_back(top + L"\\" + name);
    for (const std::wstring& sub : topListing.folders)
        for (const std::wstring& name : list(top + L"\\" + sub).files)
            expected.push_back(top + L"\\" + sub + L"\\" + name);
    for (const std::wstring& sub : topListing.folders)
        for (const std::wstring& deep : list(top + L"\\" + sub).folders)
            for (const std::wstring& name : list(top + L"\\" + sub + L"\\" + deep).files)
                expected.push_back(top + L"\\" + sub + L"\\" + deep + L"\\" + name);
    ASSERT_EQ(expected.size(), 11u);
    EXPECT_EQ(expected.back(), top + L"\\Sub1\\Deep\\d1");

    EXPECT_EQ(Walk(top, false), (std::vector<std::wstring>(expected.begin(), expected.begin() + 7)));
    // With the request's subfolder flag.
    std::vector<std::pair<std::wstring, std::string>> files;
    for (const std::wstring& path : expected) files.emplace_back(path, std::string(path.begin() + top.size() + 1, path.end()));
    EXPECT_EQ(RunPath(DigestCrc32, top, true), SeveralFiles(DigestCrc32, files));
}

TEST_F(HashJobRuns, WalkGivesAbsolutePathsWhateverTheFolderForm) {
    const std::wstring folder = temp.Folder(L"w");
    temp.File(L"w\\x.txt", "x");
    temp.File(L"w\\y.txt", "y");
    const std::vector<std::wstring> reference = Walk(folder);
    ASSERT_EQ(reference.size(), 2u);
    for (const std::wstring& path : reference) EXPECT_EQ(path.rfind(folder + L"\\", 0), 0u) << path;
    for (const wchar_t* tail : {L"\\", L"\\\\\\"}) EXPECT_EQ(Walk(folder + tail), reference);

    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(temp.Path().c_str()));
    for (const wchar_t* relative : {L"w", L".\\w\\"}) EXPECT_EQ(Walk(relative), reference) << relative;
    ::SetCurrentDirectoryW(saved);

    // A drive root: T: is mapped to an empty folder of the build by the test
    // fixture. Its files come out as drive letter, colon, backslash, name.
    for (const std::wstring& name : ListFolder(L"T:").files) ::DeleteFileW((L"T:\\" + name).c_str());
    TempFolder::WriteFileBytes(L"T:\\one.txt", "1");
    TempFolder::WriteFileBytes(L"T:\\two.txt", "2");
    ::CreateDirectoryW(L"T:\\sub", nullptr);
    std::vector<std::wstring> expected;
    for (const std::wstring& name : ListFolder(L"T:").files) expected.push_back(L"T:\\" + name);
    EXPECT_EQ(expected.size(), 2u);
    for (const wchar_t* root : {L"T:\\", L"T:"}) EXPECT_EQ(Walk(root), expected) << root;
    TempFolder::RemoveTree(L"T:");
}

TEST_F(HashJobRuns, ListHashesLooseFilesFirstThenEachFolderEachByItsExactName) {
    // Dropped names are exact: normalised, "f1.txt." would name f1.txt, "A." A, "AUX" a device.
    const std::wstring f1 = temp.File(L"f1.txt", "one"), f1dot = temp.File(L"f1.txt.", "one.");
    const std::wstring f2 = temp.File(L"f2.txt", "two"), f2space = temp.File(L"f2.txt ", "two "), aux = temp.File(L"AUX", "aux");
    const std::wstring a = temp.Folder(L"A"), aDot = temp.Folder(L"A.");
    temp.File(L"A\\a1.txt", "a1");
    temp.File(L"A.\\a.txt", "a.");
    const std::wstring b = temp.Folder(L"B");
    temp.File(L"B\\b1.txt", "b1");
    temp.File(L"B\\b2.txt", "b2");

    std::vector<std::pair<std::wstring, std::string>> expected{{f1, "one"},  {f1dot, "one."},  {f2, "two"},
                                                               {aux, "aux"}, {f2space, "two "}, {f1, "one"}};
    for (const std::wstring& folder : {a, aDot, b})
        for (const std::wstring& name : ListFolder(TempFolder::Exact(folder)).files)
            expected.emplace_back(folder + L"\\" + name, std::string(name.begin(), name.begin() + 2));
    EXPECT_EQ(RunList(DigestSha1, Paths({a, f1, f1dot, aDot, b, f2, aux, f2space, f1})), SeveralFiles(DigestSha1, expected));
}

TEST_F(HashJobRuns, UnreadableFileAloneGetsNoLineAmongOthersTheZeroLine) {
    const std::wstring folder = temp.Folder(L"three");
    temp.File(L"three\\first.txt", "first");
    const std::wstring locked = temp.File(L"three\\locked.txt", "locked");
    temp.File(L"three\\last.txt", "last");
    HANDLE hold = ::CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    expectClosed = false;
    EXPECT_EQ(RunPath(DigestMd5, locked), Log{L"done"});
    for (DigestAlgorithm algorithm : AllAlgorithms) {
        Log expected{Range(3)};
        for (const std::wstring& name : ListFolder(folder).files) {
            const std::wstring path = folder + L"\\" + name;
            expected.push_back(path == locked ? ZeroLine(algorithm, path)
                                              : ExpectedLine(algorithm, std::string(name.begin(), name.end() - 4), path));
            expected.push_back(Steps(1));
        }
        expected.push_back(L"done");
        EXPECT_EQ(RunPath(algorithm, folder), expected);
    }
    ::CloseHandle(hold);

    // A file that opens but has no size (a pipe) fails to open for hashing
    // too, which gives it the lines above. One server instance per open:
    // this check's and OpenForHashing's.
    const std::wstring name = L"\\\\.\\pipe\\dunmo-size-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE servers[2];
    for (HANDLE& server : servers) {
        server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, 0, PIPE_UNLIMITED_INSTANCES, 64, 64, 0, nullptr);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
    }
    HANDLE client = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    const BOOL sized = ::GetFileSizeEx(client, &size);
    ::CloseHandle(client);
    ASSERT_FALSE(sized) << "this pipe has a size here; the case cannot be shown";
    // Reached directly: the walk takes a path without attributes for a folder.
    std::uint64_t length = 0;
    EXPECT_FALSE(OpenForHashing(WideString(name), length));
    for (HANDLE server : servers) ::CloseHandle(server);
}

TEST_F(HashJobRuns, StartReportsThatTheWorkerCouldNotStart) {
    JobThatCannotStart failing;
    const WideString file(std::wstring_view(temp.File(L"abc.txt", "abc")));
    EXPECT_FALSE(failing.StartPath(DigestMd5, false, sink.window, file, settings));
    EXPECT_FALSE(failing.StartList(DigestMd5, false, sink.window, {file}, settings));
    EXPECT_FALSE(failing.StartCheck(sink.window, file, settings));
    EXPECT_FALSE(failing.IsActive());
    sink.Drain();
    EXPECT_TRUE(sink.log.empty());
}

TEST_F(HashJobRuns, SeveralFilesGiveTheSameLinesInWalkOrderForAnyHasherCountWithOrWithoutLanes) {
    // Files of several runs each, read in turns, among small, empty, unreadable and truncated ones.
    const std::string head = Pattern(3 * settings.chunkSize + 5, 8);
    std::string big(40 << 20, '\0'), longer(24 << 20, '\0');
    big.replace(0, head.size(), head);
    longer.replace(longer.size() - head.size(), head.size(), head);
    const std::vector<std::pair<std::wstring, std::string>> files{
        {temp.File(L"a.txt", "a"), "a"}, {temp.File(L"big.bin", head, big.size()), big}, {temp.File(L"empty", ""), ""},
        {temp.File(L"locked.txt", "x"), "x"}, {temp.File(L"longer.bin", longer), longer}, {temp.File(L"b.txt", "b"), "b"},
        {temp.File(L"cut.bin", head, kTruncatedSize), ""}};
    HANDLE hold = ::CreateFileW(files[3].first.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    expectClosed = false;
    PathList paths;
    for (const auto& file : files) paths.emplace_back(std::wstring_view(file.first));
    Log expected = SeveralFiles(DigestSha1, files);
    expected[7] = ZeroLine(DigestSha1, files[3].first);
    expected[13] = ZeroLine(DigestSha1, files[6].first);
    settings.readFile = &TruncatedAfterOpen;
    // Lanes off (one stream), and each lanes path this processor runs.
    for (Sha1LanesPath path : {Sha1LanesPath::Scalar, Sha1LanesPath::ShaExtensionsX2, Sha1LanesPath::Avx2x8}) {
        if (!Sha1LanesUsePath(path)) continue;
        for (std::uint32_t hashers : {1u, 2u, 7u}) {
            settings.hasherCount = hashers;
            // With a hasher each (without lanes, which fill one hasher first),
            // the first file is hashed last.
            const bool hold = hashers == 7 && Digest::Lanes(DigestSha1) == 1;
            othersStarted = 0;
            firstHeld = false;
            settings.hasherHook = hold ? &HoldFirstFile : nullptr;
            EXPECT_EQ(RunList(DigestSha1, paths), expected) << hashers << " hashers, lanes " << Digest::Lanes(DigestSha1);
            EXPECT_TRUE(firstHeld || !hold);
        }
    }
    Sha1LanesUsePath(Sha1LanesPath::Fastest);
    ::CloseHandle(hold);
}
