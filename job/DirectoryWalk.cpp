#include <cwchar>
#include <deque>
#include <string>

#include "job/HashJob.h"

namespace {
bool IsDotEntry(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}
}  // namespace

void HashJob::WalkFolder(const WideString& start) {
    std::wstring folder(start.view());
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();

    // Breadth-first without recursion: the folders still to list wait here as
    // strings, and only one listing is open at a time.
    std::deque<std::wstring> queue;
    queue.push_back(std::move(folder));
    FindHandle listing;
    WIN32_FIND_DATAW entry;
    wchar_t root[MAX_PATH];

    while (!queue.empty() && !cancelRequested) {
        std::wstring pattern = std::move(queue.front());
        queue.pop_front();
        pattern += L"\\*.*";
        listing.reset();
        // The pattern must fit where the platform keeps a name.
        if (pattern.size() >= MAX_PATH) continue;
        listing.reset(::FindFirstFileW(pattern.c_str(), &entry));
        if (!listing) continue;

        // The absolute folder of the pattern, so every path collected is
        // absolute whatever form the caller gave.
        const DWORD length = ::GetFullPathNameW(pattern.c_str(), MAX_PATH, root, nullptr);
        if (length == 0 || length >= MAX_PATH) {
            listing.reset();
            continue;
        }
        // Cut at the last separator of either kind.
        wchar_t* backslash = std::wcsrchr(root, L'\\');
        wchar_t* slash = std::wcsrchr(root, L'/');
        wchar_t* cut = !slash || (backslash && backslash > slash) ? backslash : slash;
        if (cut) *cut = L'\0';
        std::wstring prefix(root);
        if (prefix.empty() || (prefix.back() != L'\\' && prefix.back() != L'/')) prefix += L'\\';

        for (bool found = true; found && !cancelRequested;
             found = ::FindNextFileW(listing.get(), &entry) != FALSE) {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                files.push_back(WideString(prefix + entry.cFileName));
            else if (includeSubdirectories && !IsDotEntry(entry.cFileName))
                queue.push_back(prefix + entry.cFileName);
        }
        listing.reset();
    }
}
