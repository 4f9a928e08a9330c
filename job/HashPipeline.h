#pragma once
// Hashes the files of a job several at a time. The calling thread is the only
// reader: it reads the files one after the other in their order, so a spinning
// disk sees long sequential reads, and hands the pieces to hasher threads. A
// file is hashed whole by one hasher, its pieces in file order; outcomes come
// back to the calling thread in the files' order. Where the digest has lanes
// (Digest::Lanes), a hasher is fed that many files at once and hashes a chunk
// of each together, a lane per file with a piece queued.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "algorithms/Digest.h"
#include "job/FileHasher.h"
#include "job/JobSettings.h"
#include "support/UniqueHandle.h"

class HashPipeline {
public:
    static constexpr std::uint32_t kMaxHashers = 16;
    // Bytes read and not yet hashed never pass this: the process is 32-bit.
    static constexpr std::uint32_t kMaxBytesInFlight = 64u << 20;
    // Files one hasher is fed at once, at most.
    static constexpr std::size_t kMaxLanes = 16;

    // `hashers` threads, 1 to kMaxHashers, read and hashed as `settings` say;
    // `cancel` stops them as it stops a file hashed alone.
    HashPipeline(const JobSettings& settings, std::uint32_t hashers, const std::atomic<std::int32_t>& cancel);
    ~HashPipeline();
    HashPipeline(const HashPipeline&) = delete;
    HashPipeline& operator=(const HashPipeline&) = delete;

    // Hashes `files` in order and hands each file's outcome to `finished`, on
    // this thread and in the files' order. `idle` is called between pieces and
    // at least every kReportIntervalMs while this thread waits. After a cancel
    // or when memory runs out, the files already begun still get their outcome
    // (Cut unless hashed whole) and the rest get none. Every hasher has ended
    // and every file is closed on return. False, with nothing done, when no
    // hasher thread could be started.
    bool Run(const std::vector<FileToHash>& files, const FileHasher::Finished& finished,
             const std::function<void()>& idle);

    // Files fed to one hasher at once for `files`: the most lanes among their
    // digests, 1 to kMaxLanes.
    static std::size_t Lanes(const std::vector<FileToHash>& files);
    // The logical processors this process may run on, from 1 to kMaxHashers.
    static std::uint32_t UsableProcessors();

private:
    class Hasher;
    struct Feed;
    // One file's outcome. Its hasher hashes into `digest`, which the reader
    // reads only once `done` is set.
    struct Result {
        Result(DigestAlgorithm algorithm, std::size_t index) : digest(algorithm), fileIndex(index) {}
        Digest digest;
        std::size_t fileIndex;
        bool opened = false;
        bool done = false;
        bool ok = false;
    };
    struct Piece {
        Result* result;
        std::uint8_t* bytes;  // from the pool; null when the read failed
        DWORD length;
        bool first;
        bool last;  // also set on a failed read, which ends the file
    };

    void ReadAll();
    void ReadRun(Hasher& hasher, Feed& feed);
    Hasher* PickHasher(bool canOpen);
    Feed* PickFeed(Hasher& hasher, bool canOpen);
    std::uint8_t* AcquirePiece();
    void Enqueue(Hasher& hasher, const Piece& piece);
    void ReportFinished();
    void WaitForHashers();
    void StopHashers();
    // A piece in one of a hasher's lanes, hashed up to `offset`; its file's
    // `ok` is the hasher's once `started`.
    struct Lane {
        Piece piece;
        std::uint32_t offset;
        bool started;
    };
    void ReaderWait(ExclusiveLock& held);
    void HashLoop(Hasher& hasher);
    void HashChunkOfEach(Lane lanes[], std::size_t count);
    bool Stopping() const { return cancel != 0 || abandoned; }

    const JobSettings& settings;
    const std::uint32_t hasherCount;
    const std::atomic<std::int32_t>& cancel;
    const std::uint32_t pieceBytes;  // smaller files go as one piece
    // Files fed to one hasher at once: the most lanes among the files' digests.
    std::size_t lanes = 1;
    std::uint64_t runBytes = 0;
    const std::vector<FileToHash>* files = nullptr;
    const FileHasher::Finished* finished = nullptr;
    const std::function<void()>* idle = nullptr;

    // Guards the hashers' queues and counts, freePieces and Result::done.
    SRWLOCK lock = SRWLOCK_INIT;
    // A piece came back or a file was hashed.
    CONDITION_VARIABLE readerWake = CONDITION_VARIABLE_INIT;
    bool readerWaits = false;  // under the lock: only then is it woken
    // Under the lock: where the hasher that last woke the reader ran.
    DWORD wakerProcessor = 0;
    // The process's processors, when the hashers leave one for the reader,
    // which then keeps off theirs; else 0.
    DWORD_PTR readerProcessors = 0;
    std::size_t unopened = 0;  // under the lock: files the reader has yet to open
    std::vector<std::unique_ptr<Hasher>> hashers;
    std::vector<std::unique_ptr<std::uint8_t[]>> pool;
    // Pieces enough for a run of every file being fed and one more, within
    // the cap: one run is read while the others are hashed. Filling the whole
    // cap instead used more memory and was no faster without lanes.
    std::size_t poolLimit = 1;
    std::vector<std::uint8_t*> freePieces;
    // Files opened whose outcome has not been handed over, in order.
    std::deque<Result> results;
    std::atomic<bool> abandoned{false};
};
