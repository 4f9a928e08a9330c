// A real stream of 4 GiB + 1000 bytes on the default (fastest) paths: MD5's
// bit count passes 2^32 after 2^29 bytes and SHA-1's byte count after 2^32.
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
    Md5Context md5;
    Sha1Context sha1;
    Md5Init(md5);
    Sha1Init(sha1);
    std::uint32_t crc = 0;
    uLong zlibCrc = crc32(0, Z_NULL, 0);
    const OpenSslContext openSslMd5 = OpenSslStart(EVP_md5()), openSslSha1 = OpenSslStart(EVP_sha1());

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
        Md5Update(md5, piece, static_cast<std::int32_t>(length));
        Sha1Update(sha1, piece, length);
        crc = Crc32Update(crc, piece, length);
        EVP_DigestUpdate(openSslMd5.get(), piece, length);
        EVP_DigestUpdate(openSslSha1.get(), piece, length);
        zlibCrc = crc32(zlibCrc, piece, length);
        done += length;
    }
    std::uint8_t digest[20];
    Md5Final(md5, digest);
    EXPECT_EQ(Hex(digest, 16), OpenSslHex(openSslMd5));
    Sha1Final(sha1, digest);
    EXPECT_EQ(Hex(digest, 20), OpenSslHex(openSslSha1));
    EXPECT_EQ(crc, zlibCrc);
}
