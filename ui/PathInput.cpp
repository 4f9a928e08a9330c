// The main dialog's two other ways of naming what to hash: the shell's folder
// browser ("...") and files dropped on the window.
#include "ui/MainDialog.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "resources/resource.h"
#include "support/UniqueHandle.h"

namespace {

struct DropTraits {
    using Handle = HDROP;
    static Handle Empty() { return nullptr; }
    static void Close(Handle drop) { ::DragFinish(drop); }
};
using DropHandle = UniqueHandle<DropTraits>;

struct MallocRelease {
    void operator()(IMalloc* allocator) const { allocator->Release(); }
};
using ShellAllocator = std::unique_ptr<IMalloc, MallocRelease>;

// An item identifier list, freed by the shell allocator that handed it out.
struct ItemListFree {
    IMalloc* allocator;
    void operator()(ITEMIDLIST* list) const { allocator->Free(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

// Longest path the platform can name (UNICODE_STRING limit, in UTF-16 units).
constexpr DWORD kLongestPath = 32768;

// The file-system path of `item`, whole however long; empty when the item has
// none. SHGetPathFromIDListW stops at MAX_PATH, so a longer path is asked for
// again with a larger buffer. A result that fills the buffer may have been cut,
// so only one with room to spare is taken.
std::wstring FileSystemPath(PCIDLIST_ABSOLUTE item) {
    for (DWORD size = MAX_PATH; size <= kLongestPath; size *= 2) {
        std::wstring path(size, L'\0');
        if (!SHGetPathFromIDListEx(item, path.data(), size, GPFIDL_DEFAULT)) continue;
        const std::size_t length = std::wcslen(path.c_str());
        if (length + 1 < size) {
            path.resize(length);
            return path;
        }
    }
    return {};
}

}  // namespace

LRESULT MainDialog::HandleBrowse(WPARAM, LPARAM) {
    if (job.IsActive()) return 0;
    IMalloc* rawAllocator = nullptr;
    if (FAILED(SHGetMalloc(&rawAllocator)) || rawAllocator == nullptr) return 0;
    const ShellAllocator allocator(rawAllocator);

    wchar_t title[256] = {};
    LoadStringW(ModuleRecord::Current().ResourceInstance(), IDS_BROWSE_TITLE, title,
                static_cast<int>(std::size(title)));
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = window;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = title;
    info.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE | BIF_BROWSEINCLUDEFILES;

    const ItemList chosen(SHBrowseForFolderW(&info), ItemListFree{allocator.get()});
    if (!chosen) return 0;  // cancelled: nothing changes
    const std::wstring path = FileSystemPath(chosen.get());
    if (path.empty()) return 0;  // an item outside the file system
    SetDlgItemTextW(window, IDC_PATH, path.c_str());
    StartPathJob();
    return 0;
}

LRESULT MainDialog::HandleDrop(WPARAM wParam, LPARAM) {
    // Nothing of the drop is kept: its handle is released on every way out.
    const DropHandle drop(reinterpret_cast<HDROP>(wParam));
    // Drops are refused while busy; one that still arrives is ignored, since
    // the worker is reading pathList.
    if (job.IsActive()) return 0;

    pathList.clear();
    const UINT count = DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return 0;
    try {
        for (UINT index = 0; index < count; ++index) {
            // Ask for the length first: a name cut to a fixed buffer could
            // name another file, or none.
            const UINT length = DragQueryFileW(drop.get(), index, nullptr, 0);
            std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
            const UINT copied = DragQueryFileW(drop.get(), index, name.data(), length + 1);
            name.resize(copied);
            if (index == 0) SetDlgItemTextW(window, IDC_PATH, name.c_str());
            pathList.emplace_back(std::move(name));
        }
    } catch (const std::bad_alloc&) {
        // A drop that cannot be read whole starts nothing.
        pathList.clear();
        return 0;
    }
    StartListJob();
    return 0;
}
