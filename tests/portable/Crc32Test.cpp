#include <gtest/gtest.h>

#include "DigestTestSupport.h"

TEST(Crc32, StandardCheckValues) {
    ExpectKnownDigests<Crc32Digest>({{"123456789", "CBF43926"}, {"abc", "352441C2"}, {std::string(1, '\0'), "D202EF8D"}},
                                    &KnownDigests::crc32);
}

// Ranges too short for the word-wise loop, ranges that start at every
// alignment and leave every tail, and empty ones.
TEST(Crc32, ChainedRangesEqualOneCall) {
    ExpectSplitAnywhereGivesOneDigest<Crc32Digest>(&KnownDigests::crc32);
    EXPECT_EQ(Crc32Update(0xCBF43926u, nullptr, 0), 0xCBF43926u);
}

TEST(Crc32, StoredTableFollowsTheReflectedPolynomialRule) {
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        EXPECT_EQ(Crc32Table[n], c) << "entry " << n;
    }
}
