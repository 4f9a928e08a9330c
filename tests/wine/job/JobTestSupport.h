#pragma once
// Helpers for the hashing-job tests: scratch folders and files, a window that
// records what the worker posts, and reference result lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "algorithms/Crc32.h"
#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"
#include "job/HashJob.h"
#include "job/Messages.h"

namespace jobtest {

// A fresh folder under the temp folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        static std::atomic<int> serial{0};
        path_ = std::wstring(temp) + L"dunmo-job-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::to_wstring(++serial);
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

    std::wstring Folder(const std::wstring& name) const {
        std::wstring full = *this / name;
        EXPECT_TRUE(::CreateDirectoryW(full.c_str(), nullptr)) << "cannot create folder";
        return full;
    }
    std::wstring File(const std::wstring& name, const std::string& bytes) const {
        std::wstring full = *this / name;
        WriteFileBytes(full, bytes);
        return full;
    }

    static void WriteFileBytes(const std::wstring& full, const std::string& bytes) {
        HANDLE file = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create file";
        DWORD written = 0;
        if (!bytes.empty()) {
            EXPECT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        }
        ::CloseHandle(file);
    }

    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW entry;
        HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = folder + L"\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    ::DeleteFileW(full.c_str());
            } while (::FindNextFileW(find, &entry));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring path_;
};

// Names in a folder in the platform's listing order (never sorted).
struct Listing {
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;
};
inline Listing ListFolder(const std::wstring& folder) {
    Listing listing;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return listing;
    do {
        std::wstring name = entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            listing.files.push_back(name);
        else if (name != L"." && name != L"..")
            listing.folders.push_back(name);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return listing;
}

// A message-only window on the test thread that records every message the
// worker posts, as text: "range N", "step", "done", or the result line.
class Sink {
public:
    Sink() {
        static const ATOM atom = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = &Sink::WindowProcedure;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"DunmoJobTestSink";
            return ::RegisterClassW(&windowClass);
        }();
        window = ::CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Sink() {
        Drain();
        ::DestroyWindow(window);
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    // Dispatches posted messages until UM_JOB_DONE has arrived.
    bool WaitForDone(DWORD timeoutMs = 60000) {
        const DWORD start = ::GetTickCount();
        while (!done) {
            if (::GetTickCount() - start > timeoutMs) return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLPOSTMESSAGE);
            Drain();
        }
        return true;
    }
    // Dispatches whatever is queued now.
    void Drain() {
        MSG message;
        while (::PeekMessageW(&message, window, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    void Reset() {
        Drain();
        log.clear();
        done = false;
    }
    // The log with each run of consecutive steps counted as "step xN".
    std::vector<std::wstring> Compact() const {
        std::vector<std::wstring> compact;
        std::size_t steps = 0;
        for (const std::wstring& entry : log) {
            if (entry == L"step") {
                ++steps;
                continue;
            }
            if (steps) compact.push_back(L"step x" + std::to_wstring(steps));
            steps = 0;
            compact.push_back(entry);
        }
        if (steps) compact.push_back(L"step x" + std::to_wstring(steps));
        return compact;
    }

    HWND window = nullptr;
    std::vector<std::wstring> log;
    bool done = false;
    std::atomic<long> received{0};
    DWORD pauseMs = 0;  // a slow window, so that a bounded queue fills up

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Sink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self || message < UM_PROGRESS_RANGE || message > UM_APPEND_TEXT)
            return ::DefWindowProcW(window, message, wParam, lParam);
        try {
            self->Record(message, wParam, lParam);
        } catch (...) {
        }
        return 0;
    }
    void Record(UINT message, WPARAM wParam, LPARAM lParam) {
        if (pauseMs) ::Sleep(pauseMs);
        ++received;
        std::unique_ptr<WideString> line;
        if (message == UM_APPEND_TEXT) line.reset(reinterpret_cast<WideString*>(lParam));
        std::wstring entry;
        switch (message) {
        case UM_PROGRESS_RANGE: entry = L"range " + std::to_wstring(static_cast<std::uint32_t>(lParam)); break;
        case UM_PROGRESS_STEP: entry = L"step"; break;
        case UM_JOB_DONE: entry = L"done"; break;
        case UM_APPEND_TEXT: entry = line ? std::wstring(line->view()) : L"(null line)"; break;
        }
        if (wParam != 0 || (message != UM_PROGRESS_RANGE && message != UM_APPEND_TEXT && lParam != 0))
            entry += L" (unexpected parameters)";
        if (done) entry += L" (after done)";
        if (message == UM_JOB_DONE) done = true;
        log.push_back(entry);
    }
};

inline std::wstring Hex(const std::uint8_t* bytes, std::size_t count) {
    return std::wstring(BytesToHex(bytes, count).view());
}

// The result line for `bytes`, digested in one piece.
inline std::wstring ExpectedLine(DigestAlgorithm algorithm, const std::string& bytes,
                                 const std::wstring& path) {
    std::wstring text;
    if (algorithm == DigestMd5) {
        Md5Context context;
        std::uint8_t digest[16];
        Md5Init(context);
        Md5Update(context, bytes.data(), static_cast<std::int32_t>(bytes.size()));
        Md5Final(context, digest);
        text = L"[MD5] " + Hex(digest, 16);
    } else if (algorithm == DigestSha1) {
        Sha1Context context;
        std::uint8_t digest[20];
        Sha1Init(context);
        Sha1Update(context, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        Sha1Final(context, digest);
        text = L"[SHA-1] " + Hex(digest, 20);
    } else {
        wchar_t crc[16];
        std::swprintf(crc, 16, L"%08X", Crc32Update(0, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        text = std::wstring(L"[CRC32] ") + crc;
    }
    return text + L" - " + path + L"\r\n";
}

// The line of a file that could not be read whole.
inline std::wstring ZeroLine(DigestAlgorithm algorithm, const std::wstring& path) {
    const wchar_t* prefix[] = {L"[MD5] ", L"[SHA-1] ", L"[CRC32] "};
    const std::size_t digits[] = {32, 40, 8};
    return prefix[algorithm] + std::wstring(digits[algorithm], L'0') + L" - " + path + L"\r\n";
}

// Bytes that differ from chunk to chunk, so a chunk fed twice or skipped shows.
inline std::string Pattern(std::size_t size, std::uint32_t seed = 1) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

inline const DigestAlgorithm AllAlgorithms[] = {DigestMd5, DigestSha1, DigestCrc32};

// Runs one request to its end and returns what the window received, compacted.
inline std::vector<std::wstring> RunPath(HashJob& job, Sink& sink, DigestAlgorithm algorithm,
                                         std::wstring_view path, bool subfolders = false) {
    const WideString held(path);
    sink.Reset();
    EXPECT_TRUE(job.StartPath(algorithm, subfolders, sink.window, held));
    EXPECT_TRUE(sink.WaitForDone()) << "no UM_JOB_DONE";
    job.Finish();
    sink.Drain();
    return sink.Compact();
}
inline std::vector<std::wstring> RunList(HashJob& job, Sink& sink, DigestAlgorithm algorithm,
                                         const PathList& paths, bool subfolders = false) {
    sink.Reset();
    EXPECT_TRUE(job.StartList(algorithm, subfolders, sink.window, paths));
    EXPECT_TRUE(sink.WaitForDone()) << "no UM_JOB_DONE";
    job.Finish();
    sink.Drain();
    return sink.Compact();
}

using Log = std::vector<std::wstring>;

inline PathList Paths(std::initializer_list<std::wstring_view> paths) {
    PathList list;
    for (std::wstring_view path : paths) list.emplace_back(path);
    return list;
}
inline std::wstring Steps(std::uint64_t count) { return L"step x" + std::to_wstring(count); }
inline std::wstring Range(std::uint64_t count) { return L"range " + std::to_wstring(count); }

}  // namespace jobtest
