#pragma once
// Hashes the files of a job several at a time. The calling thread is the only
// reader: it reads the files one after the other in their order, so a spinning
// disk sees long sequential reads, and hands the pieces to hasher threads. A
// file is hashed whole by one hasher, its pieces in file order; outcomes come
// back to the calling thread in the files' order.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "algorithms/Digest.h"
#include "job/ReadAhead.h"
#include "support/PathList.h"
#include "support/UniqueHandle.h"

// Runs on a hasher thread before it hashes the file at `fileIndex` (its place
// in the list given to Run). Must not throw.
using HasherHook = void (*)(std::size_t fileIndex);

class HashPipeline {
public:
    // Opens a file for hashing and sets `size` to its length then; empty when
    // it cannot be opened or sized.
    using OpenFunction = std::function<FileHandle(const WideString& path, std::uint64_t& size)>;
    // Takes one file's outcome: its digest, and whether every byte it had at
    // open was read and hashed (else the digest is to be shown as zeros).
    using FinishedFunction = std::function<void(const Digest& digest, bool ok)>;

    static constexpr std::uint32_t kMaxHashers = 16;
    // Bytes read and not yet hashed never pass this: the process is 32-bit.
    static constexpr std::uint32_t kMaxBytesInFlight = 64u << 20;

    struct Settings {
        DigestAlgorithm algorithm;
        std::uint32_t hashers;     // 1 to kMaxHashers
        std::uint32_t chunkSize;   // a cancel is honoured before every full chunk
        std::uint32_t pieceBytes;  // a multiple of chunkSize; smaller files go as one piece
        ReadFunction read;
        const std::atomic<std::int32_t>* cancel;
        HasherHook hook;
        // When set, the digest of each file by its place in the list given to
        // Run (a sums file names one per entry); else `algorithm` for all.
        const std::vector<DigestAlgorithm>* algorithms;
    };

    explicit HashPipeline(const Settings& settings);
    ~HashPipeline();
    HashPipeline(const HashPipeline&) = delete;
    HashPipeline& operator=(const HashPipeline&) = delete;

    // Hashes `files` in order and hands each file's outcome to `finished`, on
    // this thread and in the files' order; `finished` may remove that file
    // from the front of `files`. `idle` is called between pieces and at least
    // every kReportIntervalMs while this thread waits. After a cancel or when
    // memory runs out, the files already begun still get their outcome (not
    // ok unless hashed whole) and the rest get none. Every hasher has ended
    // and every file is closed on return. False, with nothing done, when no
    // hasher thread could be started.
    bool Run(const PathList& files, const OpenFunction& open, const FinishedFunction& finished,
             const std::function<void()>& idle);

    // The logical processors this process may run on, from 1 to kMaxHashers.
    static std::uint32_t UsableProcessors();

private:
    class Hasher;
    // One file's outcome; written by its hasher, read once `done` is set.
    struct Result {
        explicit Result(DigestAlgorithm algorithm) : digest(algorithm) {}
        Digest digest;
        bool done = false;
        bool ok = false;
    };
    struct Piece {
        Result* result;
        std::size_t fileIndex;
        std::uint8_t* bytes;  // from the pool; null when the read failed
        DWORD length;
        bool first;
        bool last;  // also set on a failed read, which ends the file
    };

    void ReadAll(const PathList& files, const OpenFunction& open);
    void ReadRun(Hasher& hasher);
    Hasher* PickHasher(bool canOpen);
    std::uint8_t* AcquirePiece();
    void Enqueue(Hasher& hasher, const Piece& piece);
    void ReportFinished();
    void WaitForHashers();
    void StopHashers();
    void HashLoop(Hasher& hasher);
    bool HashPiece(Digest& digest, const std::uint8_t* bytes, DWORD length) const;
    bool Stopping() const { return *settings.cancel != 0 || abandoned; }

    const Settings settings;
    std::uint64_t runBytes;
    const FinishedFunction* finished = nullptr;
    const std::function<void()>* idle = nullptr;

    // Guards the hashers' queues and counts, freePieces and Result::done.
    SRWLOCK lock = SRWLOCK_INIT;
    // A piece came back or a file was hashed.
    CONDITION_VARIABLE readerWake = CONDITION_VARIABLE_INIT;
    std::vector<std::unique_ptr<Hasher>> hashers;
    std::vector<std::unique_ptr<std::uint8_t[]>> pool;
    // Pieces enough for a run of every hasher and one more, within the cap:
    // one hasher's run is read while the others hash theirs. Filling the
    // whole cap instead used more memory and was no faster.
    std::size_t poolLimit;
    std::vector<std::uint8_t*> freePieces;
    // Files opened whose outcome has not been handed over, in order.
    std::deque<Result> results;
    std::atomic<bool> abandoned{false};
};
