#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "DigestTestSupport.h"

TEST(Md5, Rfc1321SuiteAndPaddingBoundaries) {
    ExpectKnownDigests<Md5Digest>(
        {{"", "D41D8CD98F00B204E9800998ECF8427E"},
         {"a", "0CC175B9C0F1B6A831C399E269772661"},
         {"abc", "900150983CD24FB0D6963F7D28E17F72"},
         {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
         {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
         {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
         {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
          "57EDF4A22BE3C955AC49DA2E2107B67A"},
         {std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"}},
        &KnownDigests::md5);
}

TEST(Md5, DigestDoesNotDependOnHowTheStreamIsSplit) {
    ExpectSplitAnywhereGivesOneDigest<Md5Digest>(&KnownDigests::md5);
    ExpectCompressionExactlyWhenTheBufferFills<Md5Digest>();
}

TEST(Md5, ZeroOrNegativeLengthLeavesContextUnchanged) {
    Md5Context context{};  // the buffer is compared too
    Md5Init(context);
    Md5Update(context, "abcde", 5);
    const Md5Context before = context;
    for (const std::int32_t length : {0, -1, -64, INT_MIN}) {
        Md5Update(context, "xyz", length);
        Md5Update(context, nullptr, length);
        EXPECT_EQ(std::memcmp(&context, &before, sizeof context), 0) << length;
    }
}
