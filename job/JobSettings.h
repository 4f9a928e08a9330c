#pragma once
// How a job reads, hashes and posts. The defaults are the program's; tests
// give their own to make posts fail, change a file between two reads, cancel
// at a given read, hold a hasher, or fix the hasher count.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "job/JobReporter.h"
#include "job/ReadAhead.h"

// Runs on the thread that hashes the file at `fileIndex` (its place in the
// list hashed), before its first byte is hashed; a file that is empty or
// cannot be opened gets no call. Must not throw.
using HasherHook = void (*)(std::size_t fileIndex);

struct JobSettings {
    JobSettings() {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        chunkSize = info.dwAllocationGranularity;
        chunksPerRead = std::max<std::uint32_t>(1, (1u << 20) / chunkSize);
    }

    JobReporter::PostFunction postMessage = &PostMessageW;
    ReadFunction readFile = &ReadFile;
    // A progress unit of a single file, and how often a cancel is checked:
    // the allocation granularity.
    std::uint32_t chunkSize;
    // Chunks read at a time, 1 MiB: few system calls, and a buffer that stays
    // in the second-level cache.
    std::uint32_t chunksPerRead;
    std::uint32_t ReadBytes() const { return chunksPerRead * chunkSize; }
    // A file this long is read ahead on a second thread while the one before
    // is hashed; for smaller files the hand-over costs more than the overlap saves.
    std::uint64_t readAheadBytes = 4u << 20;
    // Hashers that share the files of a job of several files, or of a check:
    // one per processor the process may use when 0. With one, the worker
    // hashes them itself.
    std::uint32_t hasherCount = 0;
    HasherHook hasherHook = nullptr;
};
