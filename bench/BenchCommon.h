#pragma once
// Shared by the algorithm benchmarks: a 256 MiB buffer fed in 64 KiB pieces
// (SHA-512 in 1 MiB pieces), best of a few timed passes, one table row per
// algorithm.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "algorithms/Base64.h"
#include "algorithms/Crc32.h"
#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"
#include "algorithms/Sha256.h"
#include "algorithms/Sha512.h"

namespace bench {

constexpr std::size_t kBufferSize = std::size_t{256} << 20;
constexpr std::size_t kPiece = std::size_t{64} << 10;
// SHA-512's kernel target is stated for pieces of this size.
constexpr std::size_t kSha512Piece = std::size_t{1} << 20;
constexpr int kPasses = 3;

// Pseudo-random content (xorshift), so nothing is special about the bytes.
inline std::vector<std::uint8_t> MakeBuffer() {
    std::vector<std::uint8_t> buffer(kBufferSize);
    std::uint32_t x = 2463534242u;
    for (std::size_t i = 0; i < buffer.size(); i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        std::memcpy(&buffer[i], &x, 4);
    }
    return buffer;
}

// Base64 text of the buffer's bytes, one NUL-terminated piece of kPiece
// characters (from 3/4 kPiece bytes) after another, kBufferSize characters in all.
struct Base64Pieces {
    std::vector<char> text;
    std::size_t count = kBufferSize / kPiece;
    const char* Piece(std::size_t i) const { return text.data() + i * (kPiece + 1); }
};

inline Base64Pieces MakeBase64Pieces(const std::vector<std::uint8_t>& buffer) {
    Base64Pieces pieces;
    pieces.text.resize(pieces.count * (kPiece + 1));
    for (std::size_t i = 0; i < pieces.count; ++i) {
        char* out = pieces.text.data() + i * (kPiece + 1);
        const std::int32_t written =
            Base64Encode(buffer.data() + i * (kPiece / 4 * 3), static_cast<std::int32_t>(kPiece / 4 * 3), out);
        out[written] = '\0';
    }
    return pieces;
}

// Runs pass() kPasses times and returns the best throughput in MB/s
// (10^6 bytes a second) for `bytes` bytes a pass.
template <typename Pass>
double BestMegabytesPerSecond(std::size_t bytes, Pass pass) {
    double best = 0;
    for (int i = 0; i < kPasses; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pass();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::max(best, static_cast<double>(bytes) / 1e6 / elapsed.count());
    }
    return best;
}

inline std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char pair[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

inline void PrintHeader(const char* referenceName) {
    std::printf("%zu MiB in %zu KiB pieces, best of %d passes, MB/s = 10^6 bytes/s\n\n",
                kBufferSize >> 20, kPiece >> 10, kPasses);
    std::printf("%-24s %10s   %-26s %10s   %6s  %s\n", "Algorithm", "Dunmo", referenceName, "MB/s",
                "ratio", "same result");
}

inline void PrintRow(const char* name, double ours, const char* reference, double theirs,
                     bool same) {
    if (theirs > 0) {
        std::printf("%-24s %10.0f   %-26s %10.0f   %6.2f  %s\n", name, ours, reference, theirs,
                    ours / theirs, same ? "yes" : "NO");
    } else {
        std::printf("%-24s %10.0f   %-26s %10s   %6s  %s\n", name, ours, reference, "-", "-",
                    same ? "yes" : "NO");
    }
}

// Our side of each row; the reference side is the caller's.
inline std::string OurMd5(const std::vector<std::uint8_t>& buffer) {
    Md5Context context;
    Md5Init(context);
    for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
        Md5Update(context, buffer.data() + i, static_cast<std::int32_t>(kPiece));
    }
    std::uint8_t digest[16];
    Md5Final(context, digest);
    return Hex(digest, 16);
}

inline std::string OurSha1(const std::vector<std::uint8_t>& buffer) {
    Sha1Context context;
    Sha1Init(context);
    for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
        Sha1Update(context, buffer.data() + i, static_cast<std::uint32_t>(kPiece));
    }
    std::uint8_t digest[20];
    Sha1Final(context, digest);
    return Hex(digest, 20);
}

inline std::string OurSha256(const std::vector<std::uint8_t>& buffer) {
    Sha256Context context;
    Sha256Init(context);
    for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
        Sha256Update(context, buffer.data() + i, static_cast<std::uint32_t>(kPiece));
    }
    std::uint8_t digest[32];
    Sha256Final(context, digest);
    return Hex(digest, 32);
}

inline std::string OurSha512(const std::vector<std::uint8_t>& buffer) {
    Sha512Context context;
    Sha512Init(context);
    for (std::size_t i = 0; i < buffer.size(); i += kSha512Piece) {
        Sha512Update(context, buffer.data() + i, static_cast<std::uint32_t>(kSha512Piece));
    }
    std::uint8_t digest[64];
    Sha512Final(context, digest);
    return Hex(digest, 64);
}

inline std::uint32_t OurCrc32(const std::vector<std::uint8_t>& buffer) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
        crc = Crc32Update(crc, buffer.data() + i, static_cast<std::uint32_t>(kPiece));
    }
    return crc;
}

// The plain one-look-up-per-byte loop over Crc32Table, to show what the
// sliced tables gain.
inline std::uint32_t BytewiseCrc32(const std::vector<std::uint8_t>& buffer) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t b : buffer) {
        c = Crc32Table[(c ^ b) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

// Encodes every 64 KiB piece into `text`; returns a checksum of the output
// so the work cannot be dropped and both encoders can be compared.
template <typename Encode>
std::uint32_t EncodePieces(const std::vector<std::uint8_t>& buffer, std::vector<char>& text,
                           Encode encode) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
        const int written = encode(buffer.data() + i, static_cast<int>(kPiece), text.data());
        sum = Crc32Update(sum, text.data(), 64) ^ static_cast<std::uint32_t>(written);
    }
    return sum;
}

template <typename Decode>
std::uint32_t DecodePieces(const Base64Pieces& pieces, std::vector<std::uint8_t>& bytes,
                           Decode decode) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < pieces.count; ++i) {
        const int written = decode(pieces.Piece(i), bytes.data());
        sum = Crc32Update(sum, bytes.data(), 64) ^ static_cast<std::uint32_t>(written);
    }
    return sum;
}

// Our CRC-32, word-wise and byte at a time, beside zlib's crc32.
inline void CompareCrc32WithZlib(const std::vector<std::uint8_t>& buffer) {
    std::uint32_t ours = 0, theirs = 0, bytewise = 0;
    const double a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurCrc32(buffer); });
    const double b = BestMegabytesPerSecond(kBufferSize, [&] {
        uLong crc = crc32(0, Z_NULL, 0);
        for (std::size_t i = 0; i < buffer.size(); i += kPiece) {
            crc = crc32(crc, buffer.data() + i, static_cast<uInt>(kPiece));
        }
        theirs = static_cast<std::uint32_t>(crc);
    });
    const double c = BestMegabytesPerSecond(kBufferSize, [&] { bytewise = BytewiseCrc32(buffer); });
    PrintRow("CRC-32 (braided)", a, "zlib crc32", b, ours == theirs);
    PrintRow("CRC-32 (byte at a time)", c, "zlib crc32", b, bytewise == theirs);
}

}  // namespace bench
