#pragma once
// Turns folders into the paths of the files under them, on the worker thread.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <tuple>

#include "support/PathList.h"
#include "support/WideString.h"

class DirectoryWalk {
public:
    // Descends into subfolders only with `includeSubdirectories`. A cancel
    // stops a walk before its next folder or entry; the files it found stay.
    DirectoryWalk(bool includeSubdirectories, const std::atomic<std::int32_t>& cancel);

    // Appends the paths of the files under `folder` to `files`, absolute, in
    // the extended form and with each name as listed, breadth-first, one
    // listing open at a time. Paths of any length are listed. A subfolder
    // whose identity (volume and file index) this object has walked already
    // is skipped, so links cannot make the walk loop; the folder named here
    // is always listed.
    void WalkFolder(const WideString& folder, PathList& files);

private:
    const bool includeSubdirectories;
    const std::atomic<std::int32_t>& cancel;
    // Volume serial number and file index of every folder walked.
    std::set<std::tuple<DWORD, DWORD, DWORD>> walkedFolders;
};
