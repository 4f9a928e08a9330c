// Our digests and encoder against independent implementations (OpenSSL,
// zlib) over random lengths, random start alignments and random split points.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "../portable/DigestTestSupport.h"
#include "algorithms/Base64.h"

namespace {

using Pieces = std::vector<std::size_t>;

// Runs check(message, length, pieces) over 3000 random messages, each at a
// random offset into a random pool (so blocks start at every alignment) and
// cut at up to eight random points into pieces (their sizes, empty ones too).
template <typename Check>
void ForRandomMessages(std::uint32_t seed, Check check) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pool(9000 + 8);
    std::generate(pool.begin(), pool.end(), [&] { return static_cast<std::uint8_t>(random()); });
    for (int i = 0; i < 3000; ++i) {
        // Mostly short messages, where the padding cases live, some long ones.
        const std::size_t length = i % 4 == 0 ? random() % 9001 : random() % 300;
        Pieces cuts(random() % 9, 0);
        std::generate(cuts.begin(), cuts.end(), [&] { return random() % (length + 1); });
        cuts.push_back(length);
        std::sort(cuts.begin(), cuts.end());
        std::adjacent_difference(cuts.begin(), cuts.end(), cuts.begin());
        check(pool.data() + random() % 8, length, cuts);
        if (::testing::Test::HasFailure()) {
            FAIL() << "message " << i << ", " << length << " bytes";
        }
    }
}

template <typename Digest>
void ExpectDigestMatchesOpenSsl(std::uint32_t seed, const EVP_MD* md) {
    ForRandomMessages(seed, [md](const std::uint8_t* message, std::size_t length, const Pieces& pieces) {
        std::uint8_t reference[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        ASSERT_EQ(EVP_Digest(message, length, reference, &size, md, nullptr), 1);
        ASSERT_EQ(DigestHex<Digest>(message, length, pieces), Hex(reference, size));
    });
}

}  // namespace

TEST(Differential, Md5MatchesOpenSsl) { ExpectDigestMatchesOpenSsl<Md5Digest>(1, EVP_md5()); }

TEST(Differential, Sha1MatchesOpenSsl) { ExpectDigestMatchesOpenSsl<Sha1Digest>(2, EVP_sha1()); }

TEST(Differential, Crc32MatchesZlib) {
    ForRandomMessages(3, [](const std::uint8_t* message, std::size_t length, const Pieces& pieces) {
        char reference[9];
        std::snprintf(reference, sizeof reference, "%08lX", crc32(0, message, static_cast<uInt>(length)));
        ASSERT_EQ(DigestHex<Crc32Digest>(message, length, pieces), reference);
    });
}

TEST(Differential, Base64EncodeMatchesOpenSsl) {
    ForRandomMessages(4, [](const std::uint8_t* message, std::size_t length, const Pieces&) {
        const std::size_t size = 4 * ((length + 2) / 3);
        std::string ours(size, '\0'), reference(size + 1, '\0');  // OpenSSL adds a NUL
        ASSERT_EQ(Base64Encode(message, static_cast<std::int32_t>(length), &ours[0]), static_cast<std::int32_t>(size));
        ASSERT_EQ(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&reference[0]), message, static_cast<int>(length)),
                  static_cast<int>(size));
        reference.pop_back();
        ASSERT_EQ(ours, reference);
    });
}
