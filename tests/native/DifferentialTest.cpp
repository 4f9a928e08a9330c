// Our digests and encoder against independent implementations (OpenSSL,
// zlib) over random lengths, random start alignments and random split points.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "algorithms/Base64.h"
#include "algorithms/Crc32.h"
#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"

namespace {

constexpr int kMessages = 3000;
constexpr std::size_t kMaxLength = 9000;

std::vector<std::uint8_t> RandomBytes(std::mt19937& random, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

std::vector<std::uint8_t> OpenSslDigest(const EVP_MD* md, const std::uint8_t* bytes, std::size_t length) {
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(bytes, length, digest.data(), &size, md, nullptr), 1);
    digest.resize(size);
    return digest;
}

// Calls feed(offset, length) for consecutive pieces covering [0, length),
// cut at up to eight random points.
template <typename Feed>
void FeedInRandomPieces(std::mt19937& random, std::size_t length, Feed feed) {
    std::vector<std::size_t> cuts{0, length};
    const int extra = static_cast<int>(random() % 9);
    for (int i = 0; i < extra; ++i) {
        cuts.push_back(random() % (length + 1));
    }
    std::sort(cuts.begin(), cuts.end());
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        feed(cuts[i - 1], cuts[i] - cuts[i - 1]);
    }
}

// Runs `check(message, length)` over kMessages random messages, each at a
// random offset into a random pool so blocks start at every alignment.
template <typename Check>
void ForRandomMessages(std::uint32_t seed, Check check) {
    std::mt19937 random(seed);
    const std::vector<std::uint8_t> pool = RandomBytes(random, kMaxLength + 8);
    for (int i = 0; i < kMessages; ++i) {
        // Mostly short messages, where the padding cases live, some long ones.
        const std::size_t length = i % 4 == 0 ? random() % (kMaxLength + 1) : random() % 300;
        check(random, pool.data() + random() % 8, length);
        if (::testing::Test::HasFailure()) {
            FAIL() << "message " << i << ", " << length << " bytes";
        }
    }
}

}  // namespace

TEST(Differential, Md5MatchesOpenSsl) {
    ForRandomMessages(1, [](std::mt19937& random, const std::uint8_t* message, std::size_t length) {
        Md5Context context;
        Md5Init(context);
        FeedInRandomPieces(random, length, [&](std::size_t offset, std::size_t piece) {
            Md5Update(context, message + offset, static_cast<std::int32_t>(piece));
        });
        std::vector<std::uint8_t> digest(16);
        Md5Final(context, digest.data());
        ASSERT_EQ(digest, OpenSslDigest(EVP_md5(), message, length));
    });
}

TEST(Differential, Sha1MatchesOpenSsl) {
    ForRandomMessages(2, [](std::mt19937& random, const std::uint8_t* message, std::size_t length) {
        Sha1Context context;
        Sha1Init(context);
        FeedInRandomPieces(random, length, [&](std::size_t offset, std::size_t piece) {
            Sha1Update(context, message + offset, static_cast<std::uint32_t>(piece));
        });
        std::vector<std::uint8_t> digest(20);
        Sha1Final(context, digest.data());
        ASSERT_EQ(digest, OpenSslDigest(EVP_sha1(), message, length));
    });
}

TEST(Differential, Crc32MatchesZlib) {
    ForRandomMessages(3, [](std::mt19937& random, const std::uint8_t* message, std::size_t length) {
        std::uint32_t crc = 0;
        FeedInRandomPieces(random, length, [&](std::size_t offset, std::size_t piece) {
            crc = Crc32Update(crc, message + offset, static_cast<std::uint32_t>(piece));
        });
        ASSERT_EQ(crc, crc32(0, message, static_cast<uInt>(length)));
    });
}

TEST(Differential, Base64EncodeMatchesOpenSsl) {
    ForRandomMessages(4, [](std::mt19937&, const std::uint8_t* message, std::size_t length) {
        const std::size_t size = 4 * ((length + 2) / 3);
        std::vector<char> ours(size + 1, '\0');
        std::vector<unsigned char> reference(size + 1);
        ASSERT_EQ(Base64Encode(message, static_cast<std::int32_t>(length), ours.data()),
                  static_cast<std::int32_t>(size));
        ASSERT_EQ(EVP_EncodeBlock(reference.data(), message, static_cast<int>(length)),
                  static_cast<int>(size));
        ASSERT_EQ(std::memcmp(ours.data(), reference.data(), size + 1), 0);
    });
}
