#include "job/HashJob.h"

#include <deque>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "job/DirectoryWalk.h"
#include "job/Messages.h"
#include "job/SumsCheck.h"
#include "support/LongPath.h"

namespace {

bool IsFolder(const WideString& path) {
    // INVALID_FILE_ATTRIBUTES has the directory bit set: a path that has
    // vanished is walked as a folder and yields nothing.
    return (::GetFileAttributesW(ExtendedPath(path.view()).c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

HashJob::~HashJob() {
    // Normally the owner has finished the job; if not, the worker must not
    // outlive the fields it reads.
    Finish();
}

bool HashJob::StartPath(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target, WideString path,
                        const JobSettings& chosen) {
    Request next{Request::Kind::Path, algorithm, includeSubdirectories, {}};
    next.paths.push_back(std::move(path));
    return StartRequest(std::move(next), target, chosen);
}

bool HashJob::StartList(DigestAlgorithm algorithm, bool includeSubdirectories, HWND target, PathList paths,
                        const JobSettings& chosen) {
    return StartRequest({Request::Kind::List, algorithm, includeSubdirectories, std::move(paths)}, target, chosen);
}

bool HashJob::StartCheck(HWND target, WideString sumsFile, const JobSettings& chosen) {
    Request next{Request::Kind::Check, DigestMd5, false, {}};
    next.paths.push_back(std::move(sumsFile));
    return StartRequest(std::move(next), target, chosen);
}

bool HashJob::StartRequest(Request next, HWND target, const JobSettings& chosen) {
    if (!Start(true)) return false;
    // The worker is still suspended: resuming it publishes these fields.
    cancelRequested = 0;
    unshownChars = 0;
    request = std::move(next);
    settings = chosen;
    targetWindow = target;
    active = true;
    Resume();
    return true;
}

void HashJob::Finish() {
    Cancel();
    Stop();
    request = Request();
    targetWindow = nullptr;
    reporter.Clear();
    active = false;
}

void HashJob::Run() {
    reporter.Begin(targetWindow, settings.postMessage);
    try {
        FileHasher hasher(settings, cancelRequested, reporter);
        PathList files;
        switch (request.kind) {
        case Request::Kind::Check: SumsCheck(hasher, reporter).Run(request.paths.front()); break;
        case Request::Kind::List:
            if (RunList(files)) HashCollectedFiles(hasher, files);
            break;
        case Request::Kind::Path:
            RunPath(files);
            HashCollectedFiles(hasher, files);
            break;
        }
    } catch (...) {
        // Out of memory: the request ends quietly, but the window must still
        // learn that it is over.
    }
    reporter.Flush();
    reporter.PostReliably(UM_JOB_DONE, 0, 0);
}

void HashJob::RunPath(PathList& files) {
    // A typed or picked path, taken as written where that names an item.
    const WideString resolved(ResolvedPath(request.paths.front().view()));
    if (IsFolder(resolved))
        DirectoryWalk(request.includeSubdirectories, cancelRequested).WalkFolder(resolved, files);
    else
        files.push_back(resolved);
}

bool HashJob::RunList(PathList& files) {
    std::deque<WideString> folders;
    for (const WideString& entry : request.paths) {
        if (cancelRequested) return false;
        // Dropped names are exact, and so are the arguments the dialog
        // resolved: resolving them again could name another item.
        const WideString exact(ExactPath(entry.view()));
        if (IsFolder(exact))
            folders.push_back(exact);
        else
            files.push_back(exact);
    }
    // One walk for all folders, so that none is listed twice through links.
    DirectoryWalk walk(request.includeSubdirectories, cancelRequested);
    while (!folders.empty()) {
        if (cancelRequested) return false;
        const WideString folder = std::move(folders.front());
        folders.pop_front();
        walk.WalkFolder(folder, files);
    }
    return true;
}

void HashJob::HashCollectedFiles(FileHasher& hasher, PathList& files) {
    if (files.size() == 1)
        HashOneFile(hasher, files.front());
    else if (!files.empty())
        HashFiles(hasher, files);
}

void HashJob::HashOneFile(FileHasher& hasher, const WideString& file) {
    const auto opened = [this](std::uint64_t size) {
        const std::uint64_t chunks = (size + settings.chunkSize - 1) / settings.chunkSize;
        reporter.PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(static_cast<std::uint32_t>(chunks)));
    };
    const auto finished = [this](const FileToHash& done, const Digest& result, FileOutcome outcome) {
        // A file that cannot be opened gets no range and no line.
        if (outcome == FileOutcome::NotOpened) return;
        reporter.Flush();  // the last steps come before the line
        PostResultLine(result, outcome == FileOutcome::Whole, done.path);
        reporter.Flush();
    };
    hasher.HashAlone({file, request.algorithm}, opened, finished);
}

void HashJob::HashFiles(FileHasher& hasher, PathList& files) {
    reporter.PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(files.size()));
    std::vector<FileToHash> list;
    list.reserve(files.size());
    for (; !files.empty(); files.pop_front()) list.push_back({std::move(files.front()), request.algorithm});
    bool firstLine = true;
    // Posts each file's line and counts it; the first line shows at once that
    // the job is under way.
    hasher.Hash(list, [&](const FileToHash& file, const Digest& result, FileOutcome outcome) {
        PostResultLine(result, outcome == FileOutcome::Whole, file.path);
        reporter.AddUnits(1);
        if (std::exchange(firstLine, false))
            reporter.Flush();
        else
            reporter.FlushIfDue();
    });
}

void HashJob::PostResultLine(const Digest& result, bool ok, const WideString& filePath) {
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
