#include "job/HashJob.h"

#include <deque>

#include "job/Messages.h"

namespace {

// How long the worker waits before posting again into a full message queue.
constexpr DWORD RetryPauseMs = 10;

// Each map/unmap pair is a costly round trip under Wine: 4 MiB views hashed
// a cached file 1.3 to 2.7 times faster than one-chunk views and as fast as
// 16 MiB ones (bench/digest_file.sh), while taking little address space.
constexpr std::uint32_t DefaultViewBytes = 4u << 20;

std::uint32_t AllocationGranularity() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

bool IsFolder(const WideString& path) {
    // INVALID_FILE_ATTRIBUTES has the directory bit set: a path that has
    // vanished is walked as a folder and yields nothing.
    return (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// After the walk: nothing to do, one file with per-chunk progress, or
// several files with per-file progress.
void HashCollectedFiles(HashJob& job) {
    if (job.files.empty()) return;
    if (job.files.size() == 1) {
        job.multipleFiles = 0;
        job.path = &job.files.front();
        job.HashOneFile();
    } else {
        job.multipleFiles = 1;
        job.HashFiles();
    }
}

}  // namespace

HashJob::HashJob()
    : chunkSize(AllocationGranularity()),
      chunksPerView(chunkSize < DefaultViewBytes ? DefaultViewBytes / chunkSize : 1) {}

HashJob::~HashJob() {
    // Normally the owner has finished the job; if not, the worker must not
    // outlive the fields it reads.
    Finish();
}

bool HashJob::StartPath(DigestAlgorithm selected, bool subdirectories, HWND target,
                        const WideString& requestPath) {
    return StartRequest(selected, subdirectories, target, &requestPath, nullptr);
}

bool HashJob::StartList(DigestAlgorithm selected, bool subdirectories, HWND target,
                        const PathList& paths) {
    return StartRequest(selected, subdirectories, target, nullptr, &paths);
}

bool HashJob::StartRequest(DigestAlgorithm selected, bool subdirectories, HWND target,
                           const WideString* requestPath, const PathList* paths) {
    if (!Start(true)) return false;
    // The worker is still suspended: resuming it publishes these fields.
    cancelRequested = 0;
    algorithm = selected;
    multipleFiles = paths != nullptr ? 1 : 0;
    includeSubdirectories = subdirectories ? 1 : 0;
    path = requestPath;
    pathList = paths;
    targetWindow = target;
    Resume();
    return true;
}

bool HashJob::IsActive() const { return path != nullptr || pathList != nullptr; }

void HashJob::Finish() {
    cancelRequested = 1;
    Stop();
    targetWindow = nullptr;
    path = nullptr;
    pathList = nullptr;
    files.clear();
}

void HashJob::Run() {
    try {
        if (multipleFiles)
            RunList();
        else
            RunPath();
    } catch (...) {
        // Out of memory: the request ends quietly, but the window must still
        // learn that it is over.
    }
    PostReliably(UM_JOB_DONE, 0, 0);
}

void HashJob::RunPath() {
    if (IsFolder(*path)) {
        WalkFolder(*path);
        HashCollectedFiles(*this);
    } else {
        HashOneFile();
    }
}

void HashJob::RunList() {
    std::deque<WideString> folders;
    for (const WideString& entry : *pathList) {
        if (cancelRequested) return;
        if (IsFolder(entry))
            folders.push_back(entry);
        else
            files.push_back(entry);
    }
    while (!folders.empty()) {
        if (cancelRequested) return;
        const WideString folder = std::move(folders.front());
        folders.pop_front();
        WalkFolder(folder);
    }
    HashCollectedFiles(*this);
}

void HashJob::HashOneFile() {
    LARGE_INTEGER size;
    {
        FileHandle file(::CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        // A file that cannot be opened or sized gets no range and no line.
        if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return;
    }
    const std::uint64_t chunks =
        (static_cast<std::uint64_t>(size.QuadPart) + chunkSize - 1) / chunkSize;
    PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(static_cast<std::uint32_t>(chunks)));
    InitDigest();
    const bool ok = DigestFile(*path);
    PostResultLine(ok, *path);
}

void HashJob::HashFiles() {
    PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(files.size()));
    while (!files.empty()) {
        if (cancelRequested) return;
        InitDigest();
        const bool ok = DigestFile(files.front());
        PostResultLine(ok, files.front());
        postMessage(targetWindow, UM_PROGRESS_STEP, 0, 0);  // a lost step only lags the bar
        files.pop_front();
    }
}

bool HashJob::PostReliably(UINT message, WPARAM wParam, LPARAM lParam) {
    // A full queue (10,000 messages on Windows) refuses posts until the window
    // catches up. Only wait here: the UI thread may itself be waiting in
    // Finish, which sets cancelRequested first.
    while (!postMessage(targetWindow, message, wParam, lParam)) {
        if (cancelRequested || !::IsWindow(targetWindow)) return false;
        ::Sleep(RetryPauseMs);
    }
    return true;
}
