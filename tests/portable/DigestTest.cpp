// Published vectors, padding boundaries and split invariance for every digest
// on every path this processor has.
#include <climits>
#include <cstring>

#include "DigestTestSupport.h"

INSTANTIATE_TEST_SUITE_P(Digest, OnEachPath, ::testing::ValuesIn(kDigestPaths),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// The first `length` characters of "0123456789" repeated.
std::string DigitText(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char>('0' + i % 10);
    }
    return text;
}

struct Vector {
    Algorithm algorithm;
    std::string message;
    const char* digest;
};

// RFC 1321's suite, FIPS 180-1's messages and the usual CRC-32 check values.
const Vector kPublished[] = {
    {Algorithm::Md5, "", "D41D8CD98F00B204E9800998ECF8427E"},
    {Algorithm::Md5, "a", "0CC175B9C0F1B6A831C399E269772661"},
    {Algorithm::Md5, "abc", "900150983CD24FB0D6963F7D28E17F72"},
    {Algorithm::Md5, "message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {Algorithm::Md5, "abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {Algorithm::Md5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {Algorithm::Md5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
    {Algorithm::Md5, std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"},
    {Algorithm::Sha1, "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
    {Algorithm::Sha1, "abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
    {Algorithm::Sha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
    {Algorithm::Sha1, std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
    {Algorithm::Crc32, "123456789", "CBF43926"},
    {Algorithm::Crc32, "abc", "352441C2"},
    {Algorithm::Crc32, std::string(1, '\0'), "D202EF8D"},
};

// Digit texts around the padding boundary (55 bytes leave room for padding
// and length in the last block, 56 to 64 need another) and one of several
// blocks, kept last; digests from md5sum, sha1sum and gzip.
const struct {
    std::size_t length;
    const char* digest[3];  // MD5, SHA-1, CRC-32
} kDigitTexts[] = {
    {55, {"6E7A4FC92EB1C3F6E652425BCC8D44B5", "9F3A4CE7F66B1B74C34DA2C5D732C39F81E0F8DF", "F903F5D6"}},
    {56, {"8AF270B2847610E742B0791B53648C09", "0A40B8FBDAAFB7C29651618AC15D27E772287130", "EBF85FBA"}},
    {63, {"C5E256437E758092DBFE06283E489019", "984B0F2F6D78C24020F5A79D409F67AB99302891", "79D4F8A4"}},
    {64, {"7F7BFD348709DEEAACE19E3F535F8C54", "CF0800F7644ACE3CB4C3FA33388D3BA0EA3C8B6E", "BC103D92"}},
    {65, {"BEB9F48BC802CA5CA043BCC15E219A5A", "92DE3A8444FE6D15268F0BA810AA43BC8B3A4FFE", "ED0BF96D"}},
    {1000, {"427008B3FE192F663D665F56CD75716C", "F2B2F38B074C387A1415C3AFB834C7232F31B097", "7C858FF1"}},
};

}  // namespace

TEST_P(OnEachPath, PublishedVectorsAndPaddingBoundaries) {
    for (const Vector& v : kPublished) {
        if (v.algorithm == algorithm()) {
            EXPECT_EQ(DigestHex(algorithm(), v.message.data(), v.message.size()), v.digest) << v.message.substr(0, 64);
        }
    }
    for (const auto& known : kDigitTexts) {
        const std::string text = DigitText(known.length);
        EXPECT_EQ(DigestHex(algorithm(), text.data(), text.size()), known.digest[int(algorithm())]) << known.length;
    }
}

// Cut in two at every point (every length reaches the fast loops and their
// tails), in pieces that straddle blocks, and whole from every alignment.
TEST_P(OnEachPath, SplitAnywhereGivesOneDigest) {
    const std::string text = DigitText(1000), expected = std::end(kDigitTexts)[-1].digest[int(algorithm())];
    EXPECT_EQ(DigestHex(algorithm(), text.data(), 1000, {1, 63, 64, 65, 200, 0, 607}), expected);
    for (std::size_t split = 0; split <= 1000; ++split) {
        ASSERT_EQ(DigestHex(algorithm(), text.data(), 1000, {split}), expected) << "split at " << split;
    }
    std::vector<char> shifted(1000 + 64);
    for (std::size_t shift = 1; shift < 64; ++shift) {
        std::memcpy(shifted.data() + shift, text.data(), 1000);
        ASSERT_EQ(DigestHex(algorithm(), shifted.data() + shift, 1000), expected) << "shift " << shift;
    }
}

TEST_P(OnEachPath, EmptyOrNegativeLengthChangesNothing) {
    Md5Context md5{};  // the buffers are compared too
    Sha1Context sha1{};
    Md5Init(md5);
    Md5Update(md5, "abcde", 5);
    Sha1Init(sha1);
    Sha1Update(sha1, "abcde", 5);
    const Md5Context md5Before = md5;
    const Sha1Context sha1Before = sha1;
    for (const std::int32_t length : {0, -1, -64, INT_MIN}) {
        Md5Update(md5, "xyz", length);
        Md5Update(md5, nullptr, length);
        EXPECT_EQ(std::memcmp(&md5, &md5Before, sizeof md5), 0) << length;
    }
    Sha1Update(sha1, nullptr, 0);
    EXPECT_EQ(std::memcmp(&sha1, &sha1Before, sizeof sha1), 0);
    EXPECT_EQ(Crc32Update(0xCBF43926u, nullptr, 0), 0xCBF43926u);
}
