#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "algorithms/Base64.h"

namespace {

std::string Encode(const std::string& text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '#');
    const std::int32_t written = Base64Encode(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              static_cast<std::int32_t>(text.size()), &out[0]);
    EXPECT_EQ(out.back(), '#') << "wrote past its last character";
    out.pop_back();
    EXPECT_EQ(written, static_cast<std::int32_t>(out.size()));
    return out;
}

// Decodes into a buffer of the documented safe size, and checks nothing is
// written past the bytes it reports.
std::vector<std::uint8_t> Decode(const std::string& text) {
    std::vector<std::uint8_t> out(3 * ((text.size() + 3) / 4) + 1, 0xA5);
    const std::int32_t written = Base64Decode(text.c_str(), out.data());
    EXPECT_GE(written, 0);
    EXPECT_LE(static_cast<std::size_t>(written), 3 * text.size() / 4);
    for (std::size_t i = static_cast<std::size_t>(written); i < out.size(); ++i) {
        EXPECT_EQ(out[i], 0xA5) << "byte " << i << " written for " << text;
    }
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

TEST(Base64, EncodesPaddedRfc4648Text) {
    EXPECT_EQ(Encode("abc"), "YWJj");
    EXPECT_EQ(Encode("ab"), "YWI=");
    EXPECT_EQ(Encode("a"), "YQ==");
    EXPECT_EQ(Encode("Man"), "TWFu");
    EXPECT_EQ(Encode("hello world"), "aGVsbG8gd29ybGQ=");
    EXPECT_EQ(Encode(std::string("\xFF\xFF\xFE\x00", 4)), "///+AA==");
}

TEST(Base64, EncodingNothingWritesNothing) {
    char buffer[4] = {'#', '#', '#', '#'};
    const std::uint8_t byte = 'a';
    EXPECT_EQ(Base64Encode(&byte, 0, buffer), 0);
    EXPECT_EQ(Base64Encode(&byte, -1, buffer), 0);
    EXPECT_EQ(Base64Encode(nullptr, 1, buffer), 0);
    EXPECT_EQ(std::string(buffer, 4), "####");
}

TEST(Base64, DecodesWellFormedText) {
    EXPECT_EQ(Decode("YWJj"), Bytes("abc"));
    EXPECT_EQ(Decode("YQ=="), Bytes("a"));
    EXPECT_EQ(Decode("YQ"), Bytes("a"));
    EXPECT_EQ(Decode("Y"), Bytes(""));
    EXPECT_EQ(Decode("QUJDRA"), Bytes("ABCD"));
    EXPECT_EQ(Decode("AAAA"), std::vector<std::uint8_t>(3, 0x00));
    EXPECT_EQ(Decode("////"), std::vector<std::uint8_t>(3, 0xFF));
    EXPECT_EQ(Decode(""), Bytes(""));
    EXPECT_EQ(Base64Decode(nullptr, nullptr), 0);
}

TEST(Base64, DecoderSkipsEveryCharacterOutsideTheAlphabet) {
    EXPECT_EQ(Decode("YW Jj\r\n"), Bytes("abc"));
    EXPECT_EQ(Decode("\tY W\nJ\rj "), Bytes("abc"));
    EXPECT_EQ(Decode("YW-_Jj"), Bytes("abc"));  // URL-safe characters are not ours
    EXPECT_EQ(Decode("!!!!"), Bytes(""));
    EXPECT_EQ(Decode("\x80Y\xFFW\xC3J\xA9j\xFE"), Bytes("abc"));
}

TEST(Base64, PadCharacterDoesNotEndAGroup) {
    EXPECT_EQ(Decode("YWJ=j"), Bytes("abc"));
    // The four bits left after "YQ" stay in the stream, so "YWJj" is read out of step.
    EXPECT_EQ(Decode("YQ==YWJj"), (std::vector<std::uint8_t>{0x61, 0x06, 0x16, 0x26}));
}

TEST(Base64, RandomBytesSurviveARoundTrip) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length = 0; length <= 300; ++length) {
        std::string original(length, '\0');
        for (char& c : original) {
            c = static_cast<char>(byte(random));
        }
        const std::string text = Encode(original);
        ASSERT_EQ(text.size(), 4 * ((length + 2) / 3));
        const std::size_t body = text.find_last_not_of('=') + 1;  // 0 for empty text
        ASSERT_EQ(text.size() - body, (3 - length % 3) % 3);
        ASSERT_EQ(text.substr(0, body).find_first_not_of(Base64Alphabet), std::string::npos);
        ASSERT_EQ(Decode(text), Bytes(original)) << "length " << length;
    }
}
