#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "DigestTestSupport.h"
#include "algorithms/Md5.h"

namespace {

std::string Md5Hex(const void* bytes, std::size_t length) {
    Md5Context context;
    Md5Init(context);
    Md5Update(context, bytes, static_cast<std::int32_t>(length));
    std::uint8_t digest[16];
    Md5Final(context, digest);
    return Hex(digest, sizeof digest);
}

std::string Md5Hex(const std::string& text) { return Md5Hex(text.data(), text.size()); }

}  // namespace

TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Hex("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "D174AB98D277D9F5A5611C2C9F419D9F");
    std::string eightyDigits;
    for (int i = 0; i < 8; ++i) {
        eightyDigits += "1234567890";
    }
    EXPECT_EQ(Md5Hex(eightyDigits), "57EDF4A22BE3C955AC49DA2E2107B67A");
    EXPECT_EQ(Md5Hex(std::string(1000000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(Md5, PaddingBoundariesAndBlockSizes) {
    for (const KnownDigests& known : kDigitTextDigests) {
        EXPECT_EQ(Md5Hex(DigitText(known.length)), known.md5) << known.length << " bytes";
    }
}

TEST(Md5, DigestDoesNotDependOnHowTheStreamIsSplit) {
    const std::string text = DigitText(1000);
    const std::string expected = Md5Hex(text);

    Md5Context context;
    Md5Init(context);
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < text.size(); ++i) {
        const std::size_t piece = std::min(kAwkwardPieces[i % 6], text.size() - offset);
        Md5Update(context, text.data() + offset, static_cast<std::int32_t>(piece));
        offset += piece;
    }
    std::uint8_t digest[16];
    Md5Final(context, digest);
    EXPECT_EQ(Hex(digest, 16), expected);

    // Two pieces split at every point, and the whole text at every
    // alignment (whole blocks are then read unaligned, in place).
    std::vector<char> shifted(text.size() + 3);
    for (std::size_t split = 0; split <= text.size(); ++split) {
        Md5Init(context);
        Md5Update(context, text.data(), static_cast<std::int32_t>(split));
        Md5Update(context, text.data() + split, static_cast<std::int32_t>(text.size() - split));
        Md5Final(context, digest);
        ASSERT_EQ(Hex(digest, 16), expected) << "split at " << split;
    }
    for (std::size_t shift = 1; shift <= 3; ++shift) {
        std::memcpy(shifted.data() + shift, text.data(), text.size());
        EXPECT_EQ(Md5Hex(shifted.data() + shift, text.size()), expected) << "shift " << shift;
    }
}

TEST(Md5, PieceThatFillsTheBufferIsCompressedAtOnce) {
    const std::string text = DigitText(64);
    Md5Context whole;
    Md5Init(whole);
    Md5Update(whole, text.data(), 64);

    Md5Context pieces;
    Md5Init(pieces);
    Md5Update(pieces, text.data(), 10);
    Md5Update(pieces, text.data() + 10, 54);
    EXPECT_EQ(std::memcmp(pieces.state, whole.state, sizeof whole.state), 0);
    EXPECT_EQ(pieces.count[0], 512u);
}

TEST(Md5, ZeroOrNegativeLengthLeavesContextUnchanged) {
    Md5Context context{};  // the buffer is compared too
    Md5Init(context);
    Md5Update(context, "abcde", 5);
    Md5Context before = context;
    for (const std::int32_t length : {0, -1, -64, INT_MIN}) {
        Md5Update(context, "xyz", length);
        Md5Update(context, nullptr, length);
        EXPECT_EQ(std::memcmp(&context, &before, sizeof context), 0) << length;
    }
    std::uint8_t digest[16];
    Md5Final(context, digest);
    EXPECT_EQ(Hex(digest, 16), "AB56B4D92B40713ACC5AF89985D4B786");  // md5("abcde")
}

TEST(Md5, BitCountCarriesIntoTheHighWord) {
    Md5Context context;
    Md5Init(context);
    context.count[0] = 0xFFFFFE00u;  // 2^29 - 64 bytes absorbed, buffer empty
    Md5Update(context, DigitText(1000).data(), 1000);
    EXPECT_EQ(context.count[0], 8000u - 512u);
    EXPECT_EQ(context.count[1], 1u);
}
