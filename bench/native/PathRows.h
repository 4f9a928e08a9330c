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
#if !defined(__x86_64__) && !defined(_M_X64)
    // Slower than the portable code where that has 64-bit registers.
    {Sha512Path::Ssse3, "SHA-512 (SSSE3)"},
#endif
    {Sha512Path::Avx2, "SHA-512 (AVX2)"},
    {Sha512Path::Bmi2, "SHA-512 (BMI2)"},
    {Sha512Path::Avx512, "SHA-512 (AVX-512)"},
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
    std::size_t width;  // messages at once, which tells the chosen path (Digest::Lanes)
};

// The AVX-512 x16 rows beside x8 ones with as many messages show whether the
// ZMM registers pay for 9 to 16 messages.
inline const LanesRow kLanesRows[] = {
    {DigestMd5, int(Md5LanesPath::Scalar), "MD5 lanes: scalar", 8, false, 1},
    {DigestMd5, int(Md5LanesPath::Sse2x4), "MD5 lanes: SSE2 x4", 8, false, 4},
    {DigestMd5, int(Md5LanesPath::Avx2x8), "MD5 lanes: AVX2 x8", 8, false, 8},
    {DigestMd5, int(Md5LanesPath::Avx512x8), "MD5 lanes: AVX-512 x8", 8, false, 8},
    {DigestMd5, int(Md5LanesPath::Avx512x8), "MD5 AVX-512 x8, 12 msgs", 12, false, 8},
    {DigestMd5, int(Md5LanesPath::Avx512x16), "MD5 AVX-512 x16, 12 msgs", 12, false, 16},
    {DigestMd5, int(Md5LanesPath::Avx512x8), "MD5 AVX-512 x8, 16 msgs", 16, false, 8},
    {DigestMd5, int(Md5LanesPath::Avx512x16), "MD5 AVX-512 x16, 16 msgs", 16, false, 16},
    {DigestSha1, int(Sha1LanesPath::ShaExtensionsX2), "SHA-1 SHA-ext x2", 8, false, 2},
    {DigestSha1, int(Sha1LanesPath::Avx2x8), "SHA-1 AVX2 x8", 8, true, 8},
    {DigestSha1, int(Sha1LanesPath::Avx512x8), "SHA-1 AVX-512 x8", 8, false, 8},
    {DigestSha1, int(Sha1LanesPath::Avx512x8), "SHA-1 AVX-512 x8, 16 msgs", 16, false, 8},
    {DigestSha1, int(Sha1LanesPath::Avx512x16), "SHA-1 AVX-512 x16, 16 msgs", 16, false, 16},
    {DigestSha256, int(Sha256LanesPath::ShaExtensionsX2), "SHA-256 SHA-ext x2", 8, false, 2},
    {DigestSha256, int(Sha256LanesPath::Avx2x8), "SHA-256 AVX2 x8", 8, true, 8},
    {DigestSha256, int(Sha256LanesPath::Avx512x8), "SHA-256 AVX-512 x8", 8, true, 8},
    {DigestSha256, int(Sha256LanesPath::Avx512x8), "SHA-256 AVX-512 x8, 16 msgs", 16, true, 8},
    {DigestSha256, int(Sha256LanesPath::Avx512x16), "SHA-256 AVX-512 x16, 16 msgs", 16, true, 16},
    {DigestSha512, int(Sha512LanesPath::Avx2x4), "SHA-512 AVX2 x4", 4, false, 4},
    {DigestSha512, int(Sha512LanesPath::Avx512x4), "SHA-512 AVX-512 x4", 4, false, 4},
    {DigestSha512, int(Sha512LanesPath::Avx512x8), "SHA-512 AVX-512 x8", 8, false, 8},
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

// One lanes row's rates in MB/s: the lanes (ours) and the same messages one
// at a time (theirs), and whether both gave the same digests. False when this
// processor lacks the path.
struct LanesRates {
    double lanes = 0, oneStream = 0;
    bool same = false;
};

inline bool MeasureLanes(const LanesRow& row, const std::vector<std::uint8_t>& buffer, LanesRates& rates) {
    if (!UseLanesPath(row.algorithm, row.path)) return false;
    if (row.portable) {
        Sha1UsePath(Sha1Path::Portable);
        Sha256UsePath(Sha256Path::Portable);
    }
    const std::size_t bytes = LaneBytes(buffer.size(), row.messages) * row.messages;
    std::wstring ours, theirs;
    rates.oneStream = BestMegabytesPerSecond(bytes, [&] { theirs = LaneDigests(row.algorithm, buffer, true, row.messages); });
    rates.lanes = BestMegabytesPerSecond(bytes, [&] { ours = LaneDigests(row.algorithm, buffer, false, row.messages); });
    rates.same = ours == theirs;
    Sha1UsePath(Sha1Path::Fastest);
    Sha256UsePath(Sha256Path::Fastest);
    UseLanesPath(row.algorithm, 0);
    return true;
}

// Each lanes path this processor runs beside the same messages one at a
// time, on the fastest single-stream path or on the portable one.
inline void CompareLanePaths(const std::vector<std::uint8_t>& buffer) {
    std::printf("\nAbout %zu MiB in all as several messages, %zu KiB of each a call, MB/s of all together\n",
                buffer.size() >> 20, kLanePiece >> 10);
    for (const LanesRow& row : kLanesRows) {
        LanesRates rates;
        if (MeasureLanes(row, buffer, rates)) {
            PrintRow(row.name, rates.lanes, row.portable ? "one stream, portable" : "one stream", rates.oneStream,
                     rates.same);
        }
    }
}

// The path each digest runs by default. The single-stream tables go from the
// slowest path to the fastest, so the last one available is the one chosen;
// the chosen lanes path is the last available row as wide as Digest::Lanes
// says (the rows of each digest also go from the slowest to the fastest).
template <typename Path, std::size_t count>
const char* ChosenPath(const PathName<Path> (&paths)[count], bool (*available)(Path)) {
    const char* chosen = paths[0].name;
    for (const PathName<Path>& path : paths) {
        if (available(path.path)) chosen = path.name;
    }
    return chosen;
}

inline bool LanesPathAvailable(DigestAlgorithm algorithm, int path) {
    switch (algorithm) {
    case DigestMd5: return Md5LanesPathAvailable(Md5LanesPath(path));
    case DigestSha1: return Sha1LanesPathAvailable(Sha1LanesPath(path));
    case DigestSha256: return Sha256LanesPathAvailable(Sha256LanesPath(path));
    case DigestSha512: return Sha512LanesPathAvailable(Sha512LanesPath(path));
    default: return false;
    }
}

inline const char* ChosenLanes(DigestAlgorithm algorithm) {
    const char* chosen = "one stream";
    for (const LanesRow& row : kLanesRows) {
        if (row.algorithm == algorithm && row.width == Digest::Lanes(algorithm) &&
            LanesPathAvailable(algorithm, row.path)) {
            chosen = row.name;
        }
    }
    return chosen;
}

inline const char* DigestKey(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestMd5: return "md5";
    case DigestSha1: return "sha1";
    case DigestSha256: return "sha256";
    case DigestSha512: return "sha512";
    default: return "crc32";
    }
}

// Machine-read by bench/compare.sh, one line a kernel:
//   kernel DIGEST single|lanes MB/S ONE_STREAM_MB/S chosen|- yes|NO NAME
// a single-stream path beside its portable one (its own digest must match
// the portable one's), or a lanes path beside the same messages one at a time.
// DIGEST is md5, sha1, crc32, sha256 or sha512.
inline void PrintKernelRates(const std::vector<std::uint8_t>& buffer) {
    const auto line = [](const char* digest, const char* group, double rate, double reference, bool chosen,
                         bool same, const char* name) {
        std::printf("kernel %s %s %.0f %.0f %s %s %s\n", digest, group, rate, reference, chosen ? "chosen" : "-",
                    same ? "yes" : "NO", name);
        std::fflush(stdout);
    };
    std::string ours, portable;
    const double md5 = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurMd5(buffer); });
    line("md5", "single", md5, md5, true, true, "MD5");
    // Each single-stream digest's paths, measured against its first (portable) path.
    const auto single = [&](const char* digest, const auto& paths, auto use, auto available, auto run) {
        const char* chosen = ChosenPath(paths, available);
        double reference = 0;
        for (const auto& path : paths) {
            if (!use(path.path)) continue;
            const double rate = BestMegabytesPerSecond(kBufferSize, [&] { ours = run(); });
            if (reference == 0) reference = rate, portable = ours;
            line(digest, "single", rate, reference, path.name == chosen, ours == portable, path.name);
        }
        use(decltype(paths[0].path)::Fastest);
    };
    single("sha1", kSha1Paths, Sha1UsePath, Sha1PathAvailable, [&] { return OurSha1(buffer); });
    single("sha256", kSha256Paths, Sha256UsePath, Sha256PathAvailable, [&] { return OurSha256(buffer); });
    single("sha512", kSha512Paths, Sha512UsePath, Sha512PathAvailable, [&] { return OurSha512(buffer); });
    single("crc32", kCrc32Paths, Crc32UsePath, Crc32PathAvailable, [&] { return std::to_string(OurCrc32(buffer)); });
    for (const LanesRow& row : kLanesRows) {
        LanesRates rates;
        if (!MeasureLanes(row, buffer, rates)) continue;
        line(DigestKey(row.algorithm), "lanes", rates.lanes, rates.oneStream, row.name == ChosenLanes(row.algorithm),
             rates.same, row.name);
    }
}

}  // namespace bench
