#include <gtest/gtest.h>

#include <string>

#include "DigestTestSupport.h"
#include "algorithms/Crc32.h"

namespace {

std::uint32_t Crc32Of(const std::string& text) {
    return Crc32Update(0, text.data(), static_cast<std::uint32_t>(text.size()));
}

}  // namespace

TEST(Crc32, StandardCheckValues) {
    EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32Of("abc"), 0x352441C2u);
    EXPECT_EQ(Crc32Of(std::string(1, '\0')), 0xD202EF8Du);
    for (const KnownDigests& known : kDigitTextDigests) {
        EXPECT_EQ(Crc32Of(DigitText(known.length)), known.crc32) << known.length << " bytes";
    }
}

TEST(Crc32, ChainedRangesEqualOneCall) {
    EXPECT_EQ(Crc32Update(Crc32Update(0, "1234", 4), "56789", 5), 0xCBF43926u);
    // Every split point: ranges too short for the word-wise loop, and ranges
    // that start at every alignment and leave every possible tail.
    const std::string text = DigitText(1000);
    for (std::uint32_t split = 0; split <= 1000; ++split) {
        const std::uint32_t head = Crc32Update(0, text.data(), split);
        ASSERT_EQ(Crc32Update(head, text.data() + split, 1000 - split), 0x7C858FF1u) << split;
    }
}

TEST(Crc32, EmptyRangeReturnsTheRunningValue) {
    EXPECT_EQ(Crc32Update(0, nullptr, 0), 0u);
    EXPECT_EQ(Crc32Update(0xCBF43926u, "abc", 0), 0xCBF43926u);
}

TEST(Crc32, StoredTableFollowsTheReflectedPolynomialRule) {
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        EXPECT_EQ(Crc32Table[n], c) << "entry " << n;
    }
    EXPECT_EQ(Crc32Table[1], 0x77073096u);
    EXPECT_EQ(Crc32Table[255], 0x2D02EF8Du);
}
