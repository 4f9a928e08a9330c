#include "algorithms/Md5.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

const std::uint8_t kPadding[64] = {0x80};

// Decided at run time from how a stored 1 lies in memory; compilers fold it.
bool HostIsLittleEndian() {
    static const std::uint32_t one = 1;
    return *reinterpret_cast<const unsigned char*>(&one) == 1;
}

inline std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// The auxiliary functions of RFC 1321 in forms with fewer operations.
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
// G's two terms share no bits, so they may be added: the term without x
// (the previous step's result) is then ready early.
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (~z & y) + (z & x); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

#define MD5_STEP(f, a, b, c, d, k, s, t) \
    a = b + RotateLeft(a + f(b, c, d) + word(k) + t, s)

// The 64 steps of RFC 1321 for each of `count` blocks, the state kept in
// registers from block to block; load(block, k) yields message word k.
template <typename Load>
inline void Compress(std::uint32_t state[4], const std::uint8_t* block, std::size_t count, Load load) {
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    for (; count != 0; --count, block += 64) {
        const auto word = [block, load](int k) { return load(block, k); };
        const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

        MD5_STEP(F, a, b, c, d, 0, 7, 0xD76AA478u);
        MD5_STEP(F, d, a, b, c, 1, 12, 0xE8C7B756u);
        MD5_STEP(F, c, d, a, b, 2, 17, 0x242070DBu);
        MD5_STEP(F, b, c, d, a, 3, 22, 0xC1BDCEEEu);
        MD5_STEP(F, a, b, c, d, 4, 7, 0xF57C0FAFu);
        MD5_STEP(F, d, a, b, c, 5, 12, 0x4787C62Au);
        MD5_STEP(F, c, d, a, b, 6, 17, 0xA8304613u);
        MD5_STEP(F, b, c, d, a, 7, 22, 0xFD469501u);
        MD5_STEP(F, a, b, c, d, 8, 7, 0x698098D8u);
        MD5_STEP(F, d, a, b, c, 9, 12, 0x8B44F7AFu);
        MD5_STEP(F, c, d, a, b, 10, 17, 0xFFFF5BB1u);
        MD5_STEP(F, b, c, d, a, 11, 22, 0x895CD7BEu);
        MD5_STEP(F, a, b, c, d, 12, 7, 0x6B901122u);
        MD5_STEP(F, d, a, b, c, 13, 12, 0xFD987193u);
        MD5_STEP(F, c, d, a, b, 14, 17, 0xA679438Eu);
        MD5_STEP(F, b, c, d, a, 15, 22, 0x49B40821u);

        MD5_STEP(G, a, b, c, d, 1, 5, 0xF61E2562u);
        MD5_STEP(G, d, a, b, c, 6, 9, 0xC040B340u);
        MD5_STEP(G, c, d, a, b, 11, 14, 0x265E5A51u);
        MD5_STEP(G, b, c, d, a, 0, 20, 0xE9B6C7AAu);
        MD5_STEP(G, a, b, c, d, 5, 5, 0xD62F105Du);
        MD5_STEP(G, d, a, b, c, 10, 9, 0x02441453u);
        MD5_STEP(G, c, d, a, b, 15, 14, 0xD8A1E681u);
        MD5_STEP(G, b, c, d, a, 4, 20, 0xE7D3FBC8u);
        MD5_STEP(G, a, b, c, d, 9, 5, 0x21E1CDE6u);
        MD5_STEP(G, d, a, b, c, 14, 9, 0xC33707D6u);
        MD5_STEP(G, c, d, a, b, 3, 14, 0xF4D50D87u);
        MD5_STEP(G, b, c, d, a, 8, 20, 0x455A14EDu);
        MD5_STEP(G, a, b, c, d, 13, 5, 0xA9E3E905u);
        MD5_STEP(G, d, a, b, c, 2, 9, 0xFCEFA3F8u);
        MD5_STEP(G, c, d, a, b, 7, 14, 0x676F02D9u);
        MD5_STEP(G, b, c, d, a, 12, 20, 0x8D2A4C8Au);

        MD5_STEP(H, a, b, c, d, 5, 4, 0xFFFA3942u);
        MD5_STEP(H, d, a, b, c, 8, 11, 0x8771F681u);
        MD5_STEP(H, c, d, a, b, 11, 16, 0x6D9D6122u);
        MD5_STEP(H, b, c, d, a, 14, 23, 0xFDE5380Cu);
        MD5_STEP(H, a, b, c, d, 1, 4, 0xA4BEEA44u);
        MD5_STEP(H, d, a, b, c, 4, 11, 0x4BDECFA9u);
        MD5_STEP(H, c, d, a, b, 7, 16, 0xF6BB4B60u);
        MD5_STEP(H, b, c, d, a, 10, 23, 0xBEBFBC70u);
        MD5_STEP(H, a, b, c, d, 13, 4, 0x289B7EC6u);
        MD5_STEP(H, d, a, b, c, 0, 11, 0xEAA127FAu);
        MD5_STEP(H, c, d, a, b, 3, 16, 0xD4EF3085u);
        MD5_STEP(H, b, c, d, a, 6, 23, 0x04881D05u);
        MD5_STEP(H, a, b, c, d, 9, 4, 0xD9D4D039u);
        MD5_STEP(H, d, a, b, c, 12, 11, 0xE6DB99E5u);
        MD5_STEP(H, c, d, a, b, 15, 16, 0x1FA27CF8u);
        MD5_STEP(H, b, c, d, a, 2, 23, 0xC4AC5665u);

        MD5_STEP(I, a, b, c, d, 0, 6, 0xF4292244u);
        MD5_STEP(I, d, a, b, c, 7, 10, 0x432AFF97u);
        MD5_STEP(I, c, d, a, b, 14, 15, 0xAB9423A7u);
        MD5_STEP(I, b, c, d, a, 5, 21, 0xFC93A039u);
        MD5_STEP(I, a, b, c, d, 12, 6, 0x655B59C3u);
        MD5_STEP(I, d, a, b, c, 3, 10, 0x8F0CCC92u);
        MD5_STEP(I, c, d, a, b, 10, 15, 0xFFEFF47Du);
        MD5_STEP(I, b, c, d, a, 1, 21, 0x85845DD1u);
        MD5_STEP(I, a, b, c, d, 8, 6, 0x6FA87E4Fu);
        MD5_STEP(I, d, a, b, c, 15, 10, 0xFE2CE6E0u);
        MD5_STEP(I, c, d, a, b, 6, 15, 0xA3014314u);
        MD5_STEP(I, b, c, d, a, 13, 21, 0x4E0811A1u);
        MD5_STEP(I, a, b, c, d, 4, 6, 0xF7537E82u);
        MD5_STEP(I, d, a, b, c, 11, 10, 0xBD3AF235u);
        MD5_STEP(I, c, d, a, b, 2, 15, 0x2AD7D2BBu);
        MD5_STEP(I, b, c, d, a, 9, 21, 0xEB86D391u);

        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_STEP

void Blocks(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
    if (HostIsLittleEndian() && reinterpret_cast<std::uintptr_t>(blocks) % 4 == 0) {
        // The words are the blocks' own bytes; a fixed-size memcpy is a plain
        // load, and unlike a pointer cast it is well-defined for any buffer.
        Compress(state, blocks, count, [](const std::uint8_t* block, int k) {
            std::uint32_t w;
            std::memcpy(&w, block + 4 * k, 4);
            return w;
        });
        return;
    }
    Compress(state, blocks, count, [](const std::uint8_t* block, int k) {
        const std::uint8_t* p = block + 4 * k;
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    });
}

}  // namespace

void Md5Init(Md5Context& context) {
    context.count[0] = 0;
    context.count[1] = 0;
    context.state[0] = 0x67452301u;
    context.state[1] = 0xEFCDAB89u;
    context.state[2] = 0x98BADCFEu;
    context.state[3] = 0x10325476u;
}

void Md5Transform(Md5Context& context, const std::uint8_t block[64]) { Blocks(context.state, block, 1); }

void Md5Update(Md5Context& context, const void* bytes, std::int32_t length) {
    if (length <= 0) {
        return;
    }
    const auto* input = static_cast<const std::uint8_t*>(bytes);
    auto n = static_cast<std::uint32_t>(length);
    const std::uint32_t offset = (context.count[0] >> 3) % 64;

    const std::uint32_t bits = n << 3;
    context.count[0] += bits;
    context.count[1] += n >> 29;
    if (context.count[0] < bits) {
        ++context.count[1];
    }

    if (offset != 0) {
        const std::uint32_t take = n < 64 - offset ? n : 64 - offset;
        std::memcpy(context.buffer + offset, input, take);
        if (offset + take < 64) {
            return;
        }
        Blocks(context.state, context.buffer, 1);
        input += take;
        n -= take;
    }
    Blocks(context.state, input, n / 64);
    input += n / 64 * 64;
    n %= 64;
    if (n != 0) {
        std::memcpy(context.buffer, input, n);
    }
}

void Md5Final(Md5Context& context, std::uint8_t digest[16]) {
    std::uint8_t length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = static_cast<std::uint8_t>(context.count[0] >> (8 * i));
        length[4 + i] = static_cast<std::uint8_t>(context.count[1] >> (8 * i));
    }
    const std::uint32_t waiting = (context.count[0] >> 3) % 64;
    Md5Update(context, kPadding, static_cast<std::int32_t>((55 - waiting) % 64 + 1));
    Md5Update(context, length, 8);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<std::uint8_t>(context.state[i] >> (8 * j));
        }
    }
}
