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

// The buffer as `messages` messages (whole pieces of each), each call of
// Digest::UpdateLanes giving each its next kLanePiece bytes, or (oneStream)
// each message hashed alone in the same pieces; the digests' hex text.
constexpr std::size_t kLanePiece = std::size_t{1} << 20;

inline std::size_t LaneBytes(std::size_t bufferSize, std::size_t messages) {
    return bufferSize / messages / kLanePiece * kLanePiece;
}

inline std::wstring LaneDigests(DigestAlgorithm algorithm, const std::vector<std::uint8_t>& buffer, bool oneStream,
                                std::size_t messages) {
    const std::size_t length = LaneBytes(buffer.size(), messages);
    std::vector<Digest> digests(messages, Digest(algorithm));
    std::vector<Digest*> lanes;
    for (Digest& digest : digests) lanes.push_back(&digest);
    std::vector<const std::uint8_t*> bytes(messages);
    const std::vector<std::uint32_t> lengths(messages, static_cast<std::uint32_t>(kLanePiece));
    for (std::size_t at = 0; at < length; at += kLanePiece) {
        for (std::size_t i = 0; i < messages; ++i) {
            bytes[i] = buffer.data() + i * length + at;
            if (oneStream) digests[i].Update(bytes[i], lengths[i]);
        }
        if (!oneStream) Digest::UpdateLanes(lanes.data(), bytes.data(), lengths.data(), messages);
    }
    std::wstring hex;
    for (Digest& digest : digests) hex += digest.Hex(true);
    return hex;
}

struct LanesRow {
    DigestAlgorithm algorithm;
    int path;  // an Md5LanesPath, Sha1LanesPath, Sha256LanesPath or Sha512LanesPath
    const char* name;
    std::size_t messages;
    bool portable;  // beside one stream of the portable code (a processor without SHA extensions)
};

// The AVX-512 x16 rows beside x8 ones with as many messages show whether the
// ZMM registers pay for 9 to 16 messages.
inline const LanesRow kLanesRows[] = {
    {DigestMd5, int(Md5LanesPath::Scalar), "MD5 lanes: scalar", 8, false},
    {DigestMd5, int(Md5LanesPath::Sse2x4), "MD5 lanes: SSE2 x4", 8, false},
    {DigestMd5, int(Md5LanesPath::Avx2x8), "MD5 lanes: AVX2 x8", 8, false},
    {DigestMd5, int(Md5LanesPath::Avx512x8), "MD5 lanes: AVX-512 x8", 8, false},
    {DigestMd5, int(Md5LanesPath::Avx512x8), "MD5 AVX-512 x8, 12 msgs", 12, false},
    {DigestMd5, int(Md5LanesPath::Avx512x16), "MD5 AVX-512 x16, 12 msgs", 12, false},
    {DigestMd5, int(Md5LanesPath::Avx512x8), "MD5 AVX-512 x8, 16 msgs", 16, false},
    {DigestMd5, int(Md5LanesPath::Avx512x16), "MD5 AVX-512 x16, 16 msgs", 16, false},
    {DigestSha1, int(Sha1LanesPath::ShaExtensionsX2), "SHA-1 SHA-ext x2", 8, false},
    {DigestSha1, int(Sha1LanesPath::Avx2x8), "SHA-1 AVX2 x8", 8, true},
    {DigestSha256, int(Sha256LanesPath::ShaExtensionsX2), "SHA-256 SHA-ext x2", 8, false},
    {DigestSha256, int(Sha256LanesPath::Avx2x8), "SHA-256 AVX2 x8", 8, true},
    {DigestSha512, int(Sha512LanesPath::Avx2x4), "SHA-512 AVX2 x4", 4, false},
    {DigestSha512, int(Sha512LanesPath::Avx512x4), "SHA-512 AVX-512 x4", 4, false},
    {DigestSha512, int(Sha512LanesPath::Avx512x8), "SHA-512 AVX-512 x8", 8, false},
};

inline bool UseLanesPath(DigestAlgorithm algorithm, int path) {
    switch (algorithm) {
    case DigestMd5: return Md5LanesUsePath(Md5LanesPath(path));
    case DigestSha1: return Sha1LanesUsePath(Sha1LanesPath(path));
    case DigestSha256: return Sha256LanesUsePath(Sha256LanesPath(path));
    case DigestSha512: return Sha512LanesUsePath(Sha512LanesPath(path));
    default: return false;
    }
}

// Each lanes path this processor runs beside the same messages one at a
// time, on the fastest single-stream path or on the portable one.
inline void CompareLanePaths(const std::vector<std::uint8_t>& buffer) {
    std::printf("\nAbout %zu MiB in all as several messages, %zu KiB of each a call, MB/s of all together\n",
                buffer.size() >> 20, kLanePiece >> 10);
    for (const LanesRow& row : kLanesRows) {
        if (!UseLanesPath(row.algorithm, row.path)) continue;
        if (row.portable) {
            Sha1UsePath(Sha1Path::Portable);
            Sha256UsePath(Sha256Path::Portable);
        }
        const std::size_t bytes = LaneBytes(buffer.size(), row.messages) * row.messages;
        std::wstring ours, theirs;
        const double b = BestMegabytesPerSecond(bytes, [&] { theirs = LaneDigests(row.algorithm, buffer, true, row.messages); });
        const double a = BestMegabytesPerSecond(bytes, [&] { ours = LaneDigests(row.algorithm, buffer, false, row.messages); });
        PrintRow(row.name, a, row.portable ? "one stream, portable" : "one stream", b, ours == theirs);
        Sha1UsePath(Sha1Path::Fastest);
        Sha256UsePath(Sha256Path::Fastest);
        UseLanesPath(row.algorithm, 0);
    }
}

}  // namespace bench
