// Published vectors, padding boundaries and split invariance for every digest
// on every path this processor has.
#include <climits>
#include <cstring>
#include <iterator>

#include "DigestTestSupport.h"

INSTANTIATE_TEST_SUITE_P(Digest, OnEachPath, ::testing::ValuesIn(kDigestPaths),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Digest, OnEachLanesPath, ::testing::ValuesIn(kLanesPaths),
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

// Bytes from hexadecimal text, as NIST prints its messages.
std::string FromHex(const char* hex) {
    std::string bytes;
    for (; *hex != '\0'; hex += 2) bytes += static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16));
    return bytes;
}

struct Vector {
    Algorithm algorithm;
    std::string message;
    const char* digest;
};

// Part of RFC 1321's suite, the messages of FIPS 180-1 and 180-2 (SHA-512's two-block one
// of 896 bits too), NIST's byte-oriented SHA-256 messages of 55, 56, 63, 64 and 163
// bytes, and the usual CRC-32 check values.
const Vector kPublished[] = {
    {Algorithm::Md5, "", "D41D8CD98F00B204E9800998ECF8427E"},
    {Algorithm::Md5, "abc", "900150983CD24FB0D6963F7D28E17F72"},
    {Algorithm::Md5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {Algorithm::Md5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
    {Algorithm::Md5, std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"},
    {Algorithm::Sha1, "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
    {Algorithm::Sha1, "abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
    {Algorithm::Sha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
    {Algorithm::Sha1, std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
    {Algorithm::Sha256, "", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
    {Algorithm::Sha256, "abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
    {Algorithm::Sha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
    {Algorithm::Sha256,
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
    {Algorithm::Sha256, std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
    {Algorithm::Sha256,
     FromHex("3ebfb06db8c38d5ba037f1363e118550aad94606e26835a01af05078533cc25f2f39573c04b632f62f68c294ab31f2a3e2a1a0d8c2be51"),
     "6595A2EF537A69BA8583DFBF7F5BEC0AB1F93CE4C8EE1916EFF44A93AF5749C4"},
    {Algorithm::Sha256,
     FromHex("2d52447d1244d2ebc28650e7b05654bad35b3a68eedc7f8515306b496d75f3e73385dd1b002625024b81a02f2fd6dffb6e6d561cb7d0bd7a"),
     "CFB88D6FAF2DE3A69D36195ACEC2E255E2AF2B7D933997F348E09F6CE5758360"},
    {Algorithm::Sha256,
     FromHex("e2f76e97606a872e317439f1a03fcd92e632e5bd4e7cbc4e97f1afc19a16fde92d77cbe546416b51640cddb92af996534dfd81edb17c4424cf1ac4d75aceeb"),
     "18041BD4665083001FBA8C5411D2D748E8ABBFDCDFD9218CB02B68A78E7D4C23"},
    {Algorithm::Sha256,
     FromHex("5a86b737eaea8ee976a0a24da63e7ed7eefad18a101c1211e2b3650c5187c2a8a650547208251f6d4237e661c7bf4c77f335390394c37fa1a9f9be836ac28509"),
     "42E61E174FBB3897D6DD6CEF3DD2802FE67B331953B06114A65C772859DFC1AA"},
    {Algorithm::Sha256,
     FromHex("451101250ec6f26652249d59dc974b7361d571a8101cdfd36aba3b5854d3ae086b5fdd4597721b66e3c0dc5d8c606d9657d0e323283a52"
             "17d1f53f2f284f57b85c8a61ac8924711f895c5ed90ef17745ed2d728abd22a5f7a13479a462d71b56c19a74a40b655c58edfe0a188ad2"
             "cf46cbf30524f65d423c837dd1ff2bf462ac4198007345bb44dbb7b1c861298cdf61982a833afc728fae1eda2f87aa2c9480858bec"),
     "3C593AA539FDCDAE516CDF2F15000F6634185C88F505B39775FB9AB137A10AA2"},
    {Algorithm::Sha512, "",
     "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E"},
    {Algorithm::Sha512, "abc",
     "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F"},
    {Algorithm::Sha512,
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "8E959B75DAE313DA8CF4F72814FC143F8F7779C6EB9F7FA17299AEADB6889018501D289E4900F7E4331B99DEC4B5433AC7D329EEB6DD26545E96E55B874BE909"},
    {Algorithm::Sha512, std::string(1000000, 'a'),
     "E718483D0CE769644E2E42C7BC15B4638E1F98B13B2044285632A803AFA973EBDE0FF244877EA60A4CB0432CE577C31BEB009C5C2C49AA2E4EADB217AD8CC09B"},
    {Algorithm::Crc32, "123456789", "CBF43926"},
    {Algorithm::Crc32, "abc", "352441C2"},
    {Algorithm::Crc32, std::string(1, '\0'), "D202EF8D"},
};

// Digit texts around the padding boundary (55 bytes leave room for padding
// and length in the last block, 56 to 64 need another; 119 is the longest to
// end in a second block; SHA-512's 128-byte blocks and 16-byte length move
// these to 111, 112 to 128 and 239) and one of several blocks, kept last;
// digests from md5sum, sha1sum, gzip, sha256sum and sha512sum (SHA-256 has
// NIST's messages of the shorter lengths above).
const struct {
    std::size_t length;
    const char* digest[5];  // MD5, SHA-1, CRC-32, SHA-256, SHA-512
} kDigitTexts[] = {
    {55, {"6E7A4FC92EB1C3F6E652425BCC8D44B5", "9F3A4CE7F66B1B74C34DA2C5D732C39F81E0F8DF", "F903F5D6"}},
    {56, {"8AF270B2847610E742B0791B53648C09", "0A40B8FBDAAFB7C29651618AC15D27E772287130", "EBF85FBA"}},
    {63, {"C5E256437E758092DBFE06283E489019", "984B0F2F6D78C24020F5A79D409F67AB99302891", "79D4F8A4"}},
    {64, {"7F7BFD348709DEEAACE19E3F535F8C54", "CF0800F7644ACE3CB4C3FA33388D3BA0EA3C8B6E", "BC103D92"}},
    {65, {"BEB9F48BC802CA5CA043BCC15E219A5A", "92DE3A8444FE6D15268F0BA810AA43BC8B3A4FFE", "ED0BF96D"}},
    {119, {"42EEC8502CB0ED8F0D05AA5A24463B6A", "D1BA16C5F745875597B6D0B9061F30B5A5C89092", "7FB10B2F",
           "D0CB70D05FF14123F114C0CCA360C62077379CF1AC90E1BFAFA9E9E4D827596A"}},
    {111, {nullptr, nullptr, nullptr, nullptr,
           "B6545E7DB9B73DA646208708AE7147CCFD49B39177A1DE372EAE64BA3332397255C8AB6CE198D379CE1BA90074F02657285FB533A86EC09746CFED6EE4986C02"}},
    {112, {nullptr, nullptr, nullptr, nullptr,
           "D7530DE979582347E64F484898F172BEB2DE592ABC93B08AB22F38BC0CAF6A3F045D330F8B91555FA955AEF07B9CE3435B0B3ECF4AF5590EABD4D503D936C588"}},
    {127, {nullptr, nullptr, nullptr, nullptr,
           "E7A060370FCF52D03F13D7E116D0706883C202B8640E13036353CEDAF9F7B6258230366C09CA95452A7332A2A9F5B72EC8C9EB6E5E26E83F429D0110A629F077"}},
    {128, {nullptr, nullptr, nullptr, nullptr,
           "B6CB700ED6E0EAF4B179B590349AFC8E96804164B5EFC36AF3EE8A35F4B863178E9A089BDD10453330A56BA77B7D83419DB048E294BE23373208EFF448E6C2DA"}},
    {239, {nullptr, nullptr, nullptr, nullptr,
           "70CE81CADBBC6A3DB8A8283959AD48B9B9D735F9B59C8AD5CE552885B39086BDB692E88E6DC2282415FD024285B1C430DECDA96171872FFF8D2F884CAC9FD663"}},
    {1000, {"427008B3FE192F663D665F56CD75716C", "F2B2F38B074C387A1415C3AFB834C7232F31B097", "7C858FF1",
            "AB6C5F3237F551D208FC2CA5225A4CCA20B3FD638794A804F0ED5549D5041734",
            "0D12453640105DF025424F8D339F9EB73B49C172D527294D47D078B2DF8CAA8D8D1E7CD27231442E18D03BC464D2B6C1BB3AA274FADFAE4341D0FCA44B3A48E1"}},
};

}  // namespace

TEST_P(OnEachPath, PublishedVectorsAndPaddingBoundaries) {
    for (const Vector& v : kPublished) {
        if (v.algorithm == algorithm()) {
            EXPECT_EQ(DigestHex(algorithm(), v.message.data(), v.message.size()), v.digest) << v.message.substr(0, 64);
        }
    }
    for (const auto& known : kDigitTexts) {
        if (const char* digest = known.digest[int(algorithm())]) {
            const std::string text = DigitText(known.length);
            EXPECT_EQ(DigestHex(algorithm(), text.data(), text.size()), digest) << known.length;
        }
    }
}

// Cut in two at every point (every length reaches the fast loops and their
// tails), in pieces that straddle blocks, and whole from every alignment.
TEST_P(OnEachPath, SplitAnywhereGivesOneDigest) {
    const std::string text = DigitText(1000), expected = std::end(kDigitTexts)[-1].digest[int(algorithm())];
    EXPECT_EQ(DigestHex(algorithm(), text.data(), 1000, {1, 63, 64, 65, 127, 129, 0, 400}), expected);
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
    Sha256Context sha256{};
    Sha512Context sha512{};
    Md5Init(md5);
    Md5Update(md5, "abcde", 5);
    Sha1Init(sha1);
    Sha1Update(sha1, "abcde", 5);
    Sha256Init(sha256);
    Sha256Update(sha256, "abcde", 5);
    Sha512Init(sha512);
    Sha512Update(sha512, "abcde", 5);
    const Md5Context md5Before = md5;
    const Sha1Context sha1Before = sha1;
    const Sha256Context sha256Before = sha256;
    const Sha512Context sha512Before = sha512;
    for (const std::int32_t length : {0, -1, -64, INT_MIN}) {
        Md5Update(md5, "xyz", length);
        Md5Update(md5, nullptr, length);
        EXPECT_EQ(std::memcmp(&md5, &md5Before, sizeof md5), 0) << length;
    }
    Sha1Update(sha1, nullptr, 0);
    EXPECT_EQ(std::memcmp(&sha1, &sha1Before, sizeof sha1), 0);
    Sha256Update(sha256, nullptr, 0);
    EXPECT_EQ(std::memcmp(&sha256, &sha256Before, sizeof sha256), 0);
    Sha512Update(sha512, nullptr, 0);
    EXPECT_EQ(std::memcmp(&sha512, &sha512Before, sizeof sha512), 0);
    EXPECT_EQ(Crc32Update(0xCBF43926u, nullptr, 0), 0xCBF43926u);
}

// Eighteen messages, more than the widest path's lanes, each ending at every
// padding boundary of 64- and 128-byte blocks in turn (one of them long), fed
// whole or after a first piece that leaves a partial block in each lane.
TEST_P(OnEachLanesPath, EveryLaneEndsAtEveryPaddingBoundary) {
    EXPECT_EQ(Digest::Lanes(static_cast<DigestAlgorithm>(algorithm())), GetParam().lanes);
    const std::uint32_t lengths[] = {0, 55, 56, 63, 64, 65, 111, 112, 119, 120, 127, 128, 129, 239, 240, 255, 256, 65541};
    constexpr std::size_t count = std::size(lengths);
    for (std::size_t turn = 0; turn < count; ++turn) {
        LaneSchedule whole(1), split(2);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t length = lengths[(i + turn) % count];
            const std::uint32_t first = std::min<std::uint32_t>(length, (5 * i + turn) % 128);
            whole[0].push_back(length);
            split[0].push_back(first);
            split[1].push_back(length - first);
        }
        EXPECT_EQ(LanesDisagree(algorithm(), whole), std::vector<std::size_t>()) << "turn " << turn;
        EXPECT_EQ(LanesDisagree(algorithm(), split), std::vector<std::size_t>()) << "turn " << turn;
    }
}

// One to seventeen messages of random, unequal pieces over several calls.
TEST_P(OnEachLanesPath, RandomPiecesAgreeWithOneStream) {
    std::uint32_t x = 2463534242u;
    for (int round = 0; round < 40; ++round) {
        std::uint8_t bytes[97];
        for (std::uint8_t& byte : bytes) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            byte = static_cast<std::uint8_t>(x >> 7);
        }
        EXPECT_EQ(LanesDisagree(algorithm(), LaneScheduleFromBytes(bytes, sizeof bytes)), std::vector<std::size_t>())
            << "round " << round;
    }
}
