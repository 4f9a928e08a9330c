#include "job/HashPipeline.h"

#include <algorithm>
#include <new>
#include <utility>

#include "job/Messages.h"
#include "job/WorkerThread.h"

namespace {

// A large file is read this far before the reader turns to another file, so
// that a spinning disk seeks rarely; shorter only where the runs of all
// hashers would not fit in the memory in flight.
constexpr std::uint64_t kRunBytes = 16u << 20;
constexpr std::uint64_t kShortestRunBytes = 4u << 20;
// Files begun whose outcome is not yet handed over: bounds the outcomes kept
// while one hasher spends long on a large file and others race through small ones.
constexpr std::size_t kMaxOpenResults = 1024;
// What a piece weighs beyond its bytes when the reader picks the hasher that
// has least to do: opening and finishing a small file costs too.
constexpr std::uint64_t kPieceCost = 64u << 10;

}  // namespace

class HashPipeline::Hasher : public WorkerThread {
public:
    Hasher(HashPipeline& pipeline, DigestAlgorithm algorithm) : owner(pipeline), digest(algorithm) {}
    void Run() override { owner.HashLoop(*this); }

    HashPipeline& owner;
    Digest digest;
    // Under the owner's lock.
    std::deque<Piece> queue;
    std::uint64_t pending = 0;  // weight of the pieces queued or being hashed
    bool quit = false;
    CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
    // The reader's own: the file this hasher is being fed, if any.
    FileHandle file;
    std::uint64_t left = 0;
    Result* result = nullptr;
    std::size_t fileIndex = 0;
    bool first = false;
};

HashPipeline::HashPipeline(const Settings& chosen)
    : settings(chosen),
      runBytes(std::clamp<std::uint64_t>(kMaxBytesInFlight / std::max<std::uint32_t>(1, chosen.hashers),
                                         kShortestRunBytes, kRunBytes)),
      poolLimit(static_cast<std::size_t>(std::max<std::uint64_t>(
          1, std::min<std::uint64_t>((runBytes + chosen.pieceBytes) * std::max<std::uint32_t>(1, chosen.hashers),
                                     kMaxBytesInFlight) / chosen.pieceBytes))) {}

HashPipeline::~HashPipeline() { StopHashers(); }

std::uint32_t HashPipeline::UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 1;
    std::uint32_t count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return std::clamp<std::uint32_t>(count, 1, kMaxHashers);
}

bool HashPipeline::Run(const PathList& files, const OpenFunction& open, const FinishedFunction& onFinished,
                       const std::function<void()>& onIdle) {
    finished = &onFinished;
    idle = &onIdle;
    try {
        // Reserved now, so that no hasher allocates while it holds the lock.
        freePieces.reserve(poolLimit);
        pool.reserve(poolLimit);
        hashers.reserve(settings.hashers);
        for (std::uint32_t i = 0; i < settings.hashers; ++i) {
            auto hasher = std::make_unique<Hasher>(*this, settings.algorithm);
            if (!hasher->Start(false)) break;
            hashers.push_back(std::move(hasher));
        }
    } catch (const std::bad_alloc&) {
        abandoned = true;
    }
    if (hashers.empty()) {
        abandoned = false;
        return false;
    }
    try {
        if (!abandoned) ReadAll(files, open);
    } catch (...) {
        // Out of memory: the files begun still get their lines.
        abandoned = true;
    }
    for (auto& hasher : hashers) hasher->file.reset();
    StopHashers();
    // Every hasher has ended: what is not done now was cut short.
    for (; !results.empty(); results.pop_front())
        onFinished(results.front().digest, results.front().done && results.front().ok);
    return true;
}

void HashPipeline::ReadAll(const PathList& files, const OpenFunction& open) {
    auto next = files.begin();
    std::size_t nextIndex = 0;
    const std::size_t count = files.size();
    for (;;) {
        ReportFinished();
        (*idle)();
        if (Stopping()) return;
        Hasher* hasher = PickHasher(nextIndex < count && results.size() < kMaxOpenResults);
        if (hasher == nullptr) {
            const bool feeding = std::any_of(hashers.begin(), hashers.end(), [](const auto& h) { return bool(h->file); });
            if (nextIndex == count && !feeding) break;
            WaitForHashers();
            continue;
        }
        if (!hasher->file) {
            const std::size_t index = nextIndex++;
            Result& result =
                results.emplace_back(settings.algorithms ? (*settings.algorithms)[index] : settings.algorithm);
            std::uint64_t size = 0;
            FileHandle file = open(*next++, size);
            // No hasher for a file that cannot be opened or is empty: its
            // outcome is known now. The reader alone touches it.
            if (!file || size == 0) {
                result.ok = static_cast<bool>(file);
                ExclusiveLock held(lock);
                result.done = true;
                continue;
            }
            hasher->file = std::move(file);
            hasher->left = size;
            hasher->result = &result;
            hasher->fileIndex = index;
            hasher->first = true;
        }
        ReadRun(*hasher);
    }
    // Everything is read: wait for the last outcomes.
    while (!results.empty() && !Stopping()) {
        ReportFinished();
        (*idle)();
        WaitForHashers();
    }
}

// The hasher with the least to do among those being fed a file, or among all
// of them when another file may be opened.
HashPipeline::Hasher* HashPipeline::PickHasher(bool canOpen) {
    Hasher* best = nullptr;
    ExclusiveLock held(lock);
    for (auto& hasher : hashers)
        if ((hasher->file || canOpen) && (best == nullptr || hasher->pending < best->pending)) best = hasher.get();
    return best;
}

void HashPipeline::ReadRun(Hasher& hasher) {
    for (std::uint64_t budget = runBytes; budget != 0 && hasher.left != 0;) {
        std::uint8_t* bytes = AcquirePiece();
        if (bytes == nullptr) return;  // stopping
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(hasher.left, settings.pieceBytes));
        // Bytes appended after the open are left out, and a file that ends
        // early was truncated meanwhile: it was not read whole.
        const bool read = ReadFully(settings.read, hasher.file.get(), bytes, length);
        hasher.left = read ? hasher.left - length : 0;
        budget -= std::min<std::uint64_t>(budget, length);
        if (!read) {
            ExclusiveLock held(lock);
            freePieces.push_back(bytes);
            bytes = nullptr;
        }
        Enqueue(hasher, Piece{hasher.result, hasher.fileIndex, bytes, read ? length : 0, hasher.first, hasher.left == 0});
        hasher.first = false;
        if (hasher.left == 0) hasher.file.reset();
        ReportFinished();
        (*idle)();
    }
}

std::uint8_t* HashPipeline::AcquirePiece() {
    for (;;) {
        if (Stopping()) return nullptr;
        {
            ExclusiveLock held(lock);
            if (freePieces.empty() && pool.size() >= poolLimit) held.Wait(readerWake, kReportIntervalMs);
            if (!freePieces.empty()) {
                std::uint8_t* bytes = freePieces.back();
                freePieces.pop_back();
                return bytes;
            }
        }
        if (pool.size() < poolLimit) {
            try {
                pool.emplace_back(new std::uint8_t[settings.pieceBytes]);
                return pool.back().get();
            } catch (const std::bad_alloc&) {
                if (pool.empty()) throw;
                poolLimit = pool.size();  // go on with the pieces there are
            }
        }
        ReportFinished();
        (*idle)();
    }
}

void HashPipeline::Enqueue(Hasher& hasher, const Piece& piece) {
    {
        ExclusiveLock held(lock);
        hasher.queue.push_back(piece);
        hasher.pending += piece.length + kPieceCost;
    }
    ::WakeConditionVariable(&hasher.wake);
}

void HashPipeline::ReportFinished() {
    for (;;) {
        {
            ExclusiveLock held(lock);
            if (results.empty() || !results.front().done) return;
        }
        // The hasher is done with it: no lock needed to read or drop it.
        (*finished)(results.front().digest, results.front().ok);
        results.pop_front();
    }
}

void HashPipeline::WaitForHashers() {
    ExclusiveLock held(lock);
    if (results.empty() || !results.front().done)
        held.Wait(readerWake, kReportIntervalMs);
}

void HashPipeline::StopHashers() {
    {
        ExclusiveLock held(lock);
        for (auto& hasher : hashers) hasher->quit = true;
    }
    for (auto& hasher : hashers) ::WakeConditionVariable(&hasher->wake);
    // A hasher ends once its queue is empty; after a cancel that is at once.
    for (auto& hasher : hashers) hasher->Stop();
    hashers.clear();
}

void HashPipeline::HashLoop(Hasher& hasher) {
    bool fileOk = false;
    ExclusiveLock held(lock);
    for (;;) {
        while (hasher.queue.empty() && !hasher.quit) held.Wait(hasher.wake);
        if (hasher.queue.empty()) return;
        const Piece piece = hasher.queue.front();
        hasher.queue.pop_front();
        {
            const ExclusiveLock::Unlocked hashing(held);
            if (piece.first) {
                if (settings.hook) settings.hook(piece.fileIndex);
                // The reader made the file's result, with its digest, before its first piece.
                hasher.digest.Init(piece.result->digest.Algorithm());
                fileOk = true;
            }
            fileOk = fileOk && piece.bytes != nullptr && HashPiece(hasher.digest, piece.bytes, piece.length);
            // Read by the reader only once `done` is set, under the lock.
            if (piece.last) piece.result->digest = hasher.digest;
        }
        if (piece.bytes) freePieces.push_back(piece.bytes);
        hasher.pending -= piece.length + kPieceCost;
        if (piece.last) {
            piece.result->ok = fileOk;
            piece.result->done = true;
        }
        ::WakeConditionVariable(&readerWake);
    }
}

bool HashPipeline::HashPiece(Digest& digest, const std::uint8_t* bytes, DWORD length) const {
    // As for a file hashed alone: a cancel is honoured before every full
    // chunk, never before a partial last one.
    for (DWORD done = 0; done < length;) {
        const DWORD chunk = std::min<DWORD>(settings.chunkSize, length - done);
        if (chunk == settings.chunkSize && Stopping()) return false;
        digest.Update(bytes + done, chunk);
        done += chunk;
    }
    return true;
}
