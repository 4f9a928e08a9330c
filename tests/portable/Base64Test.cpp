#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "algorithms/Base64.h"

namespace {

// Encodes into a buffer one character too long and checks that one is untouched.
std::string Encode(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '#');
    const std::int32_t written = Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                              static_cast<std::int32_t>(bytes.size()), &text[0]);
    EXPECT_EQ(text.back(), '#') << "wrote past its last character";
    text.pop_back();
    EXPECT_EQ(written, static_cast<std::int32_t>(text.size()));
    return text;
}

// Decodes into a buffer of the documented safe size and checks nothing is
// written past the bytes it reports.
std::string Decode(const std::string& text) {
    std::string bytes(3 * ((text.size() + 3) / 4) + 1, '\xA5');
    const auto written =
        static_cast<std::size_t>(Base64Decode(text.c_str(), reinterpret_cast<std::uint8_t*>(&bytes[0])));
    EXPECT_LE(written, 3 * text.size() / 4) << text;  // a negative count shows up huge
    EXPECT_EQ(bytes.find_first_not_of('\xA5', written), std::string::npos) << "wrote past its count: " << text;
    bytes.resize(std::min(written, bytes.size()));
    return bytes;
}

struct Pair {
    std::string bytes, text;
};

}  // namespace

TEST(Base64, EncodesPaddedRfc4648TextAndNothingForNoInput) {
    for (const Pair& p : {Pair{"abc", "YWJj"}, {"ab", "YWI="}, {"a", "YQ=="}, {"hello world", "aGVsbG8gd29ybGQ="},
                          {std::string("\xFF\xFF\xFE\x00", 4), "///+AA=="}, {"", ""}}) {
        EXPECT_EQ(Encode(p.bytes), p.text);
    }
    char untouched = '#';
    EXPECT_EQ(Base64Encode(reinterpret_cast<const std::uint8_t*>("a"), -1, &untouched), 0);
    EXPECT_EQ(Base64Encode(nullptr, 1, &untouched), 0);
    EXPECT_EQ(untouched, '#');
}

// Every character outside the alphabet, "=" included, is skipped without
// touching the bit stream, and an incomplete tail is dropped.
TEST(Base64, DecodesLenientlyAndDropsAnIncompleteTail) {
    for (const Pair& p : {Pair{"abc", "YWJj"}, {"a", "YQ=="}, {"ABCD", "QUJDRA"}, {"", "Y"}, {"", ""},
                          {"abc", "\tY W\nJ\rj "}, {"abc", "YW-_Jj"}, {"", "!!!!"}, {"abc", "YWJ=j"},
                          {"abc", "\x80Y\xFFW\xC3J\xA9j\xFE"},
                          // The four bits left after "YQ" stay, so "YWJj" is read out of step.
                          {"\x61\x06\x16\x26", "YQ==YWJj"}}) {
        EXPECT_EQ(Decode(p.text), p.bytes) << p.text;
    }
    EXPECT_EQ(Base64Decode(nullptr, nullptr), 0);
}

TEST(Base64, RandomBytesSurviveARoundTrip) {
    std::mt19937 random(20240601);
    for (std::size_t length = 0; length <= 300; ++length) {
        std::string original(length, '\0');
        std::generate(original.begin(), original.end(), [&] { return static_cast<char>(random()); });
        const std::string text = Encode(original);
        const std::size_t body = text.find_last_not_of('=') + 1;  // 0 for empty text
        ASSERT_EQ(text.size() - body, (3 - length % 3) % 3) << "padding for length " << length;
        ASSERT_EQ(text.substr(0, body).find_first_not_of(Base64Alphabet), std::string::npos);
        ASSERT_EQ(Decode(text), original) << "length " << length;
    }
}
