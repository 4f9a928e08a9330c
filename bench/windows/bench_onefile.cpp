// One large file through the hashing job (HashJob, as a radio click starts
// it), without a window: its posts go to a counter through the post seam of
// JobSettings. Beside it, in the same process: the read floor (the file
// through ReadFile, 1 MiB at a time into one reused buffer) and the digest's
// kernel on the file's bytes already in memory (a 1 MiB buffer, over and
// over). Each is timed best of ROUNDS, in wall and in process CPU seconds
// (every thread's user and kernel time), so a shared machine still gives
// figures to compare.
//
//   bench_onefile FILE [ROUNDS] [DIGEST...]   DIGEST: md5 sha1 crc32 sha256 sha512
//
// Prints "result WHAT WALL CPU [DETAIL]": floor, then per digest its kernel
// and the job, DETAIL the job's line count and progress units.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DriverSupport.h"
#include "job/HashJob.h"
#include "job/Messages.h"

namespace {

HashJob* running = nullptr;
HANDLE jobDone = nullptr;
long lines = 0;
std::uint64_t units = 0, range = 0;

BOOL WINAPI Collect(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_APPEND_TEXT) {
        const std::unique_ptr<WideString> text(reinterpret_cast<WideString*>(lParam));
        if (text) {
            lines += static_cast<long>(std::count(text->view().begin(), text->view().end(), L'\n'));
            running->Shown(text->size());
        }
    } else if (message == UM_PROGRESS_STEP) {
        units += wParam;
    } else if (message == UM_PROGRESS_RANGE) {
        range = static_cast<std::uint64_t>(lParam);
    } else if (message == UM_JOB_DONE) {
        SetEvent(jobDone);
    }
    return TRUE;
}

double CpuSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

struct Best {
    double wall = 1e9, cpu = 1e9;
    template <typename Body>
    void Time(Body body) {
        const double cpuBefore = CpuSeconds(), before = Now();
        body();
        wall = std::min(wall, Now() - before);
        cpu = std::min(cpu, CpuSeconds() - cpuBefore);
    }
};

std::uint64_t FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) Fail("cannot size the file");
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void ReadFloor(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open the file");
    static std::vector<char> buffer(1u << 20);
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got != 0) {}
    CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: bench_onefile FILE [ROUNDS] [md5|sha1|crc32|sha256|sha512...]\n", stderr);
        return 1;
    }
    const std::wstring path = argv[1];
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
    const std::pair<const wchar_t*, DigestAlgorithm> known[] = {{L"md5", DigestMd5},
                                                                {L"sha1", DigestSha1},
                                                                {L"crc32", DigestCrc32},
                                                                {L"sha256", DigestSha256},
                                                                {L"sha512", DigestSha512}};
    std::vector<std::pair<const wchar_t*, DigestAlgorithm>> digests;
    for (int i = 3; i < argc; ++i)
        for (const auto& entry : known)
            if (std::wstring(argv[i]) == entry.first) digests.push_back(entry);
    if (digests.empty()) digests.assign(std::begin(known), std::end(known));
    const std::uint64_t bytes = FileBytes(path);
    jobDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    Best floor;
    for (int round = 0; round < rounds; ++round) floor.Time([&] { ReadFloor(path); });
    std::printf("result floor %.4f %.4f\n", floor.wall, floor.cpu);

    std::vector<std::uint8_t> buffer(1u << 20);
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    for (const auto& [name, algorithm] : digests) {
        Best kernel, job;
        for (int round = 0; round < rounds; ++round) {
            kernel.Time([&, algorithm = algorithm] {
                Digest digest(algorithm);
                for (std::uint64_t left = bytes; left != 0;) {
                    const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, buffer.size()));
                    digest.Update(buffer.data(), length);
                    left -= length;
                }
                volatile wchar_t sink = digest.Hex(true)[0];
                (void)sink;
            });
            job.Time([&, algorithm = algorithm] {
                HashJob hashJob;
                JobSettings settings;
                settings.postMessage = &Collect;
                running = &hashJob;
                lines = 0;
                units = range = 0;
                ResetEvent(jobDone);
                if (!hashJob.StartPath(algorithm, false, nullptr, WideString(std::wstring_view(path)), settings))
                    Fail("the job did not start");
                if (WaitForSingleObject(jobDone, 600000) != WAIT_OBJECT_0) Fail("the job did not end");
                hashJob.Finish();
            });
        }
        std::printf("result %ls-kernel %.4f %.4f\n", name, kernel.wall, kernel.cpu);
        std::printf("result %ls-job %.4f %.4f %ld lines %llu/%llu units\n", name, job.wall, job.cpu, lines,
                    static_cast<unsigned long long>(units), static_cast<unsigned long long>(range));
    }
    CloseHandle(jobDone);
    return 0;
}
