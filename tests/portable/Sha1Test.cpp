#include <gtest/gtest.h>

#include "DigestTestSupport.h"

TEST(Sha1, Fips180MessagesAndPaddingBoundaries) {
    ExpectKnownDigests<Sha1Digest>(
        {{"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
         {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
         {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
         {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"}},
        &KnownDigests::sha1);
}

TEST(Sha1, DigestDoesNotDependOnHowTheStreamIsSplit) {
    ExpectSplitAnywhereGivesOneDigest<Sha1Digest>(&KnownDigests::sha1);
    ExpectCompressionExactlyWhenTheBufferFills<Sha1Digest>();
}
