#pragma once
// The digests behind one interface, and every path each can be forced onto,
// so that one test body covers them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "algorithms/Crc32.h"
#include "algorithms/Digest.h"

// In DigestAlgorithm's order.
enum class Algorithm { Md5, Sha1, Crc32, Sha256, Sha512 };

struct DigestPath {
    Algorithm algorithm;
    int path;  // a Sha1Path, Crc32Path, Sha256Path or Sha512Path; MD5 has one
    const char* name;
};

inline void PrintTo(const DigestPath& path, std::ostream* out) { *out << path.name; }

inline const DigestPath kDigestPaths[] = {
    {Algorithm::Md5, 0, "Md5"},
    {Algorithm::Sha1, int(Sha1Path::Portable), "Sha1Portable"},
    {Algorithm::Sha1, int(Sha1Path::ShaExtensions), "Sha1ShaExtensions"},
    {Algorithm::Crc32, int(Crc32Path::Portable), "Crc32Portable"},
    {Algorithm::Crc32, int(Crc32Path::Pclmul), "Crc32Pclmul"},
    {Algorithm::Crc32, int(Crc32Path::Vpclmul256), "Crc32Vpclmul256"},
    {Algorithm::Crc32, int(Crc32Path::Vpclmul512), "Crc32Vpclmul512"},
    {Algorithm::Sha256, int(Sha256Path::Portable), "Sha256Portable"},
    {Algorithm::Sha256, int(Sha256Path::ShaExtensions), "Sha256ShaExtensions"},
    {Algorithm::Sha512, int(Sha512Path::Portable), "Sha512Portable"},
    {Algorithm::Sha512, int(Sha512Path::Ssse3), "Sha512Ssse3"},
    {Algorithm::Sha512, int(Sha512Path::Avx2), "Sha512Avx2"},
    {Algorithm::Sha512, int(Sha512Path::Avx512), "Sha512Avx512"},
    {Algorithm::Sha512, int(Sha512Path::Bmi2), "Sha512Bmi2"},
};

inline std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += "0123456789ABCDEF"[bytes[i] >> 4];
        text += "0123456789ABCDEF"[bytes[i] & 15];
    }
    return text;
}

// The digest, in upper-case hexadecimal, of `length` bytes fed as the given
// pieces (each cut to what is left, empty ones included) and then the rest.
inline std::string DigestHex(Algorithm algorithm, const void* bytes, std::size_t length,
                             const std::vector<std::size_t>& pieces = {}) {
    Digest digest(static_cast<DigestAlgorithm>(algorithm));
    std::size_t done = 0;
    for (std::size_t i = 0; i <= pieces.size(); ++i) {
        const std::size_t n = i < pieces.size() ? std::min(pieces[i], length - done) : length - done;
        digest.Update(static_cast<const std::uint8_t*>(bytes) + done, static_cast<std::uint32_t>(n));
        done += n;
    }
    const std::wstring hex = digest.Hex(true);
    return std::string(hex.begin(), hex.end());
}

// Runs each test on one path, skipped where this processor lacks it, and
// leaves the default path selected afterwards.
class OnEachPath : public ::testing::TestWithParam<DigestPath> {
protected:
    Algorithm algorithm() const { return GetParam().algorithm; }
    void SetUp() override {
        const bool available = algorithm() == Algorithm::Sha1     ? Sha1UsePath(Sha1Path(GetParam().path))
                               : algorithm() == Algorithm::Crc32  ? Crc32UsePath(Crc32Path(GetParam().path))
                               : algorithm() == Algorithm::Sha256 ? Sha256UsePath(Sha256Path(GetParam().path))
                               : algorithm() == Algorithm::Sha512 ? Sha512UsePath(Sha512Path(GetParam().path))
                                                                  : true;
        if (!available) {
            GTEST_SKIP() << GetParam().name << " needs an instruction this processor lacks";
        }
    }
    void TearDown() override {
        Sha1UsePath(Sha1Path::Fastest);
        Crc32UsePath(Crc32Path::Fastest);
        Sha256UsePath(Sha256Path::Fastest);
        Sha512UsePath(Sha512Path::Fastest);
    }
};

// Each lanes path (Crc32 has none: its digests go one by one), and how many
// messages it takes at once.
struct LanesPath {
    Algorithm algorithm;
    int path;  // an Md5LanesPath, Sha1LanesPath, Sha256LanesPath or Sha512LanesPath
    std::size_t lanes;
    const char* name;
};

inline void PrintTo(const LanesPath& path, std::ostream* out) { *out << path.name; }

inline const LanesPath kLanesPaths[] = {
    {Algorithm::Md5, int(Md5LanesPath::Scalar), 1, "Md5Scalar"},
    {Algorithm::Md5, int(Md5LanesPath::Sse2x4), 4, "Md5Sse2x4"},
    {Algorithm::Md5, int(Md5LanesPath::Avx2x8), 8, "Md5Avx2x8"},
    {Algorithm::Md5, int(Md5LanesPath::Avx512x8), 8, "Md5Avx512x8"},
    {Algorithm::Md5, int(Md5LanesPath::Avx512x16), 16, "Md5Avx512x16"},
    {Algorithm::Sha1, int(Sha1LanesPath::Scalar), 1, "Sha1Scalar"},
    {Algorithm::Sha1, int(Sha1LanesPath::ShaExtensionsX2), 2, "Sha1ShaExtensionsX2"},
    {Algorithm::Sha1, int(Sha1LanesPath::Avx2x8), 8, "Sha1Avx2x8"},
    {Algorithm::Sha1, int(Sha1LanesPath::Avx512x8), 8, "Sha1Avx512x8"},
    {Algorithm::Sha1, int(Sha1LanesPath::Avx512x16), 16, "Sha1Avx512x16"},
    {Algorithm::Crc32, 0, 1, "Crc32"},
    {Algorithm::Sha256, int(Sha256LanesPath::Scalar), 1, "Sha256Scalar"},
    {Algorithm::Sha256, int(Sha256LanesPath::ShaExtensionsX2), 2, "Sha256ShaExtensionsX2"},
    {Algorithm::Sha256, int(Sha256LanesPath::Avx2x8), 8, "Sha256Avx2x8"},
    {Algorithm::Sha256, int(Sha256LanesPath::Avx512x8), 8, "Sha256Avx512x8"},
    {Algorithm::Sha256, int(Sha256LanesPath::Avx512x16), 16, "Sha256Avx512x16"},
    {Algorithm::Sha512, int(Sha512LanesPath::Scalar), 1, "Sha512Scalar"},
    {Algorithm::Sha512, int(Sha512LanesPath::Avx2x4), 4, "Sha512Avx2x4"},
    {Algorithm::Sha512, int(Sha512LanesPath::Avx512x4), 4, "Sha512Avx512x4"},
    {Algorithm::Sha512, int(Sha512LanesPath::Avx512x8), 8, "Sha512Avx512x8"},
};

class OnEachLanesPath : public ::testing::TestWithParam<LanesPath> {
protected:
    Algorithm algorithm() const { return GetParam().algorithm; }
    void SetUp() override {
        const int path = GetParam().path;
        const bool available = algorithm() == Algorithm::Md5      ? Md5LanesUsePath(Md5LanesPath(path))
                               : algorithm() == Algorithm::Sha1   ? Sha1LanesUsePath(Sha1LanesPath(path))
                               : algorithm() == Algorithm::Sha256 ? Sha256LanesUsePath(Sha256LanesPath(path))
                               : algorithm() == Algorithm::Sha512 ? Sha512LanesUsePath(Sha512LanesPath(path))
                                                                  : true;
        if (!available) {
            GTEST_SKIP() << GetParam().name << " needs an instruction this processor lacks";
        }
    }
    void TearDown() override {
        Md5LanesUsePath(Md5LanesPath::Fastest);
        Sha1LanesUsePath(Sha1LanesPath::Fastest);
        Sha256LanesUsePath(Sha256LanesPath::Fastest);
        Sha512LanesUsePath(Sha512LanesPath::Fastest);
    }
};

// Pieces of several messages fed together: calls[c][i] bytes of message i go
// into call c of Digest::UpdateLanes.
using LaneSchedule = std::vector<std::vector<std::uint32_t>>;

// The messages whose digests fed by `schedule` differ from the same bytes
// (pseudo-random, from the message's index and offset) hashed alone.
inline std::vector<std::size_t> LanesDisagree(Algorithm algorithm, const LaneSchedule& schedule) {
    const std::size_t count = schedule.empty() ? 0 : schedule[0].size();
    std::vector<std::string> messages(count);
    for (const auto& call : schedule) {
        for (std::size_t i = 0; i < count; ++i) messages[i].resize(messages[i].size() + call[i]);
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = 0; j < messages[i].size(); ++j) {
            messages[i][j] = static_cast<char>(static_cast<std::uint32_t>(j * 2654435761u + i * 40503u) >> 13);
        }
    }
    std::vector<Digest> digests(count, Digest(static_cast<DigestAlgorithm>(algorithm)));
    std::vector<Digest*> lanes;
    for (Digest& digest : digests) lanes.push_back(&digest);
    std::vector<std::size_t> done(count);
    for (const auto& call : schedule) {
        std::vector<const std::uint8_t*> bytes;
        for (std::size_t i = 0; i < count; ++i) {
            bytes.push_back(reinterpret_cast<const std::uint8_t*>(messages[i].data()) + done[i]);
            done[i] += call[i];
        }
        Digest::UpdateLanes(lanes.data(), bytes.data(), call.data(), count);
    }
    std::vector<std::size_t> wrong;
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring hex = digests[i].Hex(true);
        if (std::string(hex.begin(), hex.end()) != DigestHex(algorithm, messages[i].data(), messages[i].size())) {
            wrong.push_back(i);
        }
    }
    return wrong;
}

// A schedule from any bytes, for the random cases and a fuzz target: the
// first byte gives 1 to 17 messages, then every two bytes (low first) the
// next piece, message after message and call after call: up to 1,023 bytes,
// or with the top three bits set a multiple of 16 up to 64 KiB.
inline LaneSchedule LaneScheduleFromBytes(const std::uint8_t* data, std::size_t size) {
    LaneSchedule schedule;
    if (size == 0) return schedule;
    const std::size_t count = 1 + data[0] % 17;
    for (std::size_t at = 1; at + 1 < size; at += 2) {
        if (schedule.empty() || schedule.back().size() == count) schedule.emplace_back();
        const std::uint32_t v = data[at] | std::uint32_t{data[at + 1]} << 8;
        schedule.back().push_back(v >> 13 == 7 ? (v & 0xFFF) * 16 : v & 0x3FF);
    }
    if (!schedule.empty()) schedule.back().resize(count);
    return schedule;
}
