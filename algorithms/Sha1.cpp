#include "algorithms/Sha1.h"

#include <cstdint>
#include <cstring>

namespace {

const std::uint8_t kPadding[64] = {0x80};

inline std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
}

// The functions of FIPS 180-1 for steps 0-19, 20-39 / 60-79 and 40-59.
inline std::uint32_t Choose(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return d ^ (b & (c ^ d)); }
inline std::uint32_t Parity(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return b ^ c ^ d; }
inline std::uint32_t Majority(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return (b & c) | (d & (b | c)); }

}  // namespace

// The message schedule keeps only the last sixteen words: W[t] replaces
// W[t - 16] in slot t mod 16. Rotating the roles of a..e from step to step
// spares the register moves of the textbook loop.
#define SHA1_W(t) w[(t) & 15]
#define SHA1_NEXT(t) \
    (SHA1_W(t) = RotateLeft(SHA1_W((t) + 13) ^ SHA1_W((t) + 8) ^ SHA1_W((t) + 2) ^ SHA1_W(t), 1))
#define SHA1_STEP(f, k, x, a, b, c, d, e) \
    e += RotateLeft(a, 5) + f(b, c, d) + (k) + (x); \
    b = RotateLeft(b, 30)

#define SHA1_FIVE_STEPS(S, f, k, t)                 \
    SHA1_STEP(f, k, S(t), a, b, c, d, e);            \
    SHA1_STEP(f, k, S((t) + 1), e, a, b, c, d);      \
    SHA1_STEP(f, k, S((t) + 2), d, e, a, b, c);      \
    SHA1_STEP(f, k, S((t) + 3), c, d, e, a, b);      \
    SHA1_STEP(f, k, S((t) + 4), b, c, d, e, a)

void Sha1Transform(Sha1Context& context, const std::uint8_t block[64]) {
    std::uint32_t w[16];
    for (int t = 0; t < 16; ++t) {
        w[t] = LoadBigEndian(block + 4 * t);
    }
    std::uint32_t a = context.state[0];
    std::uint32_t b = context.state[1];
    std::uint32_t c = context.state[2];
    std::uint32_t d = context.state[3];
    std::uint32_t e = context.state[4];

    const std::uint32_t k1 = 0x5A827999u;
    const std::uint32_t k2 = 0x6ED9EBA1u;
    const std::uint32_t k3 = 0x8F1BBCDCu;
    const std::uint32_t k4 = 0xCA62C1D6u;

    SHA1_FIVE_STEPS(SHA1_W, Choose, k1, 0);
    SHA1_FIVE_STEPS(SHA1_W, Choose, k1, 5);
    SHA1_FIVE_STEPS(SHA1_W, Choose, k1, 10);
    SHA1_STEP(Choose, k1, SHA1_W(15), a, b, c, d, e);
    SHA1_STEP(Choose, k1, SHA1_NEXT(16), e, a, b, c, d);
    SHA1_STEP(Choose, k1, SHA1_NEXT(17), d, e, a, b, c);
    SHA1_STEP(Choose, k1, SHA1_NEXT(18), c, d, e, a, b);
    SHA1_STEP(Choose, k1, SHA1_NEXT(19), b, c, d, e, a);

    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k2, 20);
    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k2, 25);
    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k2, 30);
    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k2, 35);

    SHA1_FIVE_STEPS(SHA1_NEXT, Majority, k3, 40);
    SHA1_FIVE_STEPS(SHA1_NEXT, Majority, k3, 45);
    SHA1_FIVE_STEPS(SHA1_NEXT, Majority, k3, 50);
    SHA1_FIVE_STEPS(SHA1_NEXT, Majority, k3, 55);

    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k4, 60);
    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k4, 65);
    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k4, 70);
    SHA1_FIVE_STEPS(SHA1_NEXT, Parity, k4, 75);

    context.state[0] += a;
    context.state[1] += b;
    context.state[2] += c;
    context.state[3] += d;
    context.state[4] += e;
}

#undef SHA1_FIVE_STEPS
#undef SHA1_STEP
#undef SHA1_NEXT
#undef SHA1_W

void Sha1Init(Sha1Context& context) {
    context.count[0] = 0;
    context.count[1] = 0;
    context.state[0] = 0x67452301u;
    context.state[1] = 0xEFCDAB89u;
    context.state[2] = 0x98BADCFEu;
    context.state[3] = 0x10325476u;
    context.state[4] = 0xC3D2E1F0u;
}

void Sha1Update(Sha1Context& context, const void* bytes, std::uint32_t length) {
    if (length == 0) {
        return;
    }
    const auto* input = static_cast<const std::uint8_t*>(bytes);
    std::uint32_t left = context.count[0] % 64;
    const std::uint32_t fill = 64 - left;

    context.count[0] += length;
    if (context.count[0] < length) {
        ++context.count[1];
    }

    if (left != 0 && length >= fill) {
        std::memcpy(context.buffer + left, input, fill);
        Sha1Transform(context, context.buffer);
        input += fill;
        length -= fill;
        left = 0;
    }
    for (; length >= 64; length -= 64, input += 64) {
        Sha1Transform(context, input);
    }
    if (length != 0) {
        std::memcpy(context.buffer + left, input, length);
    }
}

void Sha1Final(Sha1Context& context, std::uint8_t digest[20]) {
    const std::uint32_t high = (context.count[1] << 3) | (context.count[0] >> 29);
    const std::uint32_t low = context.count[0] << 3;
    std::uint8_t length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = static_cast<std::uint8_t>(high >> (24 - 8 * i));
        length[4 + i] = static_cast<std::uint8_t>(low >> (24 - 8 * i));
    }
    const std::uint32_t last = context.count[0] % 64;
    Sha1Update(context, kPadding, last < 56 ? 56 - last : 120 - last);
    Sha1Update(context, length, 8);
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<std::uint8_t>(context.state[i] >> (24 - 8 * j));
        }
    }
}
