#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "algorithms/Crc32.h"
#include "job/HashJob.h"
#include "job/Messages.h"

namespace {
// Whatever chunksPerView says, a view stays far below what a 32-bit process
// can map in one piece.
constexpr std::uint64_t MaxViewBytes = 64u << 20;
}  // namespace

void HashJob::InitDigest() {
    switch (algorithm) {
    case DigestMd5: Md5Init(md5Context); break;
    case DigestSha1: Sha1Init(sha1Context); break;
    case DigestCrc32: crcValue = 0; break;
    }
}

bool HashJob::DigestFile(const WideString& filePath) {
    FileHandle file(::CreateFileW(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER sizeValue;
    if (!::GetFileSizeEx(file.get(), &sizeValue) || sizeValue.QuadPart < 0) return false;
    const std::uint64_t size = static_cast<std::uint64_t>(sizeValue.QuadPart);
    // An empty file has been read whole: there is nothing to map.
    if (size == 0) return true;
    NullHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY,
                                            static_cast<DWORD>(size >> 32),
                                            static_cast<DWORD>(size), nullptr));
    if (!mapping) return false;

    // Several chunks share one view, but the range, the steps and the cancel
    // checks stay per chunk: a cancel is honoured before every full chunk,
    // never before the partial last one.
    const std::uint64_t viewLimit =
        std::max<std::uint64_t>(1, std::min<std::uint64_t>(chunksPerView, MaxViewBytes / chunkSize)) *
        chunkSize;
    std::uint64_t offset = 0;
    while (offset < size) {
        const std::uint64_t remaining = size - offset;
        const SIZE_T viewBytes = static_cast<SIZE_T>(std::min(remaining, viewLimit));
        if (remaining >= chunkSize && cancelRequested) return false;
        // The last view ends exactly at the end of the file.
        MappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ,
                                        static_cast<DWORD>(offset >> 32),
                                        static_cast<DWORD>(offset), viewBytes));
        if (!view) return false;
        const auto* bytes = static_cast<const std::uint8_t*>(view.get());
        for (SIZE_T done = 0; done < viewBytes;) {
            const auto length =
                static_cast<std::uint32_t>(std::min<SIZE_T>(chunkSize, viewBytes - done));
            if (done != 0 && length == chunkSize && cancelRequested) return false;
            UpdateDigest(bytes + done, length);
            done += length;
        }
        offset += viewBytes;
    }
    return true;
}

void HashJob::UpdateDigest(const void* bytes, std::uint32_t length) {
    switch (algorithm) {
    case DigestMd5: Md5Update(md5Context, bytes, static_cast<std::int32_t>(length)); break;
    case DigestSha1: Sha1Update(sha1Context, bytes, length); break;
    case DigestCrc32: crcValue = Crc32Update(crcValue, bytes, length); break;
    }
    // Per-chunk progress only for a single file. A step that cannot be
    // posted is dropped: the bar lags, nothing else is lost.
    if (!multipleFiles) postMessage(targetWindow, UM_PROGRESS_STEP, 0, 0);
}

void HashJob::PostResultLine(bool ok, const WideString& filePath) {
    std::unique_ptr<WideString> line;
    try {
        std::wstring text;
        switch (algorithm) {
        case DigestMd5: {
            std::uint8_t digest[16] = {};
            if (ok) Md5Final(md5Context, digest);
            text = L"[MD5] ";
            text += BytesToHex(digest, sizeof digest).view();
            break;
        }
        case DigestSha1: {
            std::uint8_t digest[20] = {};
            if (ok) Sha1Final(sha1Context, digest);
            text = L"[SHA-1] ";
            text += BytesToHex(digest, sizeof digest).view();
            break;
        }
        case DigestCrc32: {
            if (!ok) crcValue = 0;
            wchar_t digest[20];
            std::swprintf(digest, sizeof digest / sizeof digest[0], L"[CRC32] %08X",
                          static_cast<unsigned>(crcValue));
            text = digest;
            break;
        }
        }
        text += L" - ";
        text += filePath.view();
        text += L"\r\n";
        line = std::make_unique<WideString>(std::move(text));
    } catch (const std::bad_alloc&) {
        return;  // the line is dropped; the job goes on
    }
    // The receiver owns the line once the post has succeeded, not before.
    if (PostReliably(UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(line.get()))) line.release();
}

WideString BytesToHex(const std::uint8_t* bytes, std::size_t count) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text(2 * count, L'0');
    for (std::size_t i = 0; i < count; ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return WideString(std::move(text));
}
