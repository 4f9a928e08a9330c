#pragma once
// One hashing request at a time, run on a worker thread of its own. The job
// reports to its window only through the posted messages of job/Messages.h.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "algorithms/Digest.h"
#include "job/FileHasher.h"
#include "job/JobReporter.h"
#include "job/JobSettings.h"
#include "job/WorkerThread.h"
#include "support/PathList.h"
#include "support/WideString.h"

class HashJob : private WorkerThread {
public:
    HashJob() = default;
    ~HashJob() override;

    // --- UI thread -------------------------------------------------------
    // Hand over a request and start its worker. Require !IsActive(). The job
    // keeps the request, its own copy, until Finish; `settings` say how this
    // run reads, hashes and posts. Return false, posting nothing and leaving
    // the job idle, when the worker could not be started.
    bool StartPath(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target, WideString path,
                   const JobSettings& settings);
    bool StartList(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target, PathList paths,
                   const JobSettings& settings);
    // Checks the sums file at `sumsFile`, an exact name: each entry gets a
    // verdict line, in the file's order, then the file gets its tally line.
    bool StartCheck(HWND target, WideString sumsFile, const JobSettings& settings);
    // True from a successful StartPath/StartList/StartCheck until Finish. Any
    // thread; the worker never changes it.
    bool IsActive() const { return active; }
    // Asks the worker to stop at its next checkpoint, and returns at once.
    // Any thread; Finish must still follow.
    void Cancel() { cancelRequested = 1; }
    // Cancels the worker, waits for it to end, and drops the request. Fine on
    // a run that has already ended.
    void Finish();
    // The window has shown or thrown away `chars` characters of the text
    // posted to it (job/Messages.h), so the worker may post more.
    void Shown(std::size_t chars) { unshownChars -= static_cast<std::int64_t>(chars); }
    // Characters posted and not yet shown: 0 once the window has caught up.
    std::int64_t Unshown() const { return unshownChars; }

private:
    struct Request {
        enum class Kind { Path, List, Check } kind = Kind::Path;
        DigestAlgorithm algorithm = DigestMd5;
        bool includeSubdirectories = false;
        // A path: the typed or picked path. A list: exact names of files and
        // folders. A check: the sums file's exact name.
        PathList paths;
    };

    // Starts the worker suspended, hands it the request and resumes it.
    bool StartRequest(Request next, HWND target, const JobSettings& chosen);
    void Run() override;
    // Collect the files to hash; a list cancelled meanwhile hashes nothing.
    void RunPath(PathList& files);
    bool RunList(PathList& files);
    // After the walk: nothing to do, one file with per-chunk progress, or
    // several files with per-file progress.
    void HashCollectedFiles(FileHasher& hasher, PathList& files);
    void HashOneFile(FileHasher& hasher, const WideString& file);
    void HashFiles(FileHasher& hasher, PathList& files);
    // Adds the file's result line to the lines to post: the digest if ok, else
    // all zeros. Lines show paths in their display form.
    void PostResultLine(const Digest& result, bool ok, const WideString& filePath);

    std::atomic<std::int32_t> cancelRequested{0};
    // Written by the UI thread only, before the worker is resumed and after it
    // has ended; read by any thread.
    std::atomic<bool> active{false};
    // Characters posted and not yet shown; written by both threads, and may
    // dip below 0 for text posted by others.
    std::atomic<std::int64_t> unshownChars{0};
    // Written only while no worker runs: resuming the worker publishes them.
    Request request;
    JobSettings settings;
    HWND targetWindow = nullptr;

    JobReporter reporter{cancelRequested, unshownChars};
};
