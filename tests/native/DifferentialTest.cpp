// Our digests and encoder against independent implementations (OpenSSL,
// zlib): every length up to 600 twice and 300 long ones, each from a random start
// alignment and cut at random points.
#include <openssl/evp.h>
#include <zlib.h>

#include <numeric>
#include <random>

#include "../portable/DigestTestSupport.h"
#include "algorithms/Base64.h"

namespace {

// Calls check(message, length, pieces) for each message; `pieces` are the
// sizes of up to eight random cuts, empty ones too.
template <typename Check>
void ForRandomMessages(std::uint32_t seed, Check check) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pool(100000 + 64);
    std::generate(pool.begin(), pool.end(), [&] { return static_cast<std::uint8_t>(random()); });
    for (std::size_t i = 0; i < 1500; ++i) {
        const std::size_t length = i < 1202 ? i % 601 : random() % 100001;
        std::vector<std::size_t> cuts(random() % 9, 0);
        std::generate(cuts.begin(), cuts.end(), [&] { return random() % (length + 1); });
        cuts.push_back(length);
        std::sort(cuts.begin(), cuts.end());
        std::adjacent_difference(cuts.begin(), cuts.end(), cuts.begin());
        check(pool.data() + random() % 64, length, cuts);
        if (::testing::Test::HasFatalFailure()) {
            FAIL() << length << " bytes";
        }
    }
}

std::string ReferenceHex(Algorithm algorithm, const std::uint8_t* message, std::size_t length) {
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (algorithm == Algorithm::Crc32) {
        const uLong crc = crc32(0, message, static_cast<uInt>(length));
        for (; size < 4; ++size) {
            digest[size] = static_cast<std::uint8_t>(crc >> (24 - 8 * size));
        }
    } else {
        const EVP_MD* md = algorithm == Algorithm::Md5      ? EVP_md5()
                           : algorithm == Algorithm::Sha1   ? EVP_sha1()
                           : algorithm == Algorithm::Sha256 ? EVP_sha256()
                                                            : EVP_sha512();
        EVP_Digest(message, length, digest, &size, md, nullptr);
    }
    return Hex(digest, size);
}

}  // namespace

TEST_P(OnEachPath, MatchesOpenSslAndZlib) {
    ForRandomMessages(static_cast<std::uint32_t>(GetParam().path), [&](const std::uint8_t* message, std::size_t length,
                                                                       const std::vector<std::size_t>& pieces) {
        ASSERT_EQ(DigestHex(algorithm(), message, length, pieces), ReferenceHex(algorithm(), message, length));
    });
}

TEST(Differential, Base64EncodeMatchesOpenSsl) {
    ForRandomMessages(4, [](const std::uint8_t* message, std::size_t length, const std::vector<std::size_t>&) {
        const std::size_t size = 4 * ((length + 2) / 3);
        std::string ours(size, '\0'), reference(size + 1, '\0');  // OpenSSL adds a NUL
        ASSERT_EQ(Base64Encode(message, static_cast<std::int32_t>(length), &ours[0]), static_cast<std::int32_t>(size));
        ASSERT_EQ(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&reference[0]), message, static_cast<int>(length)),
                  static_cast<int>(size));
        reference.pop_back();
        ASSERT_EQ(ours, reference);
    });
}
