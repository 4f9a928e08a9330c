// A real stream of 4 GiB + 1000 bytes: MD5's bit count wraps its low word
// after 2^29 bytes and SHA-1's byte count after 2^32 bytes; the digests must
// still equal the reference ones.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "algorithms/Crc32.h"
#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"

namespace {

constexpr std::uint64_t kStreamLength = (std::uint64_t{1} << 32) + 1000;
constexpr std::size_t kWindow = std::size_t{1} << 20;

// Calls feed(bytes, length) for consecutive pieces of the stream. Each piece
// is a window of one random pool, at a shifting offset and of a shifting
// length, stamped with its index so that no two pieces are alike.
template <typename Feed>
void ForEachPiece(Feed feed) {
    std::mt19937 random(42);
    std::vector<std::uint8_t> pool(kWindow + 64);
    for (auto& b : pool) {
        b = static_cast<std::uint8_t>(random());
    }
    std::uint64_t done = 0;
    for (std::uint32_t index = 0; done < kStreamLength; ++index) {
        std::uint8_t* piece = pool.data() + (index * 7) % 64;
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(kWindow - index % 1000, kStreamLength - done));
        std::memcpy(piece, &index, sizeof index);
        feed(piece, length);
        done += length;
    }
}

struct EvpContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::vector<std::uint8_t> DigestStreamWithOpenSsl(const EVP_MD* md) {
    std::unique_ptr<EVP_MD_CTX, EvpContextDeleter> context(EVP_MD_CTX_new());
    EXPECT_EQ(EVP_DigestInit_ex(context.get(), md, nullptr), 1);
    ForEachPiece([&](const std::uint8_t* bytes, std::size_t length) {
        EVP_DigestUpdate(context.get(), bytes, length);
    });
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EXPECT_EQ(EVP_DigestFinal_ex(context.get(), digest.data(), &size), 1);
    digest.resize(size);
    return digest;
}

}  // namespace

TEST(LongStream, Md5BitCountCarriesPast2To29Bytes) {
    Md5Context context;
    Md5Init(context);
    ForEachPiece([&](const std::uint8_t* bytes, std::size_t length) {
        Md5Update(context, bytes, static_cast<std::int32_t>(length));
    });
    EXPECT_EQ(context.count[0], 8000u);  // 8 * (2^32 + 1000) bits, low word
    EXPECT_EQ(context.count[1], 8u);
    std::vector<std::uint8_t> digest(16);
    Md5Final(context, digest.data());
    EXPECT_EQ(digest, DigestStreamWithOpenSsl(EVP_md5()));
}

TEST(LongStream, Sha1ByteCountCarriesPast2To32Bytes) {
    Sha1Context context;
    Sha1Init(context);
    ForEachPiece([&](const std::uint8_t* bytes, std::size_t length) {
        Sha1Update(context, bytes, static_cast<std::uint32_t>(length));
    });
    EXPECT_EQ(context.count[0], 1000u);
    EXPECT_EQ(context.count[1], 1u);
    std::vector<std::uint8_t> digest(20);
    Sha1Final(context, digest.data());
    EXPECT_EQ(digest, DigestStreamWithOpenSsl(EVP_sha1()));
}

TEST(LongStream, Crc32ChainsOverMoreThan4GiB) {
    std::uint32_t ours = 0;
    uLong reference = crc32(0, Z_NULL, 0);
    ForEachPiece([&](const std::uint8_t* bytes, std::size_t length) {
        ours = Crc32Update(ours, bytes, static_cast<std::uint32_t>(length));
        reference = crc32(reference, bytes, static_cast<uInt>(length));
    });
    EXPECT_EQ(ours, reference);
}
