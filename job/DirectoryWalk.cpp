#include "job/DirectoryWalk.h"

#include <cwchar>
#include <deque>
#include <string>
#include <utility>

#include "support/LongPath.h"
#include "support/UniqueHandle.h"

namespace {

bool IsDotEntry(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

struct QueuedFolder {
    std::wstring path;  // absolute, extended form, no trailing backslash
    bool reparsePoint;  // a link or junction, as its parent's listing said
};

}  // namespace

DirectoryWalk::DirectoryWalk(bool subdirectories, const std::atomic<std::int32_t>& cancelFlag)
    : includeSubdirectories(subdirectories), cancel(cancelFlag) {}

void DirectoryWalk::WalkFolder(const WideString& start, PathList& files) {
    // Absolute and exact, so every path collected is absolute whatever form
    // the caller gave, and each is built from the names the listings gave:
    // resolving it again would strip trailing dots and spaces or name a
    // device. A drive root keeps only its letter and colon.
    std::wstring root = ExactPath(start.view());
    while (!root.empty() && root.back() == L'\\') root.pop_back();
    if (root.empty()) return;

    // Breadth-first without recursion: the folders still to list wait here as
    // strings, and only one listing is open at a time.
    std::deque<QueuedFolder> queue{{std::move(root), false}};
    bool named = true;
    FindHandle listing;
    WIN32_FIND_DATAW entry;

    for (; !queue.empty() && !cancel; named = false) {
        const QueuedFolder folder = std::move(queue.front());
        queue.pop_front();
        const std::wstring& extended = folder.path;

        // A link may lead back to a folder already walked, even to an
        // ancestor: walk each physical folder once. Without an identity, at
        // least never follow a link.
        // "\\?\C:" names the volume, "\\?\C:\" its root folder.
        const std::wstring opened = folder.path.back() == L':' ? extended + L'\\' : extended;
        FileHandle directory(::CreateFileW(opened.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION identity;
        if (directory && ::GetFileInformationByHandle(directory.get(), &identity)) {
            const bool first = walkedFolders
                                   .emplace(identity.dwVolumeSerialNumber, identity.nFileIndexHigh,
                                            identity.nFileIndexLow)
                                   .second;
            if (!first && !named) continue;
        } else if (folder.reparsePoint) {
            continue;
        }
        directory.reset();

        listing.reset(::FindFirstFileExW((extended + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!listing) continue;
        const std::wstring prefix = folder.path + L'\\';
        for (bool found = true; found && !cancel;
             found = ::FindNextFileW(listing.get(), &entry) != FALSE) {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                files.push_back(WideString(prefix + entry.cFileName));
            else if (includeSubdirectories && !IsDotEntry(entry.cFileName))
                queue.push_back({prefix + entry.cFileName,
                                 (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
        }
        listing.reset();
    }
}
