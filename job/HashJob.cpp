#include "job/HashJob.h"

#include <algorithm>
#include <deque>
#include <new>
#include <string>
#include <utility>

#include "job/DirectoryWalk.h"
#include "job/Messages.h"
#include "job/SumsCheck.h"
#include "support/LongPath.h"

namespace {

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

void HashJob::Cancel() { cancelRequested = 1; }

void HashJob::Finish() {
    Cancel();
    Stop();
    targetWindow = nullptr;
    path = nullptr;
    pathList = nullptr;
    files.clear();
    reporter.Clear();
}

void HashJob::Run() {
    reporter.Begin(targetWindow, postMessage);
    driver.Configure({chunkSize, chunksPerRead, readAheadBytes, readFile});
    try {
        if (checkSums)
            SumsCheck(Hashing(), driver, reporter).Run(*path);
        else if (multipleFiles)
            RunList();
        else
            RunPath();
    } catch (...) {
        // Out of memory: the request ends quietly, but the window must still
        // learn that it is over.
    }
    driver.Stop();
    reporter.Flush();
    reporter.PostReliably(UM_JOB_DONE, 0, 0);
}

void HashJob::RunPath() {
    // A typed or picked path, taken as written where that names an item.
    const WideString resolved(ResolvedPath(path->view()));
    if (IsFolder(resolved))
        DirectoryWalk(includeSubdirectories != 0, cancelRequested).WalkFolder(resolved, files);
    else
        files.push_back(resolved);
    HashCollectedFiles();
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
    // One walk for all folders, so that none is listed twice through links.
    DirectoryWalk walk(includeSubdirectories != 0, cancelRequested);
    while (!folders.empty()) {
        if (cancelRequested) return;
        const WideString folder = std::move(folders.front());
        folders.pop_front();
        walk.WalkFolder(folder, files);
    }
    HashCollectedFiles();
}

void HashJob::HashCollectedFiles() {
    if (files.empty()) return;
    if (files.size() == 1) {
        multipleFiles = 0;
        path = &files.front();
        HashOneFile();
    } else {
        multipleFiles = 1;
        HashFiles();
    }
}

void HashJob::HashOneFile() {
    std::uint64_t size = 0;
    FileHandle file = DigestDriver::OpenForHashing(*path, size);
    // A file that cannot be opened or sized gets no range and no line.
    if (!file) return;
    const std::uint64_t chunks = (size + chunkSize - 1) / chunkSize;
    reporter.PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(static_cast<std::uint32_t>(chunks)));
    driver.Init(algorithm);
    const bool ok = driver.DigestFile(file.get(), size, !multipleFiles);
    file.reset();
    reporter.Flush();  // the last steps come before the line
    PostResultLine(driver.Result(), ok, *path);
    reporter.Flush();
}

void HashJob::HashFiles() {
    reporter.PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(files.size()));
    bool firstLine = true;
    // Posts the front file's line and counts it; the first line shows at once
    // that the job is under way.
    const auto finish = [&](Digest& result, bool ok) {
        PostResultLine(result, ok, files.front());
        reporter.AddUnits(1);
        if (std::exchange(firstLine, false))
            reporter.Flush();
        else
            reporter.FlushIfDue();
        files.pop_front();
    };
    const HashPipeline::Settings hashing = Hashing();
    if (hashing.hashers > 1) {
        HashPipeline pipeline(hashing);
        const auto finished = [&](const Digest& result, bool ok) {
            Digest ended = result;
            finish(ended, ok);
        };
        if (pipeline.Run(files, &DigestDriver::OpenForHashing, finished, [this] { reporter.FlushIfDue(); })) return;
    }
    while (!files.empty()) {
        if (cancelRequested) return;
        std::uint64_t size = 0;
        driver.Init(algorithm);
        const FileHandle file = DigestDriver::OpenForHashing(files.front(), size);
        const bool ok = file && driver.DigestFile(file.get(), size, !multipleFiles);
        finish(driver.Result(), ok);
    }
}

HashPipeline::Settings HashJob::Hashing() const {
    const std::uint32_t hashers =
        hasherCount != 0 ? std::min(hasherCount, HashPipeline::kMaxHashers) : HashPipeline::UsableProcessors();
    return {algorithm, hashers, chunkSize, chunksPerRead * chunkSize, readFile, &cancelRequested, hasherHook, nullptr};
}

void HashJob::PostResultLine(Digest& result, bool ok, const WideString& filePath) {
    try {
        std::wstring line = result.TaggedHex(ok);
        line += L" - ";
        line += DisplayForm(filePath.view());
        line += L"\r\n";
        reporter.AddLines(line);  // all or nothing
    } catch (const std::bad_alloc&) {
        // Out of memory: this line is dropped; the job goes on.
    }
}
