#include "job/HashPipeline.h"

#include <algorithm>
#include <new>
#include <utility>

#include "job/Messages.h"
#include "job/WorkerThread.h"

namespace {

// A large file is read this far before the reader turns to another file, so
// that a spinning disk seeks rarely; shorter only where the runs of all files
// being fed would not fit in the memory in flight.
constexpr std::uint64_t kRunBytes = 4u << 20;
constexpr std::uint64_t kShortestRunBytes = 1u << 20;
// Files begun whose outcome is not yet handed over: bounds the outcomes kept
// while one hasher spends long on a large file and others race through small ones.
constexpr std::size_t kMaxOpenResults = 1024;
// What a piece weighs beyond its bytes when the reader picks the hasher that
// has least to do: opening and finishing a small file costs too.
constexpr std::uint64_t kPieceCost = 64u << 10;
// The longest a hasher waits for a lane's piece before it hashes the others:
// a few reads' time.
constexpr DWORD kLaneWaitMs = 1;

}  // namespace

// The reader's own: a file being fed to a hasher.
struct HashPipeline::Feed {
    FileHandle file;
    std::uint64_t left = 0;
    Result* result = nullptr;
    bool first = false;
};

class HashPipeline::Hasher : public WorkerThread {
public:
    Hasher(HashPipeline& pipeline, std::size_t lanes) : owner(pipeline), feeds(lanes) {}
    void Run() override { owner.HashLoop(*this); }

    HashPipeline& owner;
    // Under the owner's lock.
    std::deque<Piece> queue;
    std::uint64_t pending = 0;  // weight of the pieces queued or being hashed
    std::size_t unhashed = 0;   // files given to it and not yet hashed
    bool quit = false;
    bool waits = false;  // only a waiting hasher is woken
    CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
    // The reader's own: the files this hasher is being fed, and which of
    // them had the last run.
    std::vector<Feed> feeds;
    std::size_t turn = 0;
    bool Fed() const {
        return std::any_of(feeds.begin(), feeds.end(), [](const Feed& feed) { return bool(feed.file); });
    }
    bool CanTake() const {
        return std::any_of(feeds.begin(), feeds.end(), [](const Feed& feed) { return !feed.file; });
    }
};

HashPipeline::HashPipeline(const JobSettings& chosen, std::uint32_t count, const std::atomic<std::int32_t>& cancelFlag)
    : settings(chosen), hasherCount(std::clamp<std::uint32_t>(count, 1, kMaxHashers)), cancel(cancelFlag),
      pieceBytes(chosen.ReadBytes()) {}

HashPipeline::~HashPipeline() { StopHashers(); }

std::uint32_t HashPipeline::UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 1;
    std::uint32_t count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return std::clamp<std::uint32_t>(count, 1, kMaxHashers);
}

std::size_t HashPipeline::Lanes(const std::vector<FileToHash>& list) {
    std::size_t most = 1;
    for (const FileToHash& file : list) most = std::max(most, Digest::Lanes(file.algorithm));
    return std::min(most, kMaxLanes);
}

bool HashPipeline::Run(const std::vector<FileToHash>& list, const FileHasher::Finished& onFinished,
                       const std::function<void()>& onIdle) {
    files = &list;
    finished = &onFinished;
    idle = &onIdle;
    lanes = Lanes(list);
    unopened = list.size();
    // Files fed at once: no more than there are, so 8 files on 16 lanes
    // fault in and cycle 40 MiB rather than the whole cap.
    const std::uint64_t feeds =
        std::clamp<std::uint64_t>(std::uint64_t{hasherCount} * lanes, 1, std::max<std::size_t>(1, list.size()));
    runBytes = std::clamp<std::uint64_t>(kMaxBytesInFlight / feeds, kShortestRunBytes, kRunBytes);
    poolLimit = static_cast<std::size_t>(std::max<std::uint64_t>(
        1, std::min<std::uint64_t>((runBytes + pieceBytes) * feeds, kMaxBytesInFlight) / pieceBytes));
    try {
        // Reserved now, so that no hasher allocates while it holds the lock.
        freePieces.reserve(poolLimit);
        pool.reserve(poolLimit);
        hashers.reserve(hasherCount);
        for (std::uint32_t i = 0; i < hasherCount; ++i) {
            auto hasher = std::make_unique<Hasher>(*this, lanes);
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
    DWORD_PTR system = 0;
    if (hashers.size() >= UsableProcessors() ||
        !::GetProcessAffinityMask(::GetCurrentProcess(), &readerProcessors, &system))
        readerProcessors = 0;
    try {
        if (!abandoned) ReadAll();
    } catch (...) {
        // Out of memory: the files begun still get their lines.
        abandoned = true;
    }
    for (auto& hasher : hashers)
        for (Feed& feed : hasher->feeds) feed.file.reset();
    StopHashers();
    // The job's thread may run anywhere again.
    if (readerProcessors != 0) ::SetThreadAffinityMask(::GetCurrentThread(), readerProcessors);
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
        const bool canOpen = nextIndex < count && results.size() < kMaxOpenResults;
        Hasher* hasher = PickHasher(canOpen);
        if (hasher == nullptr) {
            const bool feeding = std::any_of(hashers.begin(), hashers.end(), [](const auto& h) { return h->Fed(); });
            if (nextIndex == count && !feeding) break;
            WaitForHashers();
            continue;
        }
        Feed& feed = *PickFeed(*hasher, canOpen);
        if (!feed.file) {
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
                --unopened;
                continue;
            }
            {
                const ExclusiveLock held(lock);
                ++hasher->unhashed;
                --unopened;
            }
            feed.file = std::move(file);
            feed.left = size;
            feed.result = &result;
            feed.first = true;
        }
        ReadRun(*hasher, feed);
    }
    // Everything is read: wait for the last outcomes.
    while (!results.empty() && !Stopping()) {
        ReportFinished();
        (*idle)();
        WaitForHashers();
    }
}

// A file to open goes to the hasher with the most files not yet hashed among
// those with a lane to spare, so that a digest with wide lanes fills one
// hasher's lanes before it starts another: a call on half its lanes costs as
// much as one on all of them. 8 files on 2 hashers of 8 lanes each took twice
// the processor time of one hasher and ended no sooner. Otherwise the hasher
// with the least to do among those being fed, or that may take a file.
HashPipeline::Hasher* HashPipeline::PickHasher(bool canOpen) {
    Hasher* best = nullptr;
    ExclusiveLock held(lock);
    if (canOpen)
        for (auto& hasher : hashers)
            if (hasher->CanTake() && hasher->unhashed < hasher->feeds.size() &&
                (best == nullptr || hasher->unhashed > best->unhashed ||
                 (hasher->unhashed == best->unhashed && hasher->pending < best->pending)))
                best = hasher.get();
    if (best != nullptr) return best;
    for (auto& hasher : hashers)
        if ((hasher->Fed() || (canOpen && hasher->CanTake())) && (best == nullptr || hasher->pending < best->pending))
            best = hasher.get();
    return best;
}

// A free lane takes the next file first, so that the lanes stay full; else the
// files being fed take their runs in turn.
HashPipeline::Feed* HashPipeline::PickFeed(Hasher& hasher, bool canOpen) {
    const std::size_t count = hasher.feeds.size();
    if (canOpen)
        for (Feed& feed : hasher.feeds)
            if (!feed.file) return &feed;
    for (std::size_t i = 1; i <= count; ++i) {
        Feed& feed = hasher.feeds[(hasher.turn + i) % count];
        if (feed.file) {
            hasher.turn = (hasher.turn + i) % count;
            return &feed;
        }
    }
    return &hasher.feeds[0];  // not reached: PickHasher chose a hasher with a file or a free lane
}

void HashPipeline::ReadRun(Hasher& hasher, Feed& feed) {
    for (std::uint64_t budget = runBytes; budget != 0 && feed.left != 0;) {
        std::uint8_t* bytes = AcquirePiece();
        if (bytes == nullptr) return;  // stopping
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(feed.left, pieceBytes));
        // A file that ends early was truncated meanwhile: it was not read whole.
        const bool read = ReadFully(settings.readFile, feed.file.get(), bytes, length);
        feed.left = read ? feed.left - length : 0;
        budget -= std::min<std::uint64_t>(budget, length);
        if (!read) {
            ExclusiveLock held(lock);
            freePieces.push_back(bytes);
            bytes = nullptr;
        }
        Enqueue(hasher, Piece{feed.result, bytes, read ? length : 0, feed.first, feed.left == 0});
        feed.first = false;
        if (feed.left == 0) feed.file.reset();
        ReportFinished();
        (*idle)();
    }
}

std::uint8_t* HashPipeline::AcquirePiece() {
    for (;;) {
        if (Stopping()) return nullptr;
        {
            ExclusiveLock held(lock);
            if (freePieces.empty() && pool.size() >= poolLimit) ReaderWait(held);
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
    bool wake = false;
    {
        ExclusiveLock held(lock);
        hasher.queue.push_back(piece);
        hasher.pending += piece.length + kPieceCost;
        wake = hasher.waits;
    }
    if (wake) ::WakeConditionVariable(&hasher.wake);
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
    // With every outcome handed over there is nothing to wait for: the last
    // file's line went out 15 ms late while this thread slept on.
    if (!results.empty() && !results.front().done) ReaderWait(held);
}

void HashPipeline::ReaderWait(ExclusiveLock& held) {
    readerWaits = true;
    // No piece comes until this thread is woken: lanes waiting to fill are hashed as they are.
    for (auto& hasher : hashers)
        if (hasher->waits) ::WakeConditionVariable(&hasher->wake);
    const bool woken = held.Wait(readerWake, kReportIntervalMs);
    readerWaits = false;
    if (woken && readerProcessors != 0) KeepOffProcessor(wakerProcessor, readerProcessors);
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

// A hasher keeps a piece in each lane it can fill and hashes a chunk of every
// lane per call; a lane whose piece is done takes the next piece of its file
// at once, or else the first piece queued of a file in no lane, so the lanes
// stay full while files start and end at different times. Taking a piece of
// each file queued and hashing them whole, with no wait, 8 files of 128 MiB
// spent a fifth of MD5's calls on fewer lanes than files, and 256 of 4 MiB most.
void HashPipeline::HashLoop(Hasher& hasher) {
    Lane lanes[kMaxLanes];
    std::size_t active = 0;
    std::size_t width = 1;
    DigestAlgorithm algorithm = DigestMd5;
    bool patient = true;
    ExclusiveLock held(lock);
    for (;;) {
        bool wakeReader = false;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < active; ++i) {
            const Lane& lane = lanes[i];
            if (!lane.started || (lane.offset < lane.piece.length && lane.piece.result->ok)) {
                lanes[kept++] = lane;
                continue;
            }
            if (lane.piece.bytes) freePieces.push_back(lane.piece.bytes);
            hasher.pending -= lane.piece.length + kPieceCost;
            if (lane.piece.last) {
                lane.piece.result->done = true;
                --hasher.unhashed;
            }
            wakeReader = true;
            patient = true;
        }
        active = kept;
        if (active == 0 && !hasher.queue.empty()) {
            algorithm = (*files)[hasher.queue.front().result->fileIndex].algorithm;
            width = std::min<std::size_t>(Digest::Lanes(algorithm), kMaxLanes);
        }
        // A file's pieces stay in order: only its first queued piece may join.
        for (auto it = hasher.queue.begin(); it != hasher.queue.end() && active < width;) {
            const bool inLane =
                std::any_of(lanes, lanes + active, [&](const Lane& lane) { return lane.piece.result == it->result; });
            if (inLane || (*files)[it->result->fileIndex].algorithm != algorithm) {
                ++it;
                continue;
            }
            lanes[active++] = Lane{*it, 0, false};
            it = hasher.queue.erase(it);
        }
        if (wakeReader && readerWaits) {
            wakerProcessor = ::GetCurrentProcessorNumber();
            ::WakeConditionVariable(&readerWake);
        }
        if (active == 0) {
            // Nothing queued: every piece handed over is hashed.
            if (hasher.quit) return;
            hasher.waits = true;
            held.Wait(hasher.wake);
            hasher.waits = false;
            continue;
        }
        // A call on some of the lanes costs about as much as one on all: while
        // the reader reads on, a lane about to get its file's next piece, or
        // a file yet to open, is waited for, once for a while after each piece.
        // Not for lanes short of a chunk (small files): those calls are cheap,
        // and a wake for each file to come cost more than they save.
        const std::size_t expected = std::min(width, hasher.unhashed + unopened);
        const bool fullChunks = std::all_of(lanes, lanes + active, [this](const Lane& lane) {
            return lane.piece.length - lane.offset >= settings.chunkSize;
        });
        if (active < expected && patient && fullChunks && !readerWaits && !hasher.quit && !Stopping()) {
            hasher.waits = true;
            patient = held.Wait(hasher.wake, kLaneWaitMs);
            hasher.waits = false;
            continue;
        }
        const ExclusiveLock::Unlocked hashing(held);
        for (std::size_t i = 0; i < active; ++i) {
            if (std::exchange(lanes[i].started, true)) continue;
            const Piece& piece = lanes[i].piece;
            // Until it is done, the hasher alone touches `ok`.
            if (piece.first) {
                if (settings.hasherHook) settings.hasherHook(piece.result->fileIndex);
                piece.result->ok = true;
            }
            piece.result->ok = piece.result->ok && piece.bytes != nullptr;
        }
        HashChunkOfEach(lanes, active);
    }
}

// Hashes the next chunk of each lane's piece, with HashChunks' rule for each
// file: a cancel stops a file before its next full chunk, never before a
// partial last one.
void HashPipeline::HashChunkOfEach(Lane lanes[], std::size_t count) {
    Digest* digests[kMaxLanes];
    const std::uint8_t* bytes[kMaxLanes];
    std::uint32_t lengths[kMaxLanes];
    const bool stopping = Stopping();
    std::size_t now = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Lane& lane = lanes[i];
        Result& result = *lane.piece.result;
        if (!result.ok || lane.offset == lane.piece.length) continue;
        const std::uint32_t chunk = std::min<std::uint32_t>(settings.chunkSize, lane.piece.length - lane.offset);
        if (chunk == settings.chunkSize && stopping) {
            result.ok = false;
            continue;
        }
        digests[now] = &result.digest;
        bytes[now] = lane.piece.bytes + lane.offset;
        lengths[now] = chunk;
        lane.offset += chunk;
        ++now;
    }
    if (now == 1)
        digests[0]->Update(bytes[0], lengths[0]);
    else if (now > 1)
        Digest::UpdateLanes(digests, bytes, lengths, now);
}
