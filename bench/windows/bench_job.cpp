// The hashing job itself (HashJob, as the window starts it for a typed
// folder), without a window: its posts go to a counter through the post seam
// of JobSettings. The folder is hashed with each kernel choice in turn, round
// after round, so the choices meet the same state of the machine.
//
//   bench_job FOLDER DIGEST [ROUNDS]   DIGEST: md5, sha1, sha256 or sha512
//
// DUNMO_BENCH_HASHERS, when set, fixes the job's hasher count (else the job's
// own rule decides), to compare hasher counts on one machine. DUNMO_BENCH_CHOSEN,
// when set, runs the build's own choice only.
//
// The choices: the build's own (chosen), and for SHA-1 and SHA-256 with the
// SHA extensions off the widest lanes (no-sha-ext: AVX-512's where present),
// there also the AVX2 lanes (avx2-x8), and one stream of the portable code
// (portable); for MD5 the SSE2 lanes and one stream; for SHA-512 the
// portable code. Prints "kernels ..." (what the build chose), then per choice
// "result CHOICE MEDIAN_SECONDS LINES/FILES same|DIFFERENT LANES", DIFFERENT
// when its lines are not those of the first choice, LANES the files its
// kernel hashes at once (Digest::Lanes); then "cpu CHOICE BEST_SECONDS
// CPU_SECONDS": the best run and the process time (all threads, user and
// kernel) of the run with least of it, and "threads CHOICE JOB HASHERS...":
// that run's time on the job's own thread (the reader, when there are hashers)
// and on each hasher thread. On a shared machine those are the steadier figures.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../native/PathRows.h"
#include "DriverSupport.h"
#include "job/HashJob.h"
#include "job/Messages.h"

namespace {

// The post seam's state: the post function has no context of its own.
HashJob* running = nullptr;
std::wstring* collected = nullptr;
HANDLE jobDone = nullptr;

// The threads the job ran on, as its seams saw them: the job's own first (it
// posts), then each hasher (it calls the hasher hook), for their processor times.
SRWLOCK seenLock = SRWLOCK_INIT;
std::vector<std::pair<DWORD, HANDLE>> seen;

void NoteThread() {
    const DWORD id = GetCurrentThreadId();
    AcquireSRWLockExclusive(&seenLock);
    if (std::none_of(seen.begin(), seen.end(), [id](const auto& thread) { return thread.first == id; })) {
        HANDLE handle = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle,
                            THREAD_QUERY_INFORMATION, FALSE, 0))
            seen.emplace_back(id, handle);
    }
    ReleaseSRWLockExclusive(&seenLock);
}

void NoteHasher(std::size_t) { NoteThread(); }

double Seconds(const FILETIME& time) {
    return static_cast<double>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) * 1e-7;
}

// Under Wine a thread that has ended reports no times: the threads seen are
// read while the job runs, and each keeps its last reading.
std::vector<double> threadSeconds;

void ReadThreadSeconds() {
    AcquireSRWLockExclusive(&seenLock);
    threadSeconds.resize(seen.size(), 0);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(seen[i].second, &created, &exited, &kernel, &user) && Seconds(kernel) + Seconds(user) > 0)
            threadSeconds[i] = Seconds(kernel) + Seconds(user);
    }
    ReleaseSRWLockExclusive(&seenLock);
}

// The last readings, and the threads let go.
std::vector<double> TakeThreadSeconds() {
    std::vector<double> times;
    times.swap(threadSeconds);
    for (const auto& thread : seen) CloseHandle(thread.second);
    seen.clear();
    return times;
}

BOOL WINAPI Collect(HWND, UINT message, WPARAM, LPARAM lParam) {
    NoteThread();
    if (message == UM_APPEND_TEXT) {
        const std::unique_ptr<WideString> text(reinterpret_cast<WideString*>(lParam));
        if (text) {
            collected->append(text->view());
            running->Shown(text->size());
        }
    } else if (message == UM_JOB_DONE) {
        ReadThreadSeconds();  // the job's own thread is still running
        SetEvent(jobDone);
    }
    return TRUE;
}

struct Choice {
    const char* name;
    std::function<bool()> use;  // false when this processor lacks it
};

void UseFastest() {
    Md5LanesUsePath(Md5LanesPath::Fastest);
    Sha1UsePath(Sha1Path::Fastest);
    Sha1LanesUsePath(Sha1LanesPath::Fastest);
    Sha256UsePath(Sha256Path::Fastest);
    Sha256LanesUsePath(Sha256LanesPath::Fastest);
    Sha512UsePath(Sha512Path::Fastest);
    Sha512LanesUsePath(Sha512LanesPath::Fastest);
}

std::vector<Choice> ChoicesFor(DigestAlgorithm algorithm) {
    std::vector<Choice> choices{{"chosen", [] { return true; }}};
    switch (algorithm) {
    case DigestMd5:
        choices.push_back({"sse2-x4", [] { return Md5LanesUsePath(Md5LanesPath::Sse2x4); }});
        choices.push_back({"portable", [] { return Md5LanesUsePath(Md5LanesPath::Scalar); }});
        break;
    case DigestSha1:
        choices.push_back({"no-sha-ext", [] {
                               return Sha1UsePath(Sha1Path::Portable) && (Sha1LanesUsePath(Sha1LanesPath::Avx512x16) ||
                                                                          Sha1LanesUsePath(Sha1LanesPath::Avx2x8));
                           }});
        choices.push_back({"avx2-x8", [] {
                               return Sha1LanesPathAvailable(Sha1LanesPath::Avx512x16) &&
                                      Sha1UsePath(Sha1Path::Portable) && Sha1LanesUsePath(Sha1LanesPath::Avx2x8);
                           }});
        choices.push_back({"portable", [] { return Sha1UsePath(Sha1Path::Portable) && Sha1LanesUsePath(Sha1LanesPath::Scalar); }});
        break;
    case DigestSha256:
        choices.push_back({"no-sha-ext", [] {
                               return Sha256UsePath(Sha256Path::Portable) &&
                                      (Sha256LanesUsePath(Sha256LanesPath::Avx512x16) ||
                                       Sha256LanesUsePath(Sha256LanesPath::Avx2x8));
                           }});
        choices.push_back({"avx2-x8", [] {
                               return Sha256LanesPathAvailable(Sha256LanesPath::Avx512x16) &&
                                      Sha256UsePath(Sha256Path::Portable) &&
                                      Sha256LanesUsePath(Sha256LanesPath::Avx2x8);
                           }});
        choices.push_back({"portable", [] {
                               return Sha256UsePath(Sha256Path::Portable) && Sha256LanesUsePath(Sha256LanesPath::Scalar);
                           }});
        break;
    default:
        choices.push_back({"portable", [] {
                               return Sha512UsePath(Sha512Path::Portable) && Sha512LanesUsePath(Sha512LanesPath::Scalar);
                           }});
        break;
    }
    return choices;
}

double ProcessSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

// One run of the job on the folder; the seconds from the start to its last
// post, the process time it took in `cpu` and its threads' in `threads`.
double RunJob(DigestAlgorithm algorithm, const std::wstring& folder, std::wstring& lines, double& cpu,
              std::vector<double>& threads) {
    HashJob job;
    JobSettings settings;
    settings.postMessage = &Collect;
    settings.hasherHook = &NoteHasher;
    if (const char* hashers = std::getenv("DUNMO_BENCH_HASHERS")) {
        settings.hasherCount = static_cast<std::uint32_t>(std::max(0, std::atoi(hashers)));
    }
    running = &job;
    collected = &lines;
    lines.clear();
    ResetEvent(jobDone);
    const double cpuStarted = ProcessSeconds();
    const double started = Now();
    if (!job.StartPath(algorithm, false, nullptr, WideString(std::wstring_view(folder)), settings)) {
        Fail("the job did not start");
    }
    for (int waited = 0; WaitForSingleObject(jobDone, 10) != WAIT_OBJECT_0; waited += 10) {
        if (waited > 600000) Fail("the job did not end in 10 minutes");
        ReadThreadSeconds();
    }
    const double ended = Now();
    cpu = ProcessSeconds() - cpuStarted;
    job.Finish();
    threads = TakeThreadSeconds();
    return ended - started;
}

long CountFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    long files = 0;
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring digestName = argc > 2 ? argv[2] : L"";
    const std::pair<const wchar_t*, DigestAlgorithm> digests[] = {
        {L"md5", DigestMd5}, {L"sha1", DigestSha1}, {L"sha256", DigestSha256}, {L"sha512", DigestSha512}};
    const auto digest = std::find_if(std::begin(digests), std::end(digests),
                                     [&](const auto& entry) { return digestName == entry.first; });
    if (argc < 3 || digest == std::end(digests)) {
        std::fputs("usage: bench_job FOLDER md5|sha1|sha256|sha512 [ROUNDS]\n", stderr);
        return 1;
    }
    const std::wstring folder = argv[1];
    const DigestAlgorithm algorithm = digest->second;
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    jobDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    std::printf("kernels %s, lanes %s (%zu at once)\n",
                algorithm == DigestMd5      ? "MD5"
                : algorithm == DigestSha1   ? bench::ChosenPath(bench::kSha1Paths, Sha1PathAvailable)
                : algorithm == DigestSha256 ? bench::ChosenPath(bench::kSha256Paths, Sha256PathAvailable)
                                            : bench::ChosenPath(bench::kSha512Paths, Sha512PathAvailable),
                bench::ChosenLanes(algorithm), Digest::Lanes(algorithm));
    const long files = CountFiles(folder);
    std::vector<Choice> choices = ChoicesFor(algorithm);
    if (std::getenv("DUNMO_BENCH_CHOSEN")) choices.resize(1);
    std::vector<std::vector<double>> seconds(choices.size());
    std::vector<double> leastCpu(choices.size(), 1e9);
    std::vector<std::vector<double>> threadsOfLeast(choices.size());
    std::vector<bool> same(choices.size(), true), available(choices.size(), true);
    std::vector<long> lineCounts(choices.size(), 0);
    std::vector<std::size_t> lanes(choices.size(), 1);
    std::wstring first, lines;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < choices.size(); ++i) {
            UseFastest();
            if (!(available[i] = choices[i].use())) continue;
            lanes[i] = Digest::Lanes(algorithm);
            double cpu = 0;
            std::vector<double> threads;
            seconds[i].push_back(RunJob(algorithm, folder, lines, cpu, threads));
            if (cpu < leastCpu[i]) {
                leastCpu[i] = cpu;
                threadsOfLeast[i] = threads;
            }
            lineCounts[i] = static_cast<long>(std::count(lines.begin(), lines.end(), L'\n'));
            if (round == 0 && i == 0) first = lines;
            same[i] = same[i] && lines == first;
        }
    }
    UseFastest();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (!available[i]) {
            std::printf("result %s - - not-available\n", choices[i].name);
            continue;
        }
        std::vector<double>& times = seconds[i];
        std::sort(times.begin(), times.end());
        const std::size_t n = times.size();
        const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        std::printf("result %s %.4f %ld/%ld %s %zu\n", choices[i].name, median, lineCounts[i], files,
                    same[i] ? "same" : "DIFFERENT", lanes[i]);
    }
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (available[i]) {
            std::printf("cpu %s %.4f %.4f\n", choices[i].name, seconds[i].front(), leastCpu[i]);
            std::printf("threads %s", choices[i].name);
            for (const double thread : threadsOfLeast[i]) std::printf(" %.3f", thread);
            std::printf("\n");
        }
    }
    CloseHandle(jobDone);
    return 0;
}
