#pragma once
// One hashing request at a time, run on a worker thread of its own. The job
// reports to its window only through the posted messages of job/Messages.h.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "algorithms/Digest.h"
#include "job/DigestDriver.h"
#include "job/HashPipeline.h"
#include "job/JobReporter.h"
#include "job/ReadAhead.h"
#include "job/WorkerThread.h"
#include "support/PathList.h"
#include "support/WideString.h"

class HashJob : private WorkerThread {
public:
    using PostFunction = JobReporter::PostFunction;

    HashJob();
    ~HashJob() override;

    // --- UI thread -------------------------------------------------------
    // Hand over a request and start its worker. Require !IsActive(). The job
    // keeps a reference to `path` / `paths`: the caller keeps it alive and
    // unchanged until Finish. Return false, posting nothing and leaving the
    // job idle, when the worker could not be started.
    bool StartPath(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target,
                   const WideString& path);
    bool StartList(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target,
                   const PathList& paths);
    // Checks the sums file at `sumsFile`, an exact name: each entry gets a
    // verdict line, in the file's order, then the file gets its tally line.
    bool StartCheck(HWND target, const WideString& sumsFile);
    // True from a successful StartPath/StartList/StartCheck until Finish.
    bool IsActive() const;
    // Asks the worker to stop at its next checkpoint, and returns at once.
    // Any thread; Finish must still follow.
    void Cancel();
    // Cancels the worker, waits for it to end, and clears the request. Fine
    // on a run that has already ended.
    void Finish();

    // Characters of result text posted but not yet shown (job/Messages.h).
    // Written by both threads; may dip below 0 for text posted by others.
    std::atomic<std::int64_t> unshownChars{0};

    // --- settings ----------------------------------------------------------
    // Changed only while no worker runs; each run takes them as it starts.
    // Tests replace the post and read functions to make posts fail, to change
    // a file between two reads or to cancel at a given read.
    PostFunction postMessage = &PostMessageW;
    ReadFunction readFile = &ReadFile;
    // A progress unit of a single file; also how often a cancel is checked.
    const std::uint32_t chunkSize;
    // Chunks read at a time: few system calls, and a buffer that stays in the
    // second-level cache.
    std::uint32_t chunksPerRead;
    // A file this long is read ahead on a second thread while it is hashed.
    std::uint64_t readAheadBytes;
    // Hashers that share the files of a job of several files, or of a check:
    // one per processor the process may use unless set. With one, the worker
    // hashes them itself.
    std::uint32_t hasherCount = 0;
    HasherHook hasherHook = nullptr;

private:
    void Run() override;
    // Starts the worker suspended, hands it exactly one of path and list, and
    // resumes it.
    bool StartRequest(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target,
                      const WideString* path, const PathList* paths, bool check = false);
    void RunPath();
    void RunList();
    // After the walk: nothing to do, one file with per-chunk progress, or
    // several files with per-file progress.
    void HashCollectedFiles();
    void HashOneFile();
    void HashFiles();
    // Adds the file's result line to the lines to post: the digest if ok, else
    // all zeros. Lines show paths in their display form.
    void PostResultLine(Digest& result, bool ok, const WideString& filePath);
    // The hashers a job of several files, or a check, runs, and how they read.
    HashPipeline::Settings Hashing() const;

    std::atomic<std::int32_t> cancelRequested{0};
    std::int32_t multipleFiles = 0;
    std::int32_t includeSubdirectories = 0;
    std::int32_t checkSums = 0;
    DigestAlgorithm algorithm = DigestMd5;
    HWND targetWindow = nullptr;
    const WideString* path = nullptr;
    const PathList* pathList = nullptr;
    PathList files;

    JobReporter reporter{cancelRequested, unshownChars};
    DigestDriver driver{cancelRequested, reporter};
};
