// Cancellation checkpoints, and posting into a queue that refuses messages.
#include "JobTestSupport.h"

#include <algorithm>

#include "job/WorkerThread.h"

using namespace jobtest;
using HashJobCancel = JobTest;
using HashJobPosting = JobTest;

namespace {

// The seam's state: plain globals, since the post function has no context.
HashJob* cancelJob = nullptr;
std::atomic<long> readsBeforeCancel{0};
Sink* quotaSink = nullptr;
std::atomic<long> quotaPosted{0};
std::atomic<long> refused{0};

// Reads, and asks for a cancel during the given read.
BOOL WINAPI CancelDuringRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    if (--readsBeforeCancel == 0) cancelJob->Cancel();
    return ::ReadFile(file, buffer, size, read, overlapped);
}
// Refuses posts while two messages are waiting, like a full queue.
BOOL WINAPI PostWithinQuota(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (quotaPosted - quotaSink->received >= 2 || !::PostMessageW(window, message, wParam, lParam)) {
        ++refused;
        return FALSE;
    }
    ++quotaPosted;
    return TRUE;
}
// Asks for a cancel as the range goes out, that is once a walk is over.
BOOL WINAPI CancelAtRange(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_PROGRESS_RANGE) cancelJob->Cancel();
    return ::PostMessageW(window, message, wParam, lParam);
}
BOOL WINAPI RefuseAll(HWND, UINT, WPARAM, LPARAM) {
    ++refused;
    return FALSE;
}

// Walks a folder on a thread of its own, so the test can stop it where it stands.
class WalkThread : public WorkerThread {
public:
    explicit WalkThread(const std::wstring& path) : folder(path) {}
    void Run() override {
        walk.WalkFolder(folder, files);
        ended = true;
    }
    HANDLE Thread() const { return thread.get(); }

    std::atomic<std::int32_t> cancel{0};
    DirectoryWalk walk{false, cancel};
    const WideString folder;
    PathList files;
    std::atomic<bool> ended{false};
};

}  // namespace

TEST_F(HashJobCancel, CancelStopsBeforeTheNextFullChunkOrTheNextFile) {
    const auto cancelAt = [&](long read, std::uint32_t chunksPerRead) {
        cancelJob = &job;
        readsBeforeCancel = read;
        settings.chunksPerRead = chunksPerRead;
        settings.readFile = &CancelDuringRead;
    };
    const std::string bytes = Pattern(10 * settings.chunkSize + 3, 6);
    const std::wstring path = temp.File(L"long.bin", bytes);
    // The chunks already read are not hashed: the zero line.
    for (std::uint32_t perRead : {1u, 2u, 4u}) {
        cancelAt(3, perRead);
        EXPECT_EQ(RunPath(DigestMd5, path), (Log{Range(11), Steps(2 * perRead), ZeroLine(DigestMd5, path), L"done"}))
            << perRead << " chunks per read";
    }
    // A cancel during the read of the partial last chunk does not stop it,
    // and a file below one chunk is never stopped.
    cancelAt(11, 1);
    EXPECT_EQ(RunPath(DigestCrc32, path), OneFile(11, ExpectedLine(DigestCrc32, bytes, path)));
    const std::wstring small = temp.File(L"small.bin", "small");
    cancelAt(1, 16);
    EXPECT_EQ(RunPath(DigestSha1, small), OneFile(1, ExpectedLine(DigestSha1, "small", small)));

    // Between files: the next file is not started.
    const std::wstring folder = temp.Folder(L"three");
    for (const wchar_t* name : {L"a", L"b", L"c"}) temp.File(std::wstring(L"three\\") + name, "data");
    const std::wstring first = folder + L"\\" + ListFolder(folder).files.front();
    cancelAt(1, 16);
    EXPECT_EQ(RunList(DigestMd5, Paths({folder})),
              (Log{Range(3), ExpectedLine(DigestMd5, "data", first), Steps(1), L"done"}));
    // Once the walk is over: the range, and not one file.
    settings.postMessage = &CancelAtRange;
    for (std::uint32_t hashers : {1u, 2u}) {
        settings.hasherCount = hashers;
        EXPECT_EQ(RunList(DigestMd5, Paths({folder})), (Log{Range(3), L"done"})) << hashers << " hashers";
    }
}

TEST_F(HashJobCancel, CancelDuringAWalkEndsItBeforeTheNextEntry) {
    const std::wstring folder = temp.Folder(L"many");
    const std::size_t total = 4000;
    for (std::size_t i = 0; i < total; ++i) temp.File(L"many\\" + std::to_wstring(i), "");

    WalkThread walker(folder);
    ASSERT_TRUE(walker.Start(false));
    // Catch the walk in the middle of its listing: suspended (GetThreadContext
    // makes the suspension complete), with some but not all files found. While
    // it is suspended this thread only reads: the walk may hold the heap's lock.
    std::size_t seen = 0;
    for (int attempt = 0; attempt < 1000000 && seen == 0 && !walker.ended; ++attempt) {
        if (::SuspendThread(walker.Thread()) == DWORD(-1)) break;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(walker.Thread(), &context);
        const std::size_t found = walker.files.size();
        if (found > 0 && found < total) {
            seen = found;
            walker.cancel = 1;
        }
        ::ResumeThread(walker.Thread());
    }
    walker.Stop();
    ASSERT_GT(seen, 0u) << "the walk ended before it could be caught";
    const std::size_t kept = walker.files.size();
    EXPECT_GE(kept, seen);
    EXPECT_LE(kept, seen + 1);  // the entry being appended when the cancel came
    // The files found stay, as the whole walk begins.
    const std::vector<std::wstring> all = Walk(folder);
    ASSERT_EQ(all.size(), total);
    EXPECT_TRUE(std::equal(walker.files.begin(), walker.files.end(), all.begin(),
                           [](const WideString& file, const std::wstring& path) { return OrdinaryForm(file.view()) == path; }));
}

TEST_F(HashJobPosting, RefusedLinesCountsAndDoneAreRetriedUntilTheyArrive) {
    quotaSink = &sink;
    // The window is slow enough that a job's burst of posts always outruns it,
    // however the threads happen to be scheduled.
    sink.pauseMs = 20;
    settings.postMessage = &PostWithinQuota;
    const auto flooded = [&](DigestAlgorithm algorithm, const std::wstring& path) {
        quotaPosted = sink.received = refused = 0;
        const Log log = RunPath(algorithm, path);
        EXPECT_GT(refused, 0) << "the queue never filled";
        return log;
    };
    // Several files: every line and the notice arrive, in order.
    const std::wstring folder = temp.Folder(L"flood");
    for (int i = 0; i < 60; ++i) temp.File(L"flood\\" + std::to_wstring(i) + L".txt", std::to_string(i));
    std::vector<std::pair<std::wstring, std::string>> files;
    for (const std::wstring& name : ListFolder(folder).files)
        files.emplace_back(folder + L"\\" + name, std::string(name.begin(), name.end() - 4));
    EXPECT_EQ(flooded(DigestMd5, folder), SeveralFiles(DigestMd5, files));
    // One file: its counts, its line and the notice.
    const std::string bytes = Pattern(40 * settings.chunkSize, 7);
    const std::wstring file = temp.File(L"forty.bin", bytes);
    sink.pauseMs = 100;  // so that several counts are posted while the queue is full
    EXPECT_EQ(flooded(DigestSha1, file), OneFile(40, ExpectedLine(DigestSha1, bytes, file)));
}

TEST_F(HashJobPosting, CancelEndsTheRetrying) {
    settings.postMessage = &RefuseAll;
    refused = 0;
    const WideString file(std::wstring_view(temp.File(L"abc.txt", "abc")));
    ASSERT_TRUE(job.StartPath(DigestMd5, false, sink.window, file, settings));
    EXPECT_TRUE(WaitUntil([] { return refused >= 3; }, 10000));
    job.Finish();  // returns only once the worker has given up
    EXPECT_FALSE(job.IsActive());
    sink.Drain();
    EXPECT_TRUE(sink.log.empty());
}

TEST_F(HashJobCancel, CancelAfterAnyReadAmongHashersEndsEveryThreadAndClosesEveryFile) {
    std::vector<std::pair<std::wstring, std::string>> files;
    PathList paths;
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::string bytes = Pattern((3 << 20) + i, i);  // four pieces
        files.emplace_back(temp.File(std::to_wstring(i), bytes), bytes);
        paths.emplace_back(std::wstring_view(files.back().first));
    }
    const int before = ThreadCount();
    settings.hasherCount = 3;
    settings.readFile = &CancelDuringRead;
    for (long read : {1, 2, 5, 9, 14}) {
        cancelJob = &job;
        readsBeforeCancel = read;
        const Log log = RunList(DigestMd5, paths);  // and every file can be opened alone after it
        EXPECT_EQ(ThreadCount(), before) << "after read " << read;
        // The files begun, in order, each with its true or its zero line.
        const std::size_t lines = (log.size() - 2) / 2;
        ASSERT_TRUE(lines >= 1 && lines <= std::min<std::size_t>(read, files.size())) << lines << " lines";
        Log expected = SeveralFiles(DigestMd5, files);
        expected.erase(expected.begin() + 1 + 2 * lines, expected.end() - 1);
        for (std::size_t i = 0; i < lines; ++i)
            if (log[1 + 2 * i] == ZeroLine(DigestMd5, files[i].first)) expected[1 + 2 * i] = log[1 + 2 * i];
        EXPECT_EQ(log, expected) << "after read " << read;
    }
}
