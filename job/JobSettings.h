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
    // A file this long is read ahead on a second thread while the pieces
    // before are hashed; for smaller files the hand-over costs more than the overlap saves.
    std::uint64_t readAheadBytes = 4u << 20;
    // Pieces the reader may be ahead of the hasher: enough that a reader put
    // off for a while by other work, or a digest faster than the reads, still
    // finds reads to do or pieces to hash; 8 MiB, within the last-level cache.
    std::uint32_t readAheadPieces = 8;
    // Hashers that share the files of a job of several files, or of a check.
    // When 0, one per processor the process may use; where the digest has
    // wide lanes (4 or more files at once), one fewer but at least one, so
    // one hasher's lanes fill and the reader keeps a processor: on 2
    // processors, 256 files of 4 MiB took MD5's lanes on 2 hashers about 1.6
    // times the processor time of one hasher and ended later, as did SHA-512's,
    // while the SHA extensions' pairs of streams ran 10% sooner on 2 hashers.
    // With one hasher and no lanes, the worker hashes the files itself.
    std::uint32_t hasherCount = 0;
    HasherHook hasherHook = nullptr;
};
