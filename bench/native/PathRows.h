#pragma once
// The rows for each SHA-1, SHA-256, SHA-512 and CRC-32 path this processor runs; shared by the
// native and the Windows algorithm benchmarks.
#include "../BenchCommon.h"

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

}  // namespace bench
