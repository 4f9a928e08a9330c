// Cancellation checkpoints, and posting into a queue that refuses messages.
#include "JobTestSupport.h"

using namespace jobtest;

namespace {

// The seam's state: plain globals, since the post function has no context.
HashJob* cancelJob = nullptr;
std::atomic<long> stepsBeforeCancel{0};
Sink* quotaSink = nullptr;
std::atomic<long> quotaPosted{0};
std::atomic<long> refused{0};
long quota = 0;

// Posts, and asks for a cancel once the given number of steps has been posted.
BOOL WINAPI CancelAfterSteps(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const BOOL posted = ::PostMessageW(window, message, wParam, lParam);
    if (message == UM_PROGRESS_STEP && --stepsBeforeCancel == 0) cancelJob->cancelRequested = 1;
    return posted;
}

// Refuses posts while `quota` messages are waiting, like a full queue.
BOOL WINAPI PostWithinQuota(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (quotaPosted - quotaSink->received >= quota) {
        ++refused;
        return FALSE;
    }
    if (!::PostMessageW(window, message, wParam, lParam)) return FALSE;
    ++quotaPosted;
    return TRUE;
}

// Notes when the range goes out, that is when a walk is over.
std::atomic<bool> rangePosted{false};
BOOL WINAPI NoteRange(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_PROGRESS_RANGE) rangePosted = true;
    return ::PostMessageW(window, message, wParam, lParam);
}

BOOL WINAPI RefuseAll(HWND, UINT, WPARAM, LPARAM) {
    ++refused;
    return FALSE;
}

Log CancelledRun(HashJob& job, Sink& sink, DigestAlgorithm algorithm, std::wstring_view path, long steps,
                 bool list = false) {
    cancelJob = &job;
    stepsBeforeCancel = steps;
    job.postMessage = &CancelAfterSteps;
    return list ? RunList(job, sink, algorithm, Paths({path})) : RunPath(job, sink, algorithm, path);
}

Log WithoutSteps(const Log& log) {
    Log kept;
    for (const std::wstring& entry : log)
        if (entry.rfind(L"step", 0) != 0) kept.push_back(entry);
    return kept;
}

}  // namespace

TEST(HashJobCancel, CancelBeforeAFullChunkGivesTheZeroLineThenDone) {
    TempFolder temp;
    Sink sink;
    HashJob job;
    const std::string bytes = Pattern(10 * job.chunkSize + 3, 6);
    const std::wstring path = temp.File(L"long.bin", bytes);

    // Cancel inside a view, and at the start of a view.
    for (std::uint32_t perView : {job.chunksPerView, 4u, 1u}) {
        job.chunksPerView = perView;
        EXPECT_EQ(CancelledRun(job, sink, DigestMd5, path, 4),
                  (Log{Range(11), Steps(4), ZeroLine(DigestMd5, path), L"done"}))
            << perView << " chunks per view";
    }
    // A cancel during the last full chunk does not stop the partial one.
    job.chunksPerView = 4;
    EXPECT_EQ(CancelledRun(job, sink, DigestCrc32, path, 10),
              (Log{Range(11), Steps(11), ExpectedLine(DigestCrc32, bytes, path), L"done"}));
    // A file below one chunk is never stopped.
    const std::wstring small = temp.File(L"small.bin", "small");
    EXPECT_EQ(CancelledRun(job, sink, DigestSha1, small, 1),
              (Log{Range(1), Steps(1), ExpectedLine(DigestSha1, "small", small), L"done"}));
}

TEST(HashJobCancel, CancelBetweenFilesStopsBeforeTheNextFile) {
    TempFolder temp;
    Sink sink;
    HashJob job;
    const std::wstring folder = temp.Folder(L"three");
    for (const wchar_t* name : {L"a", L"b", L"c"}) temp.File(std::wstring(L"three\\") + name, "data");
    const std::wstring first = folder + L"\\" + ListFolder(folder).files.front();
    EXPECT_EQ(CancelledRun(job, sink, DigestMd5, folder, 1, true),
              (Log{Range(3), ExpectedLine(DigestMd5, "data", first), Steps(1), L"done"}));
}

TEST(HashJobCancel, CancelledWalkKeepsWhatItFound) {
    TempFolder temp;
    const std::wstring folder = temp.Folder(L"walk");
    temp.File(L"walk\\x", "x");
    HashJob job;
    job.files.push_back(WideString(L"C:\\found-before"));
    job.cancelRequested = 1;
    job.WalkFolder(WideString(std::wstring_view(folder)));
    ASSERT_EQ(job.files.size(), 1u);
    EXPECT_EQ(job.files.front(), WideString(L"C:\\found-before"));
}

namespace {
// Exposes the worker's thread so the test can stop it where it stands.
class InspectableJob : public HashJob {
public:
    HANDLE Thread() const { return thread.get(); }
};
}  // namespace

TEST(HashJobCancel, CancelDuringAWalkEndsItBeforeTheNextEntry) {
    TempFolder temp;
    const std::wstring folder = temp.Folder(L"many");
    const std::size_t total = 4000;
    for (std::size_t i = 0; i < total; ++i) temp.File(L"many\\" + std::to_wstring(i), "");

    Sink sink;
    InspectableJob job;
    const PathList list = Paths({folder});
    rangePosted = false;
    job.postMessage = &NoteRange;
    ASSERT_TRUE(job.StartList(DigestMd5, false, sink.window, list));
    // Catch the worker in the middle of its listing: suspended (GetThreadContext
    // makes the suspension complete), with some but not all files found, and
    // before the walk has ended. While it is suspended this thread only reads:
    // the worker may hold the heap's lock.
    std::size_t seen = 0;
    for (int attempt = 0; attempt < 1000000 && seen == 0 && !rangePosted; ++attempt) {
        if (::SuspendThread(job.Thread()) == DWORD(-1)) break;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(job.Thread(), &context);
        const std::size_t found = job.files.size();
        if (found > 0 && found < total && !rangePosted) {
            seen = found;
            job.cancelRequested = 1;
        }
        ::ResumeThread(job.Thread());
    }
    ASSERT_GT(seen, 0u) << "the walk ended before it could be caught";
    ASSERT_TRUE(sink.WaitForDone());
    job.Stop();
    const std::size_t kept = job.files.size();
    job.Finish();
    sink.Drain();
    EXPECT_GE(kept, seen);
    EXPECT_LE(kept, seen + 1);  // the entry being appended when the cancel came
    // Several files were found: the range is posted, then the loop stops at once.
    EXPECT_EQ(sink.Compact(), (Log{Range(kept), L"done"}));
}

TEST(HashJobPosting, RefusedLinesAndDoneAreRetriedUntilTheyArrive) {
    TempFolder temp;
    Sink sink;
    HashJob job;
    quotaSink = &sink;
    quota = 2;
    sink.pauseMs = 2;
    job.postMessage = &PostWithinQuota;

    // Several files: every line and the notice arrive, in order.
    const std::wstring folder = temp.Folder(L"flood");
    for (int i = 0; i < 60; ++i) temp.File(L"flood\\" + std::to_wstring(i) + L".txt", std::to_string(i));
    Log expected{Range(60)};
    for (const std::wstring& name : ListFolder(folder).files)
        expected.push_back(ExpectedLine(DigestMd5, std::string(name.begin(), name.end() - 4), folder + L"\\" + name));
    expected.push_back(L"done");
    quotaPosted = 0;
    sink.received = 0;
    refused = 0;
    const Log log = RunPath(job, sink, DigestMd5, folder);
    EXPECT_GT(refused, 0) << "the queue never filled";
    EXPECT_EQ(WithoutSteps(log), expected);

    // One file: steps may be dropped, its line and the notice may not.
    const std::string bytes = Pattern(40 * job.chunkSize, 7);
    const std::wstring file = temp.File(L"forty.bin", bytes);
    quotaPosted = 0;
    sink.received = 0;
    refused = 0;
    const Log single = RunPath(job, sink, DigestSha1, file);
    EXPECT_GT(refused, 0) << "the queue never filled";
    EXPECT_EQ(WithoutSteps(single), (Log{Range(40), ExpectedLine(DigestSha1, bytes, file), L"done"}));
}

TEST(HashJobPosting, CancelEndsTheRetrying) {
    TempFolder temp;
    Sink sink;
    HashJob job;
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
