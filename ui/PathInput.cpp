// The main dialog's two other ways of naming what to hash: the shell's folder
// browser ("...") and files dropped on the window.
#include "ui/MainDialog.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "algorithms/DigestFind.h"
#include "resources/resource.h"
#include "support/UniqueHandle.h"
#include "ui/PaneText.h"

namespace {

// Longest path the platform can name (UNICODE_STRING limit, in UTF-16 units).
constexpr DWORD kLongestPath = 32768;

// Shell item lists come from the COM task allocator, whoever hands them out.
using ItemList = TaskMemory<ITEMIDLIST>;

// The path as SHGetPathFromIDListEx gives it, with room for the longest one;
// empty when the item has none. Wine cuts it at MAX_PATH - 1 all the same.
std::wstring PlatformPath(PCIDLIST_ABSOLUTE item) {
    std::wstring path(kLongestPath, L'\0');
    if (!SHGetPathFromIDListEx(item, path.data(), kLongestPath, GPFIDL_DEFAULT)) return {};
    path.resize(std::wcslen(path.c_str()));
    return path;
}

// The item's own parsing name inside its folder (a file or folder name).
std::wstring NameInFolder(PCIDLIST_ABSOLUTE item) {
    IShellFolder* rawFolder = nullptr;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&rawFolder), &child)))
        return {};
    const ComPtr<IShellFolder> folder(rawFolder);
    STRRET display{};
    if (FAILED(folder.get()->GetDisplayNameOf(child, SHGDN_INFOLDER | SHGDN_FORPARSING, &display)))
        return {};
    wchar_t* rawText = nullptr;
    if (FAILED(StrRetToStrW(&display, child, &rawText))) return {};
    const TaskMemory<wchar_t> text(rawText);
    return text.get();
}

// The file-system path of `item`, whole however long; empty when the item has
// none. A path of MAX_PATH - 1 units or more may come back cut, which could
// name another file or none, so it is built from its parent's path and the
// item's own name instead; the platform's long answer is kept only where that
// fails (a folder outside the file system holding the item) and it ends with
// the item's name.
std::wstring FileSystemPath(PCIDLIST_ABSOLUTE item) {
    const std::wstring direct = PlatformPath(item);
    if (direct.empty() || direct.size() + 1 < MAX_PATH) return direct;

    const std::wstring name = NameInFolder(item);
    if (name.empty()) return {};
    const ItemList parent(ILClone(item));
    if (parent && ILRemoveLastID(parent.get())) {
        std::wstring path = FileSystemPath(parent.get());
        if (!path.empty()) {
            if (path.back() != L'\\') path += L'\\';
            return path + name;
        }
    }
    const std::wstring tail = L"\\" + name;
    const bool whole = direct.size() > tail.size() &&
                       direct.compare(direct.size() - tail.size(), tail.size(), tail) == 0;
    return whole ? direct : std::wstring();
}

}  // namespace

LRESULT MainDialog::HandleBrowse(WPARAM, LPARAM) {
    if (busy) return 0;
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

    const ItemList chosen(SHBrowseForFolderW(&info));
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
    if (busy) return 0;

    pathList.clear();
    const UINT count = DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0);
    try {
        for (UINT index = 0; index < count; ++index) {
            // Ask for the length first: a name cut to a fixed buffer could
            // name another file, or none.
            const UINT length = DragQueryFileW(drop.get(), index, nullptr, 0);
            // An empty name names nothing (Wine reports one for an empty list).
            if (length == 0) continue;
            std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
            const UINT copied = DragQueryFileW(drop.get(), index, name.data(), length + 1);
            name.resize(copied);
            if (pathList.empty()) SetDlgItemTextW(window, IDC_PATH, name.c_str());
            pathList.emplace_back(std::move(name));
        }
    } catch (const std::bad_alloc&) {
        // A drop that cannot be read whole starts nothing.
        pathList.clear();
        return 0;
    }
    if (pathList.empty()) return 0;
    StartListJob();
    return 0;
}

void MainDialog::FindDigest() {
    const PaneText* const text = &paneText;
    DWORD selectionEnd = 0;
    SendMessageW(outputPane, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&selectionEnd));
    std::size_t first = text->LineOf(selectionEnd);
    if (text->LineStart(first) < selectionEnd) ++first;
    std::wstring line;
    const auto found = FindDigestLine(text->LineCount(), first, pathText.view(), [&](std::size_t index) {
        line.resize(text->LineLength(index));
        text->CopyTo(text->LineStart(index), line.size(), line.data());
        return std::wstring_view(line);
    });
    if (!found) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    const std::size_t start = text->LineStart(*found);
    SendMessageW(outputPane, EM_SETSEL, start, static_cast<LPARAM>(start + text->LineLength(*found)));
    SendMessageW(outputPane, EM_SCROLLCARET, 0, 0);
    // Not through the dialog manager, which would select the whole pane.
    SetFocus(outputPane);
}
