#pragma once
// One hashing request at a time, run on a worker thread of its own. The job
// reports to its window only through the posted messages of job/Messages.h.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"
#include "job/WorkerThread.h"
#include "support/PathList.h"
#include "support/WideString.h"

// The selected digest, in the order of the dialog's radio buttons.
enum DigestAlgorithm : std::int32_t { DigestMd5 = 0, DigestSha1 = 1, DigestCrc32 = 2 };

class HashJob : public WorkerThread {
public:
    // How the job posts to its window; tests replace it to make posts fail.
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
    // True from a successful StartPath/StartList until Finish.
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
    // Appends the full paths of the files under `folder` to `files`,
    // breadth-first, one listing open at a time.
    void WalkFolder(const WideString& folder);
    void InitDigest();
    // Feeds the whole file to the selected digest through read-only views.
    // False when it cannot be opened, sized or mapped, or a cancel cut it
    // short; an empty file is read whole without being mapped.
    bool DigestFile(const WideString& filePath);
    void UpdateDigest(const void* bytes, std::uint32_t length);
    // Posts the file's result line: the true digest if ok, else all zeros.
    void PostResultLine(bool ok, const WideString& filePath);
    // Posts a message to targetWindow. A failed post (a full queue) is retried
    // after a short pause until it succeeds or a cancel is requested; returns
    // whether it was posted.
    bool PostReliably(UINT message, WPARAM wParam, LPARAM lParam);

    std::atomic<std::int32_t> cancelRequested{0};
    std::int32_t multipleFiles = 0;
    std::int32_t includeSubdirectories = 0;
    DigestAlgorithm algorithm = DigestMd5;
    const std::uint32_t chunkSize;
    // Chunks mapped per view. Larger views cost fewer map/unmap round trips;
    // the range, the steps and the cancel checks stay per chunk.
    std::uint32_t chunksPerView;
    HWND targetWindow = nullptr;
    const WideString* path = nullptr;
    const PathList* pathList = nullptr;
    PathList files;

    Md5Context md5Context{};
    Sha1Context sha1Context{};
    std::uint32_t crcValue = 0;

    PostFunction postMessage = &PostMessageW;

private:
    // Starts the worker suspended, hands it exactly one of path and list, and
    // resumes it.
    bool StartRequest(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target,
                      const WideString* path, const PathList* paths);
};

// Upper-case hex text of `count` bytes, high nibble first.
WideString BytesToHex(const std::uint8_t* bytes, std::size_t count);
