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
    explicit Hasher(HashPipeline& pipeline) : owner(pipeline) {}
    void Run() override { owner.HashLoop(*this); }

    HashPipeline& owner;
    // Under the owner's lock.
    std::deque<Piece> queue;
    std::uint64_t pending = 0;  // weight of the pieces queued or being hashed
    bool quit = false;
    CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
    // The reader's own: the file this hasher is being fed, if any.
    FileHandle file;
    std::uint64_t left = 0;
    Result* result = nullptr;
    bool first = false;
};

HashPipeline::HashPipeline(const JobSettings& chosen, std::uint32_t count, const std::atomic<std::int32_t>& cancelFlag)
    : settings(chosen), hasherCount(std::clamp<std::uint32_t>(count, 1, kMaxHashers)), cancel(cancelFlag),
      pieceBytes(chosen.ReadBytes()),
      runBytes(std::clamp<std::uint64_t>(kMaxBytesInFlight / hasherCount, kShortestRunBytes, kRunBytes)),
      poolLimit(static_cast<std::size_t>(std::max<std::uint64_t>(
          1, std::min<std::uint64_t>((runBytes + pieceBytes) * hasherCount, kMaxBytesInFlight) / pieceBytes))) {}

HashPipeline::~HashPipeline() { StopHashers(); }

std::uint32_t HashPipeline::UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 1;
    std::uint32_t count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return std::clamp<std::uint32_t>(count, 1, kMaxHashers);
}

bool HashPipeline::Run(const std::vector<FileToHash>& list, const FileHasher::Finished& onFinished,
                       const std::function<void()>& onIdle) {
    files = &list;
    finished = &onFinished;
    idle = &onIdle;
    try {
        // Reserved now, so that no hasher allocates while it holds the lock.
        freePieces.reserve(poolLimit);
        pool.reserve(poolLimit);
        hashers.reserve(hasherCount);
        for (std::uint32_t i = 0; i < hasherCount; ++i) {
            auto hasher = std::make_unique<Hasher>(*this);
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
        if (!abandoned) ReadAll();
    } catch (...) {
        // Out of memory: the files begun still get their lines.
        abandoned = true;
    }
    for (auto& hasher : hashers) hasher->file.reset();
    StopHashers();
    // Every hasher has ended: what is not done now was cut short.
    for (Result& result : results) {
        result.ok = result.done && result.ok;
        result.done = true;
    }
    ReportFinished();
    return true;
}

void HashPipeline::ReadAll() {
    std::size_t nextIndex = 0;
    const std::size_t count = files->size();
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
            const FileToHash& next = (*files)[index];
            Result& result = results.emplace_back(next.algorithm, index);
            std::uint64_t size = 0;
            FileHandle file = OpenForHashing(next.path, size);
            result.opened = static_cast<bool>(file);
            // No hasher for a file that cannot be opened or is empty: its
            // outcome is known now. The reader alone touches it.
            if (!file || size == 0) {
                result.ok = result.opened;
                ExclusiveLock held(lock);
                result.done = true;
                continue;
            }
            hasher->file = std::move(file);
            hasher->left = size;
            hasher->result = &result;
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
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(hasher.left, pieceBytes));
        // A file that ends early was truncated meanwhile: it was not read whole.
        const bool read = ReadFully(settings.readFile, hasher.file.get(), bytes, length);
        hasher.left = read ? hasher.left - length : 0;
        budget -= std::min<std::uint64_t>(budget, length);
        if (!read) {
            ExclusiveLock held(lock);
            freePieces.push_back(bytes);
            bytes = nullptr;
        }
        Enqueue(hasher, Piece{hasher.result, bytes, read ? length : 0, hasher.first, hasher.left == 0});
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
                pool.emplace_back(new std::uint8_t[pieceBytes]);
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
        const Result& result = results.front();
        const FileOutcome outcome =
            !result.opened ? FileOutcome::NotOpened : result.ok ? FileOutcome::Whole : FileOutcome::Cut;
        (*finished)((*files)[result.fileIndex], result.digest, outcome);
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
                if (settings.hasherHook) settings.hasherHook(piece.result->fileIndex);
                fileOk = true;
            }
            fileOk = fileOk && piece.bytes != nullptr &&
                     HashChunks(piece.result->digest, piece.bytes, piece.length, settings.chunkSize,
                                [this] { return Stopping(); }, [] {});
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
