#pragma once
// Reads one file at a time and feeds it to a digest, chunk by chunk, on the
// worker thread.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "algorithms/Digest.h"
#include "job/JobReporter.h"
#include "job/ReadAhead.h"
#include "support/UniqueHandle.h"
#include "support/WideString.h"

class DigestDriver {
public:
    struct Reading {
        // A progress unit of a single file; also how often a cancel is checked.
        std::uint32_t chunkSize;
        // Chunks read at a time.
        std::uint32_t chunksPerRead;
        // From this length on, the next piece is read while this one is hashed.
        std::uint64_t readAheadBytes;
        ReadFunction read;
    };

    // A cancel stops a file before its next full chunk. Progress goes to `reporter`.
    DigestDriver(const std::atomic<std::int32_t>& cancel, JobReporter& reporter);

    // Opens a file for hashing, sharing it with programs that write or delete
    // it, and sets `size` to its length now. Empty when it cannot be opened
    // or sized.
    static FileHandle OpenForHashing(const WideString& path, std::uint64_t& size);

    // How the files to come are read.
    void Configure(const Reading& settings) { reading = settings; }
    // Starts a file's digest.
    void Init(DigestAlgorithm algorithm) { digest.Init(algorithm); }
    // Feeds the first `size` bytes of `file` to the digest, a progress unit
    // per chunk when `stepPerChunk`. False when a read fails, the file ends
    // before `size` bytes (it was truncated meanwhile), or a cancel cut it
    // short.
    bool DigestFile(HANDLE file, std::uint64_t size, bool stepPerChunk);
    // The digest of the last file, which Hex or TaggedHex ends.
    Digest& Result() { return digest; }
    // Ends the read-ahead thread, if one was started.
    void Stop() { readAhead.Stop(); }

private:
    // Reads the next piece unless a cancel came first.
    bool ReadPiece(HANDLE file, std::uint8_t* into, DWORD length, std::uint64_t left);
    // Feeds a piece chunk by chunk; false when a cancel came before a full chunk.
    bool HashPiece(const std::uint8_t* piece, DWORD length);
    void UpdateDigest(const void* bytes, std::uint32_t length);

    const std::atomic<std::int32_t>& cancel;
    JobReporter& reporter;
    Reading reading{};
    bool stepPerChunk = false;
    // The digest's state, reused file after file.
    Digest digest;
    // Reused for every read: one piece, or two while reading ahead.
    std::vector<std::uint8_t> readBuffer;
    ReadAhead readAhead;
};
