#pragma once
// Helpers for the hashing-job tests: a window that records what the worker
// posts, reference result lines and whole-run logs.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "algorithms/Digest.h"
#include "job/DirectoryWalk.h"
#include "job/HashJob.h"
#include "job/Messages.h"
#include "support/LongPath.h"
#include "../TestSupport.h"

namespace jobtest {
using namespace wintest;

using Log = std::vector<std::wstring>;
inline const DigestAlgorithm AllAlgorithms[] = {DigestMd5, DigestSha1, DigestCrc32, DigestSha256, DigestSha512};

inline std::wstring Steps(std::uint64_t count) { return L"step x" + std::to_wstring(count); }
inline std::wstring Range(std::uint64_t count) { return L"range " + std::to_wstring(count); }

// A message-only window whose posted messages the test thread records as
// text: "range N", "step xN" for N units in a row, "done", or a result line.
// Lines that travel together are followed by one step counting them; the log
// shows each such line with its own "step x1", as if posted one by one. Wrong
// parameters, a count that does not match its lines, or anything after "done"
// is marked in the entry.
class Sink {
public:
    Sink() : window(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
    ~Sink() {
        Drain();
        ::DestroyWindow(window);
    }

    // Records until the log holds `entries` entries or UM_JOB_DONE has arrived.
    bool WaitFor(std::size_t entries = SIZE_MAX) {
        const DWORD start = ::GetTickCount();
        while (!done && log.size() < entries) {
            if (::GetTickCount() - start > 60000) return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLPOSTMESSAGE);
            Drain();
        }
        return true;
    }
    void Drain() {
        MSG message;
        while (::PeekMessageW(&message, window, UM_PROGRESS_RANGE, UM_APPEND_TEXT, PM_REMOVE)) Record(message);
    }
    void Clear() {
        Drain();
        log.clear();
        done = false;
    }

    const HWND window;
    Log log;
    bool done = false;
    std::atomic<long> received{0};
    DWORD pauseMs = 0;  // a slow window, so that a bounded queue fills up

private:
    void Record(const MSG& message) {
        if (pauseMs) ::Sleep(pauseMs);
        ++received;
        const std::wstring late = done ? L" (after done)" : L"";
        done = done || message.message == UM_JOB_DONE;
        if (message.message != UM_PROGRESS_STEP) Push(unstepped), unstepped.clear();
        if (message.message == UM_APPEND_TEXT) {
            const std::unique_ptr<WideString> text(reinterpret_cast<WideString*>(message.lParam));
            std::wstring_view rest = text ? text->view() : L"(null text)";
            for (std::size_t end; (end = rest.find(L"\r\n")) != rest.npos; rest.remove_prefix(end + 2))
                unstepped.push_back(std::wstring(rest.substr(0, end + 2)) + late);
            if (!rest.empty() || message.wParam) unstepped.push_back(L"(malformed text)" + std::wstring(rest));
        } else if (message.message == UM_PROGRESS_STEP) {
            const auto count = static_cast<std::uint64_t>(message.wParam);
            if (!unstepped.empty()) {
                for (const std::wstring& line : unstepped) log.insert(log.end(), {line, Steps(1)});
                if (count != unstepped.size()) log.push_back(L"(step x" + std::to_wstring(count) + L" for these lines)");
                unstepped.clear();
            } else if (!log.empty() && log.back().rfind(L"step x", 0) == 0 && count && !message.lParam && late.empty()) {
                log.back() = Steps(std::stoull(log.back().substr(6)) + count);
            } else {
                log.push_back(Steps(count) + (count && !message.lParam ? L"" : L" (unexpected parameters)") + late);
            }
        } else {
            const bool range = message.message == UM_PROGRESS_RANGE;
            log.push_back((range ? Range(static_cast<std::uint32_t>(message.lParam)) : L"done") +
                          (message.wParam || (!range && message.lParam) ? L" (unexpected parameters)" : L"") + late);
        }
    }
    void Push(const std::vector<std::wstring>& lines) { log.insert(log.end(), lines.begin(), lines.end()); }

    std::vector<std::wstring> unstepped;  // lines whose step has not come yet
};

inline std::wstring Line(const std::wstring& digest, const std::wstring& path) {
    return digest + L" - " + path + L"\r\n";
}
// The result line for `bytes`, digested in one piece.
inline std::wstring ExpectedLine(DigestAlgorithm algorithm, const std::string& bytes, const std::wstring& path) {
    Digest digest(algorithm);
    digest.Update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return Line(digest.TaggedHex(true), path);
}
// The line of a file that could not be read whole.
inline std::wstring ZeroLine(DigestAlgorithm algorithm, const std::wstring& path) {
    return Line(Digest(algorithm).TaggedHex(false), path);
}

// The log of a one-file run: its chunk count, a step per chunk, its line, done.
inline Log OneFile(std::uint64_t chunks, const std::wstring& line) {
    Log log{Range(chunks)};
    if (chunks) log.push_back(Steps(chunks));
    log.insert(log.end(), {line, L"done"});
    return log;
}
// The log of a several-files run: the file count, then a line and a step per file.
inline Log SeveralFiles(DigestAlgorithm algorithm, const std::vector<std::pair<std::wstring, std::string>>& files) {
    Log log{Range(files.size())};
    for (const auto& [path, bytes] : files) log.insert(log.end(), {ExpectedLine(algorithm, bytes, path), Steps(1)});
    log.push_back(L"done");
    return log;
}
inline PathList Paths(std::initializer_list<std::wstring_view> paths) {
    PathList list;
    for (std::wstring_view path : paths) list.emplace_back(path);
    return list;
}

// The files a walk of `folder` collects, in order.
inline std::vector<std::wstring> Walk(const std::wstring& folder, bool subfolders = false) {
    const std::atomic<std::int32_t> running{0};
    PathList files;
    DirectoryWalk(subfolders, running).WalkFolder(WideString(std::wstring_view(folder)), files);
    std::vector<std::wstring> found;
    for (const WideString& file : files) found.push_back(OrdinaryForm(file.view()));
    return found;
}

// A scratch folder, a recording window and a job, with whole runs to the end.
class JobTest : public testing::Test {
protected:
    // Runs one request to its end and returns what the window received. The
    // files named must be closed again: only then can they be opened alone.
    template <typename Start>
    Log Run(Start start, const PathList& named) {
        sink.Clear();
        EXPECT_TRUE(start());
        if (whileStarted) whileStarted();
        EXPECT_TRUE(sink.WaitFor()) << "no UM_JOB_DONE";
        job.Finish();
        sink.Drain();
        for (const WideString& path : expectClosed ? named : PathList{}) {
            const HANDLE alone =
                ::CreateFileW(ExactPath(path.view()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_TRUE(alone != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION)
                << "left open: " << path.c_str();
            if (alone != INVALID_HANDLE_VALUE) ::CloseHandle(alone);
        }
        return sink.log;
    }
    Log RunPath(DigestAlgorithm algorithm, std::wstring_view path, bool subfolders = false) {
        const PathList held{WideString(path)};
        return Run([&] { return job.StartPath(algorithm, subfolders, sink.window, held.front(), settings); }, held);
    }
    Log RunList(DigestAlgorithm algorithm, const PathList& paths) {
        return Run([&] { return job.StartList(algorithm, false, sink.window, paths, settings); }, paths);
    }

    TempFolder temp;
    Sink sink;
    JobSettings settings;  // the next run's
    std::function<void()> whileStarted;  // runs on this thread once a run has started
    HashJob job;
    bool expectClosed = true;  // false while the test itself holds a file open
};

}  // namespace jobtest
