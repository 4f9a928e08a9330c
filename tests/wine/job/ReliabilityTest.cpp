// Hostile inputs: paths past MAX_PATH, link cycles, files that change or are
// held open for writing while they are hashed.
#include "JobTestSupport.h"

#include <functional>

#include "support/LongPath.h"

using namespace jobtest;
using HashJobHostile = JobTest;

TEST(LongPath, ExtendedOrdinaryAndExactForms) {
    const std::pair<const wchar_t*, const wchar_t*> forms[] = {
        {L"C:\\a\\b", L"\\\\?\\C:\\a\\b"},
        {L"C:\\a\\b\\", L"\\\\?\\C:\\a\\b\\"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
    };
    for (const auto& [ordinary, extended] : forms) {
        EXPECT_EQ(ExtendedForm(ordinary), extended);
        EXPECT_EQ(ExtendedPath(ordinary), extended);
        EXPECT_EQ(ExactPath(ordinary), extended);
        EXPECT_EQ(OrdinaryForm(extended), ordinary);
    }
    for (const wchar_t* kept : {L"\\\\?\\C:\\a\\..\\b", L"\\\\?\\UNC\\s\\x", L"\\\\.\\pipe\\p"}) {
        EXPECT_EQ(ExtendedPath(kept), kept);
        EXPECT_EQ(ExtendedForm(kept), kept);
        EXPECT_EQ(ExactPath(kept), kept);
    }
    // The extended form is taken verbatim, so it is built from the full path:
    // the platform's, which strips trailing dots and spaces, or the exact one.
    EXPECT_EQ(ExtendedPath(L"C:\\a\\.\\b\\..\\c/d."), L"\\\\?\\C:\\a\\c\\d");
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring base = current;
    if (base.back() != L'\\') base += L'\\';
    const std::pair<std::wstring, std::wstring> exact[] = {
        {L"C:\\a\\.\\b.\\..\\c /d.//", L"C:\\a\\c \\d.\\"},
        {L"//s/share/../x.", L"\\\\s\\share\\x."},
        {L"rel/x.", base + L"rel\\x."},
        {base.substr(0, 2) + L"y ", base + L"y "},  // the current drive's current folder
        {L"\\r.", base.substr(0, 3) + L"r."},
        {base.substr(0, 3) + L"..\\..\\z", base.substr(0, 3) + L"z"},  // never above the root
    };
    for (const auto& [path, full] : exact) EXPECT_EQ(ExactPath(path), ExtendedForm(full)) << path;
}

TEST_F(HashJobHostile, FilesUnderFoldersPastMaxPathAreAllHashed) {
    // Folders of 120-character names, files at every depth: paths of up to
    // about 800 characters.
    std::wstring folder = temp.Path();
    std::vector<std::pair<std::wstring, std::string>> files;
    for (int depth = 0; depth < 6; ++depth) {
        folder += L"\\" + std::wstring(116, L'a' + depth) + L"-" + std::to_wstring(depth);
        ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr)) << folder.size();
        const std::wstring file = folder + L"\\f" + std::to_wstring(depth);
        TempFolder::WriteFileBytes(ExtendedPath(file), std::to_string(depth));
        files.emplace_back(file, std::to_string(depth));
    }
    ASSERT_GT(files.back().first.size(), 700u);
    EXPECT_EQ(RunPath(DigestMd5, temp.Path(), true), SeveralFiles(DigestMd5, files));
    const auto& [deepest, bytes] = files.back();
    EXPECT_EQ(RunPath(DigestCrc32, ExtendedPath(deepest)), OneFile(1, ExpectedLine(DigestCrc32, bytes, deepest)));
}

TEST_F(HashJobHostile, LinksAreFollowedButEachFolderIsWalkedOnce) {
    // L: is made by the test fixture: top\sub holds two links back to top,
    // top\sibling links to sub, top\outside to a folder beside top.
    const std::wstring top = L"L:\\top";
    std::vector<std::pair<std::wstring, std::string>> expected{{top + L"\\a.txt", "a"}};
    bool subWalked = false;
    for (const std::wstring& name : ListFolder(top).folders) {
        if (name == L"outside")
            expected.emplace_back(top + L"\\outside\\d.txt", "d");
        else if (!std::exchange(subWalked, true))  // sub or sibling, whichever is listed first
            expected.emplace_back(top + L"\\" + name + L"\\b.txt", "b");
    }
    ASSERT_EQ(expected.size(), 3u) << "the linked tree is missing";
    EXPECT_EQ(RunPath(DigestCrc32, top, true), SeveralFiles(DigestCrc32, expected));
    // A folder named in a request is listed even when a link led there before.
    EXPECT_EQ(RunList(DigestCrc32, Paths({top + L"\\sub\\up1\\outside", L"L:\\data"})),
              SeveralFiles(DigestCrc32, {{top + L"\\sub\\up1\\outside\\d.txt", "d"}, {L"L:\\data\\d.txt", "d"}}));
}

namespace {
// What the read seam does to the file before a read starts at `changeAt`.
std::function<void()> change;
std::int64_t changeAt = 0;

BOOL WINAPI ChangeAtOffset(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    LARGE_INTEGER at{};
    ::SetFilePointerEx(file, at, &at, FILE_CURRENT);
    if (at.QuadPart == changeAt && change) std::exchange(change, nullptr)();
    return ::ReadFile(file, buffer, size, read, overlapped);
}
void Resize(const std::wstring& path, std::int64_t size) {
    HANDLE other = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = size;
    EXPECT_TRUE(::SetFilePointerEx(other, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(other));
    ::CloseHandle(other);
}
}  // namespace

TEST_F(HashJobHostile, FileChangedBetweenTwoChunksIsReadAsItWasAtOpen) {
    const std::uint32_t chunk = settings.chunkSize;
    const std::string bytes = Pattern(4 * chunk, 9);
    const std::wstring path = temp.File(L"changing.bin", bytes);
    settings.chunksPerRead = 1;
    // The smallest ring: the reader also waits for a piece to be hashed.
    settings.readAheadPieces = 2;
    settings.readFile = &ChangeAtOffset;
    const auto changeAtSecondRead = [&](std::function<void()> what) {
        TempFolder::WriteFileBytes(path, bytes);
        change = std::move(what);
        changeAt = chunk;
    };
    // Read ahead on a second thread or not, the reads stay in file order.
    for (std::uint64_t readAhead : {~0ull, 0ull}) {
        SCOPED_TRACE(readAhead ? "reading in turn" : "reading ahead");
        settings.readAheadBytes = readAhead;
        // Truncated, at the second read or at the fourth, once the ring has
        // wrapped: the file was not read whole, and what was read is hashed.
        for (std::uint32_t at : {1u, 3u}) {
            changeAtSecondRead([&] { Resize(path, at * chunk + chunk / 2); });
            changeAt = at * chunk;
            EXPECT_EQ(RunPath(DigestMd5, path), (Log{Range(4), Steps(at), ZeroLine(DigestMd5, path), L"done"})) << at;
        }
        const std::wstring other = temp.File(L"other.bin", "other");
        changeAtSecondRead([&] { Resize(path, 0); });
        EXPECT_EQ(RunList(DigestMd5, Paths({path, other})),
                  (Log{Range(2), ZeroLine(DigestMd5, path), Steps(1), ExpectedLine(DigestMd5, "other", other), Steps(1),
                       L"done"}));
        // Grown: the digest of the bytes it had at open.
        changeAtSecondRead([&] { Resize(path, 6 * chunk); });
        EXPECT_EQ(RunPath(DigestSha1, path), OneFile(4, ExpectedLine(DigestSha1, bytes, path)));
        // Deleted while open: whatever reading gives, and the job ends normally.
        changeAtSecondRead([&] { EXPECT_TRUE(::DeleteFileW(path.c_str())); });
        const Log deleted = RunPath(DigestCrc32, path);
        ASSERT_EQ(deleted.size(), 4u);
        EXPECT_EQ(deleted.front(), Range(4));
        EXPECT_TRUE(deleted[2] == ExpectedLine(DigestCrc32, bytes, path) || deleted[2] == ZeroLine(DigestCrc32, path))
            << deleted[2];
        EXPECT_EQ(deleted.back(), L"done");
    }
    // Between two runs among two hashers.
    std::string big(40 << 20, '\0'), otherBytes("other");
    big.replace(0, bytes.size(), bytes);
    otherBytes.resize(8 << 20);
    const std::wstring other = temp.File(L"other.bin", "other", otherBytes.size());
    settings.hasherCount = 2;
    changeAt = 16 << 20;
    for (const auto& [size, line] : {std::pair{20 << 20, ZeroLine(DigestMd5, path)},
                                    std::pair{60 << 20, ExpectedLine(DigestMd5, big, path)}}) {
        TempFolder::WriteFileBytes(path, bytes, big.size());
        change = [&, size = size] { Resize(path, size); };
        EXPECT_EQ(RunList(DigestMd5, Paths({path, other})),
                  (Log{Range(2), line, Steps(1), ExpectedLine(DigestMd5, otherBytes, other), Steps(1), L"done"}));
        EXPECT_FALSE(change) << "the file was not read past its first run";
    }
}

TEST_F(HashJobHostile, FileHeldOpenForWritingByAnotherProgramIsHashed) {
    const std::wstring log = temp.File(L"app.log", "line one\n");
    HANDLE writer = ::CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    expectClosed = false;
    EXPECT_EQ(RunPath(DigestSha1, log), OneFile(1, ExpectedLine(DigestSha1, "line one\n", log)));
    ::CloseHandle(writer);
}
