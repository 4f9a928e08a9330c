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

#include "../portable/DigestTestSupport.h"
#include "algorithms/Crc32.h"

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
    std::generate(pool.begin(), pool.end(), [&] { return static_cast<std::uint8_t>(random()); });
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

// Feeds the stream to ours and to OpenSSL side by side.
template <typename Digest>
void ExpectStreamDigestMatchesOpenSsl(const EVP_MD* md, std::uint32_t countLow, std::uint32_t countHigh) {
    typename Digest::Context context;
    Digest::Init(context);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> reference(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    ASSERT_EQ(EVP_DigestInit_ex(reference.get(), md, nullptr), 1);
    ForEachPiece([&](const std::uint8_t* bytes, std::size_t length) {
        Digest::Update(context, bytes, length);
        EVP_DigestUpdate(reference.get(), bytes, length);
    });
    EXPECT_EQ(context.count[0], countLow);
    EXPECT_EQ(context.count[1], countHigh);
    std::uint8_t theirs[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    ASSERT_EQ(EVP_DigestFinal_ex(reference.get(), theirs, &size), 1);
    EXPECT_EQ(Digest::FinalHex(context), Hex(theirs, size));
}

}  // namespace

TEST(LongStream, Md5BitCountCarriesPast2To29Bytes) {
    ExpectStreamDigestMatchesOpenSsl<Md5Digest>(EVP_md5(), 8000u, 8u);  // 8 * (2^32 + 1000) bits
}

TEST(LongStream, Sha1ByteCountCarriesPast2To32Bytes) {
    ExpectStreamDigestMatchesOpenSsl<Sha1Digest>(EVP_sha1(), 1000u, 1u);
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
