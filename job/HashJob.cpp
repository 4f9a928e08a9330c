#include "job/HashJob.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <utility>

#include "job/HashPipeline.h"
#include "job/Messages.h"
#include "support/LongPath.h"

namespace {

// How long the worker waits before posting again into a full message queue.
constexpr DWORD RetryPauseMs = 10;

// Pieces of 1 MiB cost few system calls and stay in the second-level cache.
constexpr std::uint32_t kReadBytes = 1u << 20;
// A file this long is read on a second thread while the worker hashes; for
// smaller files the hand-over would cost more than the overlap saves.
constexpr std::uint64_t kReadAheadBytes = 4u << 20;

std::uint32_t AllocationGranularity() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

bool IsFolder(const WideString& path) {
    // INVALID_FILE_ATTRIBUTES has the directory bit set: a path that has
    // vanished is walked as a folder and yields nothing.
    return (::GetFileAttributesW(ExtendedPath(path.view()).c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
    : chunkSize(AllocationGranularity()), chunksPerRead(std::max<std::uint32_t>(1, kReadBytes / chunkSize)),
      readAheadBytes(kReadAheadBytes) {}

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

bool HashJob::StartCheck(HWND target, const WideString& sumsFile) {
    return StartRequest(DigestMd5, false, target, &sumsFile, nullptr, true);
}

bool HashJob::StartRequest(DigestAlgorithm selected, bool subdirectories, HWND target,
                           const WideString* requestPath, const PathList* paths, bool check) {
    if (!Start(true)) return false;
    // The worker is still suspended: resuming it publishes these fields.
    cancelRequested = 0;
    unshownChars = 0;
    algorithm = selected;
    multipleFiles = paths != nullptr || check ? 1 : 0;
    checkSums = check ? 1 : 0;
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
    pendingLines.clear();
    pendingUnits = 0;
    walkedFolders.clear();
    checkBatch.clear();
    checkUnitsPosted = 0;
    tally = SumsTally();
}

void HashJob::Run() {
    lastReportTick = ::GetTickCount();
    try {
        if (checkSums)
            RunCheck();
        else if (multipleFiles)
            RunList();
        else
            RunPath();
    } catch (...) {
        // Out of memory: the request ends quietly, but the window must still
        // learn that it is over.
    }
    readAhead.Stop();
    FlushReports();
    PostReliably(UM_JOB_DONE, 0, 0);
}

void HashJob::RunPath() {
    // A typed or picked path, taken as written where that names an item.
    const WideString resolved(ResolvedPath(path->view()));
    if (IsFolder(resolved))
        WalkFolder(resolved);
    else
        files.push_back(resolved);
    HashCollectedFiles(*this);
}

void HashJob::RunList() {
    std::deque<WideString> folders;
    for (const WideString& entry : *pathList) {
        if (cancelRequested) return;
        // Dropped names are exact, and so are the arguments the dialog
        // resolved: resolving them again could name another item.
        const WideString exact(ExactPath(entry.view()));
        if (IsFolder(exact))
            folders.push_back(exact);
        else
            files.push_back(exact);
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
    std::uint64_t size = 0;
    FileHandle file = OpenForHashing(*path, size);
    // A file that cannot be opened or sized gets no range and no line.
    if (!file) return;
    const std::uint64_t chunks = (size + chunkSize - 1) / chunkSize;
    PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(static_cast<std::uint32_t>(chunks)));
    digest.Init(algorithm);
    const bool ok = DigestFile(file.get(), size);
    file.reset();
    FlushReports();  // the last steps come before the line
    PostResultLine(ok, *path);
    FlushReports();
}

void HashJob::HashFiles() {
    PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(files.size()));
    bool firstLine = true;
    // Posts the front file's line and counts it; the first line shows at once
    // that the job is under way.
    const auto finish = [&](bool ok) {
        PostResultLine(ok, files.front());
        ++pendingUnits;
        if (std::exchange(firstLine, false))
            FlushReports();
        else
            ReportIfDue();
        files.pop_front();
    };
    const std::uint32_t hashers = Hashers();
    if (hashers > 1) {
        HashPipeline pipeline({algorithm, hashers, chunkSize, chunksPerRead * chunkSize, readFile, &cancelRequested,
                               hasherHook, nullptr});
        const auto open = [this](const WideString& file, std::uint64_t& size) { return OpenForHashing(file, size); };
        const auto finished = [&](const Digest& result, bool ok) {
            digest = result;
            finish(ok);
        };
        if (pipeline.Run(files, open, finished, [this] { ReportIfDue(); })) return;
    }
    while (!files.empty()) {
        if (cancelRequested) return;
        std::uint64_t size = 0;
        digest.Init(algorithm);
        const FileHandle file = OpenForHashing(files.front(), size);
        finish(file && DigestFile(file.get(), size));
    }
}

std::uint32_t HashJob::Hashers() const {
    return hasherCount != 0 ? std::min(hasherCount, HashPipeline::kMaxHashers) : HashPipeline::UsableProcessors();
}

void HashJob::FlushReports() {
    if (!pendingLines.empty()) {
        // Keeps memory bounded on huge folders: the pane takes lines more
        // slowly than the worker makes them.
        while (unshownChars.load() > kMaxUnshownChars && !cancelRequested && ::IsWindow(targetWindow))
            ::Sleep(RetryPauseMs);
        const auto count = static_cast<std::int64_t>(pendingLines.size());
        std::unique_ptr<WideString> lines;
        try {
            lines = std::make_unique<WideString>(std::move(pendingLines));
        } catch (const std::bad_alloc&) {
            // Out of memory: these lines are dropped; the job goes on.
        }
        pendingLines.clear();
        // The receiver owns the lines once the post has succeeded, not before.
        unshownChars += count;
        if (lines && PostReliably(UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(lines.get())))
            lines.release();
        else
            unshownChars -= count;
    }
    if (pendingUnits != 0) PostReliably(UM_PROGRESS_STEP, std::exchange(pendingUnits, 0), 0);
    lastReportTick = ::GetTickCount();
}

void HashJob::ReportIfDue() {
    if (::GetTickCount() - lastReportTick >= kReportIntervalMs) FlushReports();
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
