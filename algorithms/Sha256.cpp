#include "algorithms/Sha256.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline std::uint32_t RotateRight(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
}

inline void StoreBigEndian(std::uint8_t* p, std::uint32_t x) {
    p[0] = static_cast<std::uint8_t>(x >> 24);
    p[1] = static_cast<std::uint8_t>(x >> 16);
    p[2] = static_cast<std::uint8_t>(x >> 8);
    p[3] = static_cast<std::uint8_t>(x);
}

// Compresses `blocks` whole 64-byte blocks.
void CompressPortable(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(data + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t t1 = h + (RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25)) +
                                     (g ^ (e & (f ^ g))) + kRoundConstants[t] + w[t];
            const std::uint32_t t2 = (RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22)) +
                                     ((a & b) | (c & (a | b)));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

using CompressFunction = void (*)(std::uint32_t*, const std::uint8_t*, std::size_t);
CompressFunction compress = &CompressPortable;

}  // namespace

void Sha256Init(Sha256Context& context) {
    static const std::uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    context.count[0] = context.count[1] = 0;
    std::memcpy(context.state, initial, sizeof initial);
}

void Sha256Update(Sha256Context& context, const void* bytes, std::uint32_t length) {
    const auto* input = static_cast<const std::uint8_t*>(bytes);
    std::uint32_t used = context.count[0] & 63;
    if ((context.count[0] += length) < length) ++context.count[1];
    if (used != 0) {
        const std::uint32_t take = length < 64 - used ? length : 64 - used;
        std::memcpy(context.buffer + used, input, take);
        input += take;
        length -= take;
        used += take;
        if (used < 64) return;
        compress(context.state, context.buffer, 1);
    }
    compress(context.state, input, length / 64);
    std::memcpy(context.buffer, input + (length & ~63u), length & 63);
}

void Sha256Final(Sha256Context& context, std::uint8_t digest[32]) {
    const std::uint32_t high = context.count[1] << 3 | context.count[0] >> 29;
    const std::uint32_t low = context.count[0] << 3;
    const std::uint32_t used = context.count[0] & 63;
    static const std::uint8_t padding[64] = {0x80};
    Sha256Update(context, padding, used < 56 ? 56 - used : 120 - used);
    std::uint8_t lengthBytes[8];
    StoreBigEndian(lengthBytes, high);
    StoreBigEndian(lengthBytes + 4, low);
    Sha256Update(context, lengthBytes, 8);
    for (int i = 0; i < 8; ++i) StoreBigEndian(digest + 4 * i, context.state[i]);
}

bool Sha256PathAvailable(Sha256Path path) { return path != Sha256Path::ShaExtensions; }

bool Sha256UsePath(Sha256Path path) {
    if (!Sha256PathAvailable(path)) return false;
    compress = &CompressPortable;
    return true;
}
