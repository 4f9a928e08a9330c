// DigestFile throughput on one cached file, for each digest, with views of one
// chunk and of several chunks. Runs the job's real driver in one-file mode:
// every chunk posts its progress step to a window, as it does for the user.
//
//   bench_digest_file.exe FILE [PASSES]
//
// Prints one "row" line per digest and view size (read by bench/digest_file.sh):
//   row DIGEST VIEW_KIB MB_PER_S SECONDS DIGEST_HEX STEPS_POSTED
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "job/HashJob.h"
#include "job/Messages.h"

namespace {

struct Drained {
    std::wstring line;
    long steps = 0;
};

// Empties the window's queue: the steps the driver posted and its line.
Drained Drain(HWND window) {
    Drained drained;
    MSG message;
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        if (message.message == UM_PROGRESS_STEP) {
            ++drained.steps;
        } else if (message.message == UM_APPEND_TEXT) {
            std::unique_ptr<WideString> line(reinterpret_cast<WideString*>(message.lParam));
            if (line) drained.line = std::wstring(line->view());
        }
    }
    return drained;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: bench_digest_file FILE [PASSES]\n");
        return 2;
    }
    const WideString path(argv[1]);
    const int passes = argc > 2 ? std::max(1, _wtoi(argv[2])) : 2;
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        std::printf("cannot read %ls\n", path.c_str());
        return 1;
    }
    const double bytes = static_cast<double>((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);

    HashJob job;
    job.targetWindow = window;
    const std::uint32_t defaultPerView = job.chunksPerView;
    std::printf("file %.0f MiB, chunk %u KiB, default view %u chunks, best of %d passes\n", bytes / 1048576,
                job.chunkSize >> 10, defaultPerView, passes);

    const struct {
        DigestAlgorithm algorithm;
        const char* name;
    } digests[] = {{DigestMd5, "MD5"}, {DigestSha1, "SHA-1"}, {DigestCrc32, "CRC32"}};
    const std::uint32_t viewBytes[] = {job.chunkSize, 1u << 20, 4u << 20, 16u << 20};

    for (const auto& digest : digests) {
        job.algorithm = digest.algorithm;
        // The last run repeats the default view without the per-chunk steps,
        // to show what posting them costs.
        for (int run = 0; run < 5; ++run) {
            const std::uint32_t view = run < 4 ? viewBytes[run] : defaultPerView * job.chunkSize;
            job.chunksPerView = std::max<std::uint32_t>(1, view / job.chunkSize);
            job.multipleFiles = run < 4 ? 0 : 1;
            double best = 1e30;
            Drained drained;
            for (int pass = 0; pass < passes; ++pass) {
                const auto start = std::chrono::steady_clock::now();
                job.InitDigest();
                const bool ok = job.DigestFile(path);
                job.PostResultLine(ok, path);
                const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
                best = std::min(best, elapsed.count());
                drained = Drain(window);
            }
            // The line begins "[NAME] HEX - ".
            const std::size_t from = drained.line.find(L"] ") + 2;
            const std::wstring hex = drained.line.substr(from, drained.line.find(L" - ") - from);
            std::printf("row %s %u %.0f %.3f %ls %ld\n", digest.name, view >> 10, bytes / 1e6 / best, best,
                        hex.c_str(), drained.steps);
            std::fflush(stdout);
        }
    }
    DestroyWindow(window);
    return 0;
}
