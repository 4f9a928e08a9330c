// Files too big to hash in a blink: over 4 GiB, and cancelled half-way.
// They are sparse, so they cost no disk.
#include "JobTestSupport.h"

using namespace jobtest;
using HashJobLargeFile = JobTest;

namespace {
// A file of `size` zero bytes (sparse under Wine) with `pieces` written at their offsets.
void MakeSparseFile(const std::wstring& path, std::uint64_t size,
                    const std::vector<std::pair<std::uint64_t, std::string>>& pieces) {
    TempFolder::WriteFileBytes(path, "", static_cast<long long>(size));
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (const auto& [at, bytes] : pieces) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &where));
    }
    ::CloseHandle(file);
}
}  // namespace

TEST_F(HashJobLargeFile, DigestsOfAFileOver4GiB) {
    // 4 GiB + 65,536 + 1,234 bytes of zeros except "Dunmo" at 0, "middle" at
    // 1,000,000, "edge!" across the 4 GiB boundary (at 4,294,967,293), "high" at
    // 4 GiB + 40,000 and "end" in the last three bytes. The host built the same
    // file with truncate and dd and gave, with md5sum, sha1sum and zlib's crc32:
    //   MD5    DDB6C6C266280EAA4CAB4B8965FE8D48
    //   SHA-1  BED26D6EB084B1E80AE5E030CCC5DED090BF029B
    //   CRC-32 11DDF2B8
    constexpr std::uint64_t FourGiB = 0x100000000ull;
    constexpr std::uint64_t OverFourGiB = FourGiB + 65536 + 1234;
    const std::wstring file = temp / L"over-4-GiB.bin";
    MakeSparseFile(file, OverFourGiB,
                   {{0, "Dunmo"}, {1000000, "middle"}, {FourGiB - 3, "edge!"}, {FourGiB + 40000, "high"},
                    {OverFourGiB - 3, "end"}});
    const std::uint64_t chunks = (OverFourGiB + settings.chunkSize - 1) / settings.chunkSize;
    const std::pair<DigestAlgorithm, const wchar_t*> expected[] = {
        {DigestMd5, L"[MD5] DDB6C6C266280EAA4CAB4B8965FE8D48"},
        {DigestSha1, L"[SHA-1] BED26D6EB084B1E80AE5E030CCC5DED090BF029B"},
        {DigestCrc32, L"[CRC32] 11DDF2B8"},
    };
    for (const auto& [algorithm, digest] : expected)
        EXPECT_EQ(RunPath(algorithm, file), OneFile(chunks, Line(digest, file)));
}

TEST_F(HashJobLargeFile, DestroyingARunningJobStopsItBeforeTheNextChunkAndWaits) {
    const std::wstring file = temp / L"one-GiB.bin";
    MakeSparseFile(file, 1ull << 30, {{12345, "x"}});
    const std::uint64_t chunks = (1ull << 30) / settings.chunkSize;
    {
        HashJob running;
        ASSERT_TRUE(running.StartPath(DigestSha1, false, sink.window, WideString(std::wstring_view(file)), settings));
        ASSERT_TRUE(sink.WaitFor(2));  // the range and the first step
    }  // the destructor must not free what the worker still uses
    sink.Drain();
    const Log& log = sink.log;
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], Range(chunks));
    const std::uint64_t steps = std::stoull(log[1].substr(6));
    EXPECT_GE(steps, 1u);
    EXPECT_LT(steps, chunks);
    EXPECT_EQ(log[2], ZeroLine(DigestSha1, file));
    EXPECT_EQ(log[3], L"done");
}
