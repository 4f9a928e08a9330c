#include "job/FileHasher.h"

#include <utility>

#include "job/HashPipeline.h"
#include "support/LongPath.h"

FileHandle OpenForHashing(const WideString& path, std::uint64_t& size) {
    if (path.empty()) return FileHandle();
    FileHandle file(::CreateFileW(ExtendedPath(path.view()).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER length;
    if (!file || !::GetFileSizeEx(file.get(), &length) || length.QuadPart < 0) return FileHandle();
    size = static_cast<std::uint64_t>(length.QuadPart);
    return file;
}

FileHasher::FileHasher(const JobSettings& chosen, const std::atomic<std::int32_t>& cancelFlag, JobReporter& progress)
    : settings(chosen), cancel(cancelFlag), reporter(progress),
      hashers(chosen.hasherCount != 0 ? chosen.hasherCount : HashPipeline::UsableProcessors()) {}

void FileHasher::Hash(const std::vector<FileToHash>& files, const Finished& finished) {
    const std::size_t lanes = HashPipeline::Lanes(files);
    // Lanes leave the reader a processor of its own: see JobSettings::hasherCount.
    const std::uint32_t count = settings.hasherCount == 0 && lanes >= 4 ? std::max<std::uint32_t>(1, hashers - 1) : hashers;
    if (files.size() > 1 && (count > 1 || lanes > 1)) {
        HashPipeline pipeline(settings, count, cancel);
        if (pipeline.Run(files, finished, [this] { reporter.FlushIfDue(); })) return;
    }
    unitPerChunk = false;
    for (std::size_t index = 0; index < files.size() && !Cancelled(); ++index)
        HashHere(files[index], index, nullptr, finished);
}

void FileHasher::HashAlone(const FileToHash& file, const Opened& opened, const Finished& finished) {
    unitPerChunk = true;
    HashHere(file, 0, &opened, finished);
}

void FileHasher::HashHere(const FileToHash& file, std::size_t index, const Opened* opened, const Finished& finished) {
    digest.Init(file.algorithm);
    FileOutcome outcome = FileOutcome::NotOpened;
    {
        std::uint64_t size = 0;
        const FileHandle handle = OpenForHashing(file.path, size);
        if (handle) {
            if (opened) (*opened)(size);
            if (size != 0 && settings.hasherHook) settings.hasherHook(index);
            outcome = ReadAndHash(handle.get(), size) ? FileOutcome::Whole : FileOutcome::Cut;
        }
    }
    finished(file, digest, outcome);
}

namespace {

std::int64_t Ticks() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// A digest this fast reads in turn. Reading in turn loses at most its hashing
// time per piece, about what a hand-over per piece costs under Wine; the rule
// leaves out the read's own time, which a cold file on a slow disk makes long
// enough that every digest would seem to outrun it.
constexpr std::int64_t kInTurnBytesPerSecond = std::int64_t{8} << 30;

bool HashesInTurn(std::int64_t hashTicks, DWORD length) {
    LARGE_INTEGER frequency;
    if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return false;
    // hashTicks / frequency < length / kInTurnBytesPerSecond, without division.
    return static_cast<double>(hashTicks) * kInTurnBytesPerSecond <
           static_cast<double>(length) * static_cast<double>(frequency.QuadPart);
}

}  // namespace

bool FileHasher::ReadAndHash(HANDLE file, std::uint64_t size) {
    const DWORD pieceBytes = settings.ReadBytes();
    readBuffer.resize(pieceBytes);
    // A long file's first piece is read and hashed here, its hashing timed: a
    // digest that far outruns any read gains nothing from a second thread but
    // a hand-over per piece, and hashes best from one buffer that stays in
    // cache, so it reads in turn (CRC32 read ahead took over twice the bare
    // reads under Wine).
    bool timing = size > pieceBytes && size >= settings.readAheadBytes;
    for (std::uint64_t left = size; left != 0;) {
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(left, pieceBytes));
        if (!ReadPiece(file, readBuffer.data(), length, left)) return false;
        const std::int64_t read = timing ? Ticks() : 0;
        if (!HashPiece(readBuffer.data(), length)) return false;
        left -= length;
        if (timing) {
            timing = false;
            bool whole = false;
            if (!HashesInTurn(Ticks() - read, length) && ReadAheadAndHash(file, left, whole)) return whole;
        }
    }
    return true;
}

bool FileHasher::ReadAheadAndHash(HANDLE file, std::uint64_t size, bool& whole) {
    const DWORD pieceBytes = settings.ReadBytes();
    const std::uint32_t slots = std::max<std::uint32_t>(2, settings.readAheadPieces);
    readBuffer.resize(std::size_t{slots} * pieceBytes);
    if (!readAhead.Begin(settings.readFile, file, size, readBuffer.data(), pieceBytes, slots)) return false;
    std::uint64_t hashed = 0;
    DWORD length = 0;
    bool ok = true;
    for (const std::uint8_t* piece; ok && (piece = readAhead.Next(length)) != nullptr; readAhead.Release()) {
        ok = HashPiece(piece, length);
        hashed += length;
    }
    // Even after a cancel, the reader must be done with the buffer and the file.
    readAhead.End();
    whole = ok && hashed == size;
    return true;
}

bool FileHasher::ReadPiece(HANDLE file, std::uint8_t* into, DWORD length, std::uint64_t left) {
    if (left >= settings.chunkSize && Cancelled()) return false;
    // A file that ends early was truncated meanwhile: it was not read whole.
    return ReadFully(settings.readFile, file, into, length);
}

bool FileHasher::HashPiece(const std::uint8_t* piece, DWORD length) {
    // Among several files there is no unit per chunk, but flushing here still
    // lets lines finished before a long file go out on time.
    return HashChunks(
        digest, piece, length, settings.chunkSize, [this] { return Cancelled(); },
        [this] {
            if (unitPerChunk) reporter.AddUnits(1);
            reporter.FlushIfDue();
        });
}
