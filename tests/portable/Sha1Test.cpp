#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "DigestTestSupport.h"
#include "algorithms/Sha1.h"

namespace {

std::string Sha1Hex(const std::string& text) {
    Sha1Context context;
    Sha1Init(context);
    Sha1Update(context, text.data(), static_cast<std::uint32_t>(text.size()));
    std::uint8_t digest[20];
    Sha1Final(context, digest);
    return Hex(digest, sizeof digest);
}

}  // namespace

TEST(Sha1, Fips180Messages) {
    EXPECT_EQ(Sha1Hex(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(Sha1Hex("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    EXPECT_EQ(Sha1Hex(std::string(1000000, 'a')), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Sha1, PaddingBoundariesAndBlockSizes) {
    for (const KnownDigests& known : kDigitTextDigests) {
        EXPECT_EQ(Sha1Hex(DigitText(known.length)), known.sha1) << known.length << " bytes";
    }
}

TEST(Sha1, DigestDoesNotDependOnHowTheStreamIsSplit) {
    const std::string text = DigitText(1000);
    const std::string expected = Sha1Hex(text);

    Sha1Context context;
    Sha1Init(context);
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < text.size(); ++i) {
        const std::size_t piece = std::min(kAwkwardPieces[i % 6], text.size() - offset);
        Sha1Update(context, text.data() + offset, static_cast<std::uint32_t>(piece));
        offset += piece;
    }
    std::uint8_t digest[20];
    Sha1Final(context, digest);
    EXPECT_EQ(Hex(digest, 20), expected);

    for (std::size_t split = 0; split <= text.size(); ++split) {
        Sha1Init(context);
        Sha1Update(context, text.data(), static_cast<std::uint32_t>(split));
        Sha1Update(context, text.data() + split, static_cast<std::uint32_t>(text.size() - split));
        Sha1Final(context, digest);
        ASSERT_EQ(Hex(digest, 20), expected) << "split at " << split;
    }
}

TEST(Sha1, NothingIsCompressedUntilTheBufferIsFull) {
    const std::string text = DigitText(64);
    Sha1Context whole;
    Sha1Init(whole);
    Sha1Update(whole, text.data(), 64);

    Sha1Context pieces;
    Sha1Init(pieces);
    Sha1Context initial = pieces;
    Sha1Update(pieces, text.data(), 10);
    Sha1Update(pieces, text.data() + 10, 53);
    EXPECT_EQ(std::memcmp(pieces.state, initial.state, sizeof initial.state), 0);
    EXPECT_EQ(std::memcmp(pieces.buffer, text.data(), 63), 0);
    Sha1Update(pieces, text.data() + 63, 1);
    EXPECT_EQ(std::memcmp(pieces.state, whole.state, sizeof whole.state), 0);
}

TEST(Sha1, ZeroLengthLeavesContextUnchanged) {
    Sha1Context context{};  // the buffer is compared too
    Sha1Init(context);
    Sha1Update(context, "abcde", 5);
    const Sha1Context before = context;
    Sha1Update(context, "xyz", 0);
    Sha1Update(context, nullptr, 0);
    EXPECT_EQ(std::memcmp(&context, &before, sizeof context), 0);
}

TEST(Sha1, ByteCountCarriesIntoTheHighWord) {
    Sha1Context context;
    Sha1Init(context);
    context.count[0] = 0xFFFFFFC0u;  // 2^32 - 64 bytes absorbed, buffer empty
    Sha1Update(context, DigitText(1000).data(), 1000);
    EXPECT_EQ(context.count[0], 1000u - 64u);
    EXPECT_EQ(context.count[1], 1u);
}
