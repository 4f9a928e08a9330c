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

bool FileHasher::ReadAndHash(HANDLE file, std::uint64_t size) {
    const DWORD pieceBytes = settings.ReadBytes();
    if (size > pieceBytes && size >= settings.readAheadBytes) {
        const std::uint32_t slots = std::max<std::uint32_t>(2, settings.readAheadPieces);
        readBuffer.resize(std::size_t{slots} * pieceBytes);
        if (readAhead.Begin(settings.readFile, file, size, readBuffer.data(), pieceBytes, slots)) {
            std::uint64_t hashed = 0;
            DWORD length = 0;
            bool ok = true;
            for (const std::uint8_t* piece; ok && (piece = readAhead.Next(length)) != nullptr; readAhead.Release()) {
                ok = HashPiece(piece, length);
                hashed += length;
            }
            // Even after a cancel, the reader must be done with the buffer and the file.
            readAhead.End();
            return ok && hashed == size;
        }
    }
    readBuffer.resize(pieceBytes);
    for (std::uint64_t left = size; left != 0;) {
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(left, pieceBytes));
        if (!ReadPiece(file, readBuffer.data(), length, left) || !HashPiece(readBuffer.data(), length)) return false;
        left -= length;
    }
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
