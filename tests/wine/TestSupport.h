#pragma once
// Helpers shared by the Windows tests: scratch folders and files, byte
// patterns, folder listings and waiting.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wintest {

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passes.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 30000) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() > deadline) return false;
        ::Sleep(5);
    }
    return true;
}

// Threads of this process right now, to see a worker come and go.
inline int ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// Names in a folder in the platform's listing order (never sorted).
struct Listing {
    std::vector<std::wstring> files, folders;
};
inline Listing ListFolder(const std::wstring& folder) {
    Listing listing;
    WIN32_FIND_DATAW entry;
    const HANDLE find = ::FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return listing;
    do {
        const std::wstring name = entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            listing.files.push_back(name);
        else if (name != L"." && name != L"..")
            listing.folders.push_back(name);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return listing;
}

// A fresh folder under the temp folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        static std::atomic<int> serial{0};
        path_ = std::wstring(temp) + L"dunmo-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial);
        RemoveTree(path_);
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(Exact(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
    // Creates the folder `name` and any missing folders above it. Made in the
    // extended form, names keep trailing dots and spaces and are no devices.
    std::wstring Folder(const std::wstring& name) const {
        const std::wstring full = *this / name;
        for (std::size_t at = full.find(L'\\', path_.size() + 1); at != std::wstring::npos;
             at = full.find(L'\\', at + 1))
            ::CreateDirectoryW(Exact(full.substr(0, at)).c_str(), nullptr);
        ::CreateDirectoryW(Exact(full).c_str(), nullptr);
        EXPECT_NE(::GetFileAttributesW(Exact(full).c_str()), INVALID_FILE_ATTRIBUTES) << "cannot create folder";
        return full;
    }
    // Creates a file (and its folders) holding `bytes`, then zeros up to
    // `size` bytes that take no disk space (for long jobs).
    std::wstring File(const std::wstring& name, const std::string& bytes, long long size = 0) const {
        const std::size_t slash = name.rfind(L'\\');
        if (slash != std::wstring::npos) Folder(name.substr(0, slash));
        const std::wstring full = *this / name;
        WriteFileBytes(Exact(full), bytes, size);
        return full;
    }
    static std::wstring Exact(const std::wstring& absolute) { return L"\\\\?\\" + absolute; }

    static void WriteFileBytes(const std::wstring& full, const std::string& bytes, long long size = 0) {
        const HANDLE file = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create file";
        DWORD written = 0;
        EXPECT_TRUE(bytes.empty() ||
                    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        LARGE_INTEGER end{};
        end.QuadPart = size;
        EXPECT_TRUE(size <= 0 || (::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)));
        ::CloseHandle(file);
    }
    static void RemoveTree(const std::wstring& folder) {
        for (const std::wstring& name : ListFolder(folder).files) ::DeleteFileW((folder + L"\\" + name).c_str());
        for (const std::wstring& name : ListFolder(folder).folders) RemoveTree(folder + L"\\" + name);
        ::RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring path_;
};

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

}  // namespace wintest
