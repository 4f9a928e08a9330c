#include "algorithms/Base64.h"

#include <cstdint>

constexpr char Base64Alphabet[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

namespace {

constexpr std::uint8_t kNotInAlphabet = 0xFF;

struct ReverseTable {
    std::uint8_t value[256];
};

// Built from the alphabet at compile time, so the alphabet is the only
// table kept by hand.
constexpr ReverseTable BuildReverseTable() {
    ReverseTable table{};
    for (int byte = 0; byte < 256; ++byte) {
        table.value[byte] = kNotInAlphabet;
    }
    for (int v = 0; v < 64; ++v) {
        table.value[static_cast<unsigned char>(Base64Alphabet[v])] = static_cast<std::uint8_t>(v);
    }
    return table;
}

constexpr ReverseTable kReverse = BuildReverseTable();

}  // namespace

std::int32_t Base64Encode(const std::uint8_t* bytes, std::int32_t length, char* text) {
    if (bytes == nullptr || length <= 0) {
        return 0;
    }
    char* out = text;
    const std::uint8_t* p = bytes;
    const std::uint8_t* const end = bytes + length;
    // Whole groups of three bytes give four characters each.
    for (; end - p >= 3; p += 3) {
        const std::uint32_t group = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
        *out++ = Base64Alphabet[group >> 18];
        *out++ = Base64Alphabet[(group >> 12) & 63];
        *out++ = Base64Alphabet[(group >> 6) & 63];
        *out++ = Base64Alphabet[group & 63];
    }
    // One or two bytes left: their bits, zero-filled to whole characters, then "=".
    if (p != end) {
        const bool two = end - p == 2;
        const std::uint32_t group = std::uint32_t{p[0]} << 16 | (two ? std::uint32_t{p[1]} << 8 : 0);
        *out++ = Base64Alphabet[group >> 18];
        *out++ = Base64Alphabet[(group >> 12) & 63];
        *out++ = two ? Base64Alphabet[(group >> 6) & 63] : '=';
        *out++ = '=';
    }
    return static_cast<std::int32_t>(out - text);
}

std::int32_t Base64Decode(const char* text, std::uint8_t* bytes) {
    if (text == nullptr) {
        return 0;
    }
    std::uint8_t* out = bytes;
    // Only the low `bits` bits matter (never more than 12 between characters);
    // older bits shifting off the top are harmless.
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const std::uint8_t value = kReverse.value[static_cast<unsigned char>(*p)];
        if (value == kNotInAlphabet) {
            continue;
        }
        accumulator = accumulator << 6 | value;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *out++ = static_cast<std::uint8_t>(accumulator >> bits);
        }
    }
    return static_cast<std::int32_t>(out - bytes);
}
