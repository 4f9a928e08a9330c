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
    const auto& reverse = kReverse.value;
    std::uint8_t* out = bytes;
    // Only the low `bits` bits matter (at most 6 between groups, 12 within
    // one); older bits shifting off the top are harmless.
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (auto p = reinterpret_cast<const unsigned char*>(text);;) {
        const std::uint32_t v0 = reverse[p[0]];
        if (v0 == kNotInAlphabet) {
            if (p[0] == '\0') {
                break;
            }
            ++p;
            continue;
        }
        // Four alphabet characters in a row add 24 bits and give three whole
        // bytes. Each look-ahead stops at the first non-alphabet character,
        // so nothing past the terminator is read.
        const std::uint32_t v1 = reverse[p[1]];
        if (v1 != kNotInAlphabet) {
            const std::uint32_t v2 = reverse[p[2]];
            if (v2 != kNotInAlphabet) {
                const std::uint32_t v3 = reverse[p[3]];
                if (v3 != kNotInAlphabet) {
                    accumulator = accumulator << 24 | v0 << 18 | v1 << 12 | v2 << 6 | v3;
                    out[0] = static_cast<std::uint8_t>(accumulator >> (bits + 16));
                    out[1] = static_cast<std::uint8_t>(accumulator >> (bits + 8));
                    out[2] = static_cast<std::uint8_t>(accumulator >> bits);
                    out += 3;
                    p += 4;
                    continue;
                }
            }
        }
        accumulator = accumulator << 6 | v0;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *out++ = static_cast<std::uint8_t>(accumulator >> bits);
        }
        ++p;
    }
    return static_cast<std::int32_t>(out - bytes);
}
