#include "job/DigestDriver.h"

#include <algorithm>
#include <utility>

#include "support/LongPath.h"

DigestDriver::DigestDriver(const std::atomic<std::int32_t>& cancelFlag, JobReporter& progress)
    : cancel(cancelFlag), reporter(progress) {}

FileHandle DigestDriver::OpenForHashing(const WideString& filePath, std::uint64_t& size) {
    FileHandle file(::CreateFileW(ExtendedPath(filePath.view()).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER length;
    if (!file || !::GetFileSizeEx(file.get(), &length) || length.QuadPart < 0) return FileHandle();
    size = static_cast<std::uint64_t>(length.QuadPart);
    return file;
}

bool DigestDriver::DigestFile(HANDLE file, std::uint64_t size, bool steps) {
    stepPerChunk = steps;
    const std::size_t pieceBytes = std::size_t{reading.chunksPerRead} * reading.chunkSize;
    const bool overlap = size > pieceBytes && size >= reading.readAheadBytes;
    readBuffer.resize(overlap ? 2 * pieceBytes : pieceBytes);
    std::uint8_t* piece = readBuffer.data();
    std::uint8_t* nextPiece = piece + (overlap ? pieceBytes : 0);
    const auto pieceLength = [&](std::uint64_t left) {
        return static_cast<DWORD>(std::min<std::uint64_t>(left, pieceBytes));
    };

    // Bytes appended after the open are left out: the digest is of the file
    // as long as it was then.
    std::uint64_t left = size;
    DWORD length = pieceLength(left);
    if (!ReadPiece(file, piece, length, left)) return false;
    while (length != 0) {
        left -= length;
        const DWORD nextLength = pieceLength(left);
        const bool ahead = overlap && nextLength != 0 && readAhead.Request(reading.read, file, nextPiece, nextLength);
        bool ok = HashPiece(piece, length);
        // Even after a cancel, the reader must be done with the buffer and the file.
        if (ahead)
            ok = readAhead.Wait() && ok;
        else if (ok && nextLength != 0)
            ok = ReadPiece(file, nextPiece, nextLength, left);
        if (!ok) return false;
        std::swap(piece, nextPiece);
        length = nextLength;
    }
    return true;
}

bool DigestDriver::ReadPiece(HANDLE file, std::uint8_t* into, DWORD length, std::uint64_t left) {
    if (left >= reading.chunkSize && cancel) return false;
    // A file that ends early was truncated meanwhile: it was not read whole.
    return ReadFully(reading.read, file, into, length);
}

bool DigestDriver::HashPiece(const std::uint8_t* piece, DWORD length) {
    // The range, the steps and the cancel checks are per chunk: a cancel is
    // honoured before every full chunk, never before the partial last one.
    for (DWORD done = 0; done < length;) {
        const std::uint32_t chunk = std::min<DWORD>(reading.chunkSize, length - done);
        if (chunk == reading.chunkSize && cancel) return false;
        UpdateDigest(piece + done, chunk);
        done += chunk;
    }
    return true;
}

void DigestDriver::UpdateDigest(const void* bytes, std::uint32_t length) {
    digest.Update(bytes, length);
    // Among several files there is no step per chunk, but this still lets
    // lines finished before a long file go out on time.
    if (stepPerChunk) reporter.AddUnits(1);
    reporter.FlushIfDue();
}
