// Cancellation checkpoints, and posting into a queue that refuses messages.
#include "JobTestSupport.h"

#include <algorithm>

using namespace jobtest;
using HashJobCancel = JobTest;
using HashJobPosting = JobTest;

namespace {

// The seam's state: plain globals, since the post function has no context.
HashJob* cancelJob = nullptr;
std::atomic<long> stepsBeforeCancel{0};
Sink* quotaSink = nullptr;
std::atomic<long> quotaPosted{0};
std::atomic<long> refused{0};
std::atomic<bool> rangePosted{false};

// Posts, and asks for a cancel once the given number of steps has been posted.
BOOL WINAPI CancelAfterSteps(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const BOOL posted = ::PostMessageW(window, message, wParam, lParam);
    if (message == UM_PROGRESS_STEP && --stepsBeforeCancel == 0) cancelJob->cancelRequested = 1;
    return posted;
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
// Notes when the range goes out, that is when a walk is over.
BOOL WINAPI NoteRange(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_PROGRESS_RANGE) rangePosted = true;
    return ::PostMessageW(window, message, wParam, lParam);
}
BOOL WINAPI RefuseAll(HWND, UINT, WPARAM, LPARAM) {
    ++refused;
    return FALSE;
}

Log WithoutSteps(Log log) {
    log.erase(std::remove_if(log.begin(), log.end(), [](auto& entry) { return entry.rfind(L"step", 0) == 0; }),
              log.end());
    return log;
}

// Exposes the worker's thread so the test can stop it where it stands.
class InspectableJob : public HashJob {
public:
    HANDLE Thread() const { return thread.get(); }
};

}  // namespace

TEST_F(HashJobCancel, CancelStopsBeforeTheNextFullChunkOrTheNextFile) {
    const auto cancelAfter = [&](long steps) {
        cancelJob = &job;
        stepsBeforeCancel = steps;
        job.postMessage = &CancelAfterSteps;
    };
    const std::string bytes = Pattern(10 * job.chunkSize + 3, 6);
    const std::wstring path = temp.File(L"long.bin", bytes);
    // Inside a view, and at the start of a view: the zero line.
    for (std::uint32_t perView : {job.chunksPerView, 4u, 1u}) {
        job.chunksPerView = perView;
        cancelAfter(4);
        EXPECT_EQ(RunPath(DigestMd5, path), (Log{Range(11), Steps(4), ZeroLine(DigestMd5, path), L"done"}))
            << perView << " chunks per view";
    }
    // A cancel during the last full chunk does not stop the partial one, and
    // a file below one chunk is never stopped.
    job.chunksPerView = 4;
    cancelAfter(10);
    EXPECT_EQ(RunPath(DigestCrc32, path), OneFile(11, ExpectedLine(DigestCrc32, bytes, path)));
    const std::wstring small = temp.File(L"small.bin", "small");
    cancelAfter(1);
    EXPECT_EQ(RunPath(DigestSha1, small), OneFile(1, ExpectedLine(DigestSha1, "small", small)));

    // Between files: the next file is not started.
    const std::wstring folder = temp.Folder(L"three");
    for (const wchar_t* name : {L"a", L"b", L"c"}) temp.File(std::wstring(L"three\\") + name, "data");
    const std::wstring first = folder + L"\\" + ListFolder(folder).files.front();
    cancelAfter(1);
    EXPECT_EQ(RunList(DigestMd5, Paths({folder})),
              (Log{Range(3), ExpectedLine(DigestMd5, "data", first), Steps(1), L"done"}));
}

TEST_F(HashJobCancel, CancelDuringAWalkEndsItBeforeTheNextEntry) {
    const std::wstring folder = temp.Folder(L"many");
    const std::size_t total = 4000;
    for (std::size_t i = 0; i < total; ++i) temp.File(L"many\\" + std::to_wstring(i), "");

    InspectableJob walker;
    const PathList list = Paths({folder});
    rangePosted = false;
    walker.postMessage = &NoteRange;
    ASSERT_TRUE(walker.StartList(DigestMd5, false, sink.window, list));
    // Catch the worker in the middle of its listing: suspended (GetThreadContext
    // makes the suspension complete), with some but not all files found, and
    // before the walk has ended. While it is suspended this thread only reads:
    // the worker may hold the heap's lock.
    std::size_t seen = 0;
    for (int attempt = 0; attempt < 1000000 && seen == 0 && !rangePosted; ++attempt) {
        if (::SuspendThread(walker.Thread()) == DWORD(-1)) break;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(walker.Thread(), &context);
        const std::size_t found = walker.files.size();
        if (found > 0 && found < total && !rangePosted) {
            seen = found;
            walker.cancelRequested = 1;
        }
        ::ResumeThread(walker.Thread());
    }
    ASSERT_GT(seen, 0u) << "the walk ended before it could be caught";
    ASSERT_TRUE(sink.WaitFor());
    walker.Stop();
    const std::size_t kept = walker.files.size();
    walker.Finish();
    sink.Drain();
    EXPECT_GE(kept, seen);
    EXPECT_LE(kept, seen + 1);  // the entry being appended when the cancel came
    // Several files were found: the range is posted, then the loop stops at once.
    EXPECT_EQ(sink.log, (Log{Range(kept), L"done"}));
}

TEST_F(HashJobPosting, RefusedLinesAndDoneAreRetriedUntilTheyArrive) {
    quotaSink = &sink;
    sink.pauseMs = 2;
    job.postMessage = &PostWithinQuota;
    const auto flooded = [&](DigestAlgorithm algorithm, const std::wstring& path) {
        quotaPosted = 0;
        sink.received = 0;
        refused = 0;
        const Log log = WithoutSteps(RunPath(algorithm, path));
        EXPECT_GT(refused, 0) << "the queue never filled";
        return log;
    };
    // Several files: every line and the notice arrive, in order.
    const std::wstring folder = temp.Folder(L"flood");
    for (int i = 0; i < 60; ++i) temp.File(L"flood\\" + std::to_wstring(i) + L".txt", std::to_string(i));
    std::vector<std::pair<std::wstring, std::string>> files;
    for (const std::wstring& name : ListFolder(folder).files)
        files.emplace_back(folder + L"\\" + name, std::string(name.begin(), name.end() - 4));
    EXPECT_EQ(flooded(DigestMd5, folder), WithoutSteps(SeveralFiles(DigestMd5, files)));
    // One file: steps may be dropped, its line and the notice may not.
    const std::string bytes = Pattern(40 * job.chunkSize, 7);
    const std::wstring file = temp.File(L"forty.bin", bytes);
    EXPECT_EQ(flooded(DigestSha1, file), (Log{Range(40), ExpectedLine(DigestSha1, bytes, file), L"done"}));
}

TEST_F(HashJobPosting, CancelEndsTheRetrying) {
    job.postMessage = &RefuseAll;
    refused = 0;
    const WideString file(std::wstring_view(temp.File(L"abc.txt", "abc")));
    ASSERT_TRUE(job.StartPath(DigestMd5, false, sink.window, file));
    for (int wait = 0; wait < 1000 && refused < 3; ++wait) ::Sleep(10);
    EXPECT_GE(refused, 3);
    job.Finish();  // returns only once the worker has given up
    EXPECT_FALSE(job.IsActive());
    sink.Drain();
    EXPECT_TRUE(sink.log.empty());
}
