#pragma once
// The one way a job hashes files: an ordered list of files, each with its
// digest, goes in; each file's outcome comes out on the calling thread, in the
// list's order. Several files are shared among hasher threads (HashPipeline)
// when there are hashers to share them or lanes to fill; otherwise, and for a file hashed
// alone, the calling thread reads and hashes them one after the other.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "algorithms/Digest.h"
#include "job/JobReporter.h"
#include "job/JobSettings.h"
#include "job/ReadAhead.h"
#include "support/UniqueHandle.h"
#include "support/WideString.h"

// A file to hash and the digest to hash it with.
struct FileToHash {
    WideString path;  // empty: nothing to open (a sums entry naming a device)
    DigestAlgorithm algorithm;
};

enum class FileOutcome {
    NotOpened,  // it could not be opened or sized
    Cut,        // opened, not hashed whole: a read failed, it shrank meanwhile, or a cancel came
    Whole,      // every byte it had when opened was hashed
};

// Opens a file for hashing, sharing it with programs that write or delete it,
// and sets `size` to its length now. Bytes appended later are not hashed.
// Empty when it cannot be opened or sized, and for an empty path.
FileHandle OpenForHashing(const WideString& path, std::uint64_t& size);

// Feeds `length` bytes to `digest` a chunk of `chunkSize` at a time, calling
// `chunkDone` after each. `stopping` is asked before every full chunk and
// never before a partial last one, so a file smaller than a chunk is never cut
// short. False when it stopped. This is the one place that hashes a file's
// bytes alone; HashPipeline feeds lanes in the same steps.
template <typename Stopping, typename ChunkDone>
bool HashChunks(Digest& digest, const std::uint8_t* bytes, std::uint32_t length, std::uint32_t chunkSize,
                Stopping stopping, ChunkDone chunkDone) {
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t chunk = std::min(chunkSize, length - done);
        if (chunk == chunkSize && stopping()) return false;
        digest.Update(bytes + done, chunk);
        chunkDone();
        done += chunk;
    }
    return true;
}

class FileHasher {
public:
    // Takes one file's outcome and its digest, to be shown as zeros unless Whole.
    using Finished = std::function<void(const FileToHash& file, const Digest& digest, FileOutcome outcome)>;
    using Opened = std::function<void(std::uint64_t size)>;

    // Reads and hashes as `settings` say. After `cancel` is set no file is
    // begun and a file being hashed is cut before its next full chunk. Lines
    // and units the caller gathers in `reporter` go out on time meanwhile.
    // Worker thread only.
    FileHasher(const JobSettings& settings, const std::atomic<std::int32_t>& cancel, JobReporter& reporter);
    FileHasher(const FileHasher&) = delete;
    FileHasher& operator=(const FileHasher&) = delete;

    // Hashes `files` and hands each one's outcome to `finished`, on this thread
    // and in the files' order. Hasher threads share them when there are two
    // files or more and more than one hasher, or a digest with lanes (which
    // one hasher thread fills while this one reads); when those threads cannot
    // start, or else, this thread hashes them one by one. After a cancel, or
    // when memory runs out, the files begun still get their outcome and the
    // rest get none.
    void Hash(const std::vector<FileToHash>& files, const Finished& finished);
    // Hashes one file on this thread with a progress unit per chunk; `opened`
    // has its length before the first chunk, and no call when it cannot be
    // opened.
    void HashAlone(const FileToHash& file, const Opened& opened, const Finished& finished);

    const JobSettings& Settings() const { return settings; }
    bool Cancelled() const { return cancel != 0; }

private:
    void HashHere(const FileToHash& file, std::size_t index, const Opened* opened, const Finished& finished);
    // Feeds the first `size` bytes of `file` to `digest`, reading ahead on a
    // second thread for long files. False when the file was not hashed whole.
    bool ReadAndHash(HANDLE file, std::uint64_t size);
    // Reads the next piece unless a cancel would stop its first chunk anyway.
    bool ReadPiece(HANDLE file, std::uint8_t* into, DWORD length, std::uint64_t left);
    bool HashPiece(const std::uint8_t* piece, DWORD length);

    const JobSettings& settings;
    const std::atomic<std::int32_t>& cancel;
    JobReporter& reporter;
    const std::uint32_t hashers;
    bool unitPerChunk = false;
    // The state of the file hashed here, reused file after file.
    Digest digest;
    // Reused for every read: one piece, or the read-ahead ring.
    std::vector<std::uint8_t> readBuffer;
    ReadAhead readAhead;
};
