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
    {Algorithm::Sha512, int(Sha512Path::Avx2), "Sha512Avx2"},
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
