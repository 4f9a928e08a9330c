#pragma once
// One hashing request at a time, run on a worker thread of its own. The job
// reports to its window only through the posted messages of job/Messages.h.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "algorithms/Digest.h"
#include "algorithms/SumsFile.h"
#include "job/HashPipeline.h"
#include "job/ReadAhead.h"
#include "job/WorkerThread.h"
#include "support/PathList.h"
#include "support/WideString.h"

class HashJob : public WorkerThread {
public:
    // How the job posts to its window and reads its files; tests replace them
    // to make posts fail or to change a file between two reads.
    using PostFunction = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

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
    // Cancels the worker (it stops at its next checkpoint), waits for it to
    // end, and clears the request. Fine on a run that has already ended.
    void Finish();

    // --- worker thread -----------------------------------------------------
    void Run() override;
    void RunPath();
    void RunList();
    void HashOneFile();
    void HashFiles();
    // The check of StartCheck. A sums file that cannot be opened gets no line,
    // as a single file would not. Its entries are hashed a batch at a time, so
    // memory follows the batch, not the file.
    void RunCheck();
    // Hashes the entries gathered in checkBatch, posts their verdicts and
    // empties it; `unitsDone` is the progress reached once it is done.
    void CheckBatch(std::uint64_t unitsDone);
    // Appends the paths of the files under `folder` to `files`, absolute, in
    // the extended form and with each name as listed, breadth-first, one
    // listing open at a time. Paths of any length are listed. A subfolder
    // whose identity (volume and file index) was already walked in this job
    // is skipped, so links cannot make the walk loop; the folder named here
    // is always listed.
    void WalkFolder(const WideString& folder);
    // Opens a file for hashing, sharing it with programs that write or delete
    // it, and sets `size` to its length now. Empty when it cannot be opened
    // or sized.
    FileHandle OpenForHashing(const WideString& filePath, std::uint64_t& size);
    // Feeds the first `size` bytes of `file` to the selected digest, chunk by
    // chunk. False when a read fails, the file ends before `size` bytes (it
    // was truncated meanwhile), or a cancel cut it short. From
    // readAheadBytes on, the next piece is read while this one is hashed.
    bool DigestFile(HANDLE file, std::uint64_t size);
    void UpdateDigest(const void* bytes, std::uint32_t length);
    // Adds the file's result line to the lines to post: the true digest if
    // ok, else all zeros. Lines show paths in their display form.
    void PostResultLine(bool ok, const WideString& filePath);
    // Posts the gathered lines, then the gathered step count. Waits first
    // while the window is more than kMaxUnshownChars behind, unless cancelled.
    void FlushReports();
    // FlushReports once kReportIntervalMs has passed since the last one.
    void ReportIfDue();
    // Posts a message to targetWindow. A failed post (a full queue) is retried
    // after a short pause until it succeeds or a cancel is requested; returns
    // whether it was posted.
    bool PostReliably(UINT message, WPARAM wParam, LPARAM lParam);

    std::atomic<std::int32_t> cancelRequested{0};
    // Characters of result text posted but not yet shown (job/Messages.h).
    // Written by both threads; may dip below 0 for text posted by others.
    std::atomic<std::int64_t> unshownChars{0};
    std::int32_t multipleFiles = 0;
    std::int32_t includeSubdirectories = 0;
    std::int32_t checkSums = 0;
    DigestAlgorithm algorithm = DigestMd5;
    // A progress unit of a single file; also how often a cancel is checked.
    const std::uint32_t chunkSize;
    // Chunks read at a time: few system calls, and a buffer that stays in the
    // second-level cache.
    std::uint32_t chunksPerRead;
    std::uint64_t readAheadBytes;
    HWND targetWindow = nullptr;
    const WideString* path = nullptr;
    const PathList* pathList = nullptr;
    PathList files;

    // The selected digest's state, reused file after file.
    Digest digest;

    PostFunction postMessage = &PostMessageW;
    ReadFunction readFile = &ReadFile;
    // Hashers that share the files of a job of several files: one per
    // processor the process may use unless set. With one, the worker hashes
    // them itself.
    std::uint32_t hasherCount = 0;
    HasherHook hasherHook = nullptr;
    // The hashers a job of several files, or a check, runs.
    std::uint32_t Hashers() const;

private:
    // Starts the worker suspended, hands it exactly one of path and list, and
    // resumes it.
    bool StartRequest(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target,
                      const WideString* path, const PathList* paths, bool check = false);

    // An entry of the sums file being checked, waiting in its batch.
    struct CheckEntry {
        DigestAlgorithm algorithm;
        std::wstring expectedHex;
        WideString path;  // the extended form; a device as written
        bool device;
        bool opened;
        // Progress units done once this entry is: the slices read before its line ended.
        std::uint64_t unitsBefore;
    };
    std::vector<CheckEntry> checkBatch;
    std::uint64_t checkUnitsPosted = 0;
    SumsTally tally;
    // Posts one entry's verdict from its digest, `ok` when it was read whole.
    void FinishEntry(CheckEntry& entry, Digest& result, bool ok);

    // Lines and units done but not yet posted, and when they were last posted.
    std::wstring pendingLines;
    std::uint32_t pendingUnits = 0;
    DWORD lastReportTick = 0;
    // Volume serial number and file index of every folder walked in this job.
    std::set<std::tuple<DWORD, DWORD, DWORD>> walkedFolders;
    // Reused for every read: one piece, or two while reading ahead.
    std::vector<std::uint8_t> readBuffer;
    ReadAhead readAhead;
    // Reads the next piece unless a cancel came first.
    bool ReadPiece(HANDLE file, std::uint8_t* into, DWORD length, std::uint64_t left);
    // Feeds a piece chunk by chunk; false when a cancel came before a full chunk.
    bool HashPiece(const std::uint8_t* piece, DWORD length);
};
