// A real stream of 4 GiB + 1000 bytes on the default (fastest) paths: MD5's
// bit count passes 2^32 after 2^29 bytes and SHA-1's and SHA-256's byte counts
// after 2^32.
#include <openssl/evp.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>

#include "../portable/DigestTestSupport.h"

namespace {

using OpenSslContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

OpenSslContext OpenSslStart(const EVP_MD* md) {
    OpenSslContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), md, nullptr);
    return context;
}

std::string OpenSslHex(const OpenSslContext& context) {
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    return Hex(digest, size);
}

}  // namespace

TEST(LongStream, CountsCarryPast4GiB) {
    Digest ours[] = {Digest(DigestMd5), Digest(DigestSha1), Digest(DigestSha256)};
    const OpenSslContext theirs[] = {OpenSslStart(EVP_md5()), OpenSslStart(EVP_sha1()), OpenSslStart(EVP_sha256())};
    std::uint32_t crc = 0;
    uLong zlibCrc = crc32(0, Z_NULL, 0);

    // Windows of one random pool at shifting offsets and of shifting lengths,
    // each stamped with its index so that no two are alike.
    constexpr std::uint64_t kLength = (std::uint64_t{1} << 32) + 1000;
    constexpr std::size_t kWindow = std::size_t{1} << 20;
    std::mt19937 random(42);
    std::vector<std::uint8_t> pool(kWindow + 64);
    std::generate(pool.begin(), pool.end(), [&] { return static_cast<std::uint8_t>(random()); });
    std::uint64_t done = 0;
    for (std::uint32_t index = 0; done < kLength; ++index) {
        std::uint8_t* piece = pool.data() + (index * 7) % 64;
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kWindow - index % 1000, kLength - done));
        std::memcpy(piece, &index, sizeof index);
        for (int i = 0; i < 3; ++i) {
            ours[i].Update(piece, length);
            EVP_DigestUpdate(theirs[i].get(), piece, length);
        }
        crc = Crc32Update(crc, piece, length);
        zlibCrc = crc32(zlibCrc, piece, length);
        done += length;
    }
    for (int i = 0; i < 3; ++i) {
        const std::wstring hex = ours[i].Hex(true);
        EXPECT_EQ(std::string(hex.begin(), hex.end()), OpenSslHex(theirs[i])) << Digest::Tag(ours[i].Algorithm());
    }
    EXPECT_EQ(crc, zlibCrc);
}
