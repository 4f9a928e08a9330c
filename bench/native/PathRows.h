#pragma once
// The rows for each SHA-1, SHA-256, SHA-512 and CRC-32 path this processor runs; shared by the
// native and the Windows algorithm benchmarks.
#include "../BenchCommon.h"
#include "algorithms/Digest.h"

namespace bench {

template <typename Path>
struct PathName {
    Path path;
    const char* name;
};

inline const PathName<Sha1Path> kSha1Paths[] = {
    {Sha1Path::Portable, "SHA-1 (portable)"},
    {Sha1Path::ShaExtensions, "SHA-1 (SHA extensions)"},
};

inline const PathName<Sha256Path> kSha256Paths[] = {
    {Sha256Path::Portable, "SHA-256 (portable)"},
    {Sha256Path::ShaExtensions, "SHA-256 (SHA extensions)"},
};

inline const PathName<Sha512Path> kSha512Paths[] = {
    {Sha512Path::Portable, "SHA-512 (portable)"},
    {Sha512Path::Avx2, "SHA-512 (AVX2)"},
    {Sha512Path::Avx512, "SHA-512 (AVX-512)"},
    {Sha512Path::Bmi2, "SHA-512 (BMI2)"},
};

inline const PathName<Crc32Path> kCrc32Paths[] = {
    {Crc32Path::Portable, "CRC-32 tables"},
    {Crc32Path::Pclmul, "CRC-32 PCLMUL"},
    {Crc32Path::Vpclmul256, "CRC-32 VPCLMUL 256"},
    {Crc32Path::Vpclmul512, "CRC-32 VPCLMUL 512"},
};

// Each path over the whole buffer, where memory bandwidth may be the limit,
// and over one 64 KiB piece again and again, which stays in the cache.
inline void CompareCrc32PathsWithZlib(const std::vector<std::uint8_t>& buffer) {
    std::uint32_t ours = 0, theirs = 0;
    const auto zlibPieces = [&](std::size_t step) {
        uLong crc = crc32(0, Z_NULL, 0);
        for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
            crc = crc32(crc, buffer.data() + i * step / kPiece, static_cast<uInt>(kPiece));
        }
        return static_cast<std::uint32_t>(crc);
    };
    const auto ourPieces = [&](std::size_t step) {
        std::uint32_t crc = 0;
        for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
            crc = Crc32Update(crc, buffer.data() + i * step / kPiece, static_cast<std::uint32_t>(kPiece));
        }
        return crc;
    };
    for (const std::size_t step : {kPiece, std::size_t{0}}) {
        const double b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = zlibPieces(step); });
        for (const PathName<Crc32Path>& path : kCrc32Paths) {
            if (Crc32UsePath(path.path)) {
                const double a = BestMegabytesPerSecond(kBufferSize, [&] { ours = ourPieces(step); });
                const std::string name = std::string(path.name) + (step == 0 ? " cache" : "");
                PrintRow(name.c_str(), a, step == 0 ? "zlib crc32 in cache" : "zlib crc32", b, ours == theirs);
            }
        }
    }
    Crc32UsePath(Crc32Path::Fastest);
}

// The buffer as kLanes messages, each call of Digest::UpdateLanes giving each
// its next kLanePiece bytes, or (oneStream) each message hashed alone in
// the same pieces; the digests' hex text.
constexpr std::size_t kLanes = 8;
constexpr std::size_t kLanePiece = std::size_t{1} << 20;

inline std::wstring LaneDigests(DigestAlgorithm algorithm, const std::vector<std::uint8_t>& buffer, bool oneStream) {
    const std::size_t length = buffer.size() / kLanes;
    std::vector<Digest> digests(kLanes, Digest(algorithm));
    Digest* lanes[kLanes];
    for (std::size_t i = 0; i < kLanes; ++i) lanes[i] = &digests[i];
    for (std::size_t at = 0; at < length; at += kLanePiece) {
        const std::uint8_t* bytes[kLanes];
        std::uint32_t lengths[kLanes];
        for (std::size_t i = 0; i < kLanes; ++i) {
            bytes[i] = buffer.data() + i * length + at;
            lengths[i] = static_cast<std::uint32_t>(kLanePiece);
            if (oneStream) digests[i].Update(bytes[i], lengths[i]);
        }
        if (!oneStream) Digest::UpdateLanes(lanes, bytes, lengths, kLanes);
    }
    std::wstring hex;
    for (Digest& digest : digests) hex += digest.Hex(true);
    return hex;
}

struct LanesRow {
    DigestAlgorithm algorithm;
    int path;  // an Md5LanesPath, Sha1LanesPath or Sha256LanesPath
    const char* name;
    bool portable;  // beside one stream of the portable code (a processor without SHA extensions)
};

inline const LanesRow kLanesRows[] = {
    {DigestMd5, int(Md5LanesPath::Scalar), "MD5 lanes: scalar", false},
    {DigestMd5, int(Md5LanesPath::Sse2x4), "MD5 lanes: SSE2 x4", false},
    {DigestMd5, int(Md5LanesPath::Avx2x8), "MD5 lanes: AVX2 x8", false},
    {DigestSha1, int(Sha1LanesPath::ShaExtensionsX2), "SHA-1 SHA-ext x2", false},
    {DigestSha1, int(Sha1LanesPath::Avx2x8), "SHA-1 AVX2 x8", true},
    {DigestSha256, int(Sha256LanesPath::ShaExtensionsX2), "SHA-256 SHA-ext x2", false},
    {DigestSha256, int(Sha256LanesPath::Avx2x8), "SHA-256 AVX2 x8", true},
};

inline bool UseLanesPath(DigestAlgorithm algorithm, int path) {
    switch (algorithm) {
    case DigestMd5: return Md5LanesUsePath(Md5LanesPath(path));
    case DigestSha1: return Sha1LanesUsePath(Sha1LanesPath(path));
    case DigestSha256: return Sha256LanesUsePath(Sha256LanesPath(path));
    default: return false;
    }
}

// Each lanes path this processor runs beside the same messages one at a
// time, on the fastest single-stream path or on the portable one.
inline void CompareLanePaths(const std::vector<std::uint8_t>& buffer) {
    std::printf("\n%zu messages of %zu MiB, %zu KiB of each a call, MB/s of all together\n", kLanes,
                buffer.size() / kLanes >> 20, kLanePiece >> 10);
    for (const LanesRow& row : kLanesRows) {
        if (!UseLanesPath(row.algorithm, row.path)) continue;
        if (row.portable) {
            Sha1UsePath(Sha1Path::Portable);
            Sha256UsePath(Sha256Path::Portable);
        }
        std::wstring ours, theirs;
        const double b = BestMegabytesPerSecond(buffer.size(), [&] { theirs = LaneDigests(row.algorithm, buffer, true); });
        const double a = BestMegabytesPerSecond(buffer.size(), [&] { ours = LaneDigests(row.algorithm, buffer, false); });
        PrintRow(row.name, a, row.portable ? "one stream, portable" : "one stream", b, ours == theirs);
        Sha1UsePath(Sha1Path::Fastest);
        Sha256UsePath(Sha256Path::Fastest);
        UseLanesPath(row.algorithm, 0);
    }
}

}  // namespace bench
