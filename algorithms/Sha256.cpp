#include "algorithms/Sha256.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "algorithms/Cpu.h"
#include "algorithms/Lanes.h"
#include "algorithms/ShaLanesAvx512.h"

// Aligned so that the SHA-extensions path can add four at a time straight
// from memory.
alignas(16) constexpr std::uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

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

// The functions of FIPS 180-4, section 4.1.2.
inline std::uint32_t Choose(std::uint32_t e, std::uint32_t f, std::uint32_t g) { return g ^ (e & (f ^ g)); }
// Nested, as ROTR 2 ^ ROTR 13 ^ ROTR 22 and ROTR 6 ^ ROTR 11 ^ ROTR 25: one
// copy of the input instead of three where rotates overwrite their operand.
inline std::uint32_t BigSigma0(std::uint32_t a) { return RotateRight(RotateRight(RotateRight(a, 9) ^ a, 11) ^ a, 2); }
inline std::uint32_t BigSigma1(std::uint32_t e) { return RotateRight(RotateRight(RotateRight(e, 14) ^ e, 5) ^ e, 6); }
inline std::uint32_t SmallSigma0(std::uint32_t w) { return RotateRight(w, 7) ^ RotateRight(w, 18) ^ (w >> 3); }
inline std::uint32_t SmallSigma1(std::uint32_t w) { return RotateRight(w, 17) ^ RotateRight(w, 19) ^ (w >> 10); }

}  // namespace

// The message schedule keeps only the last sixteen words: W[t] replaces
// W[t - 16] in slot t mod 16. Each step leaves its new A in h's variable and
// its new E in d's, so the next step takes the roles one variable along and
// no register moves are needed. Maj(a, b, c) is b ^ ((a ^ b) & (b ^ c)), and
// this step's a ^ b is the next one's b ^ c.
#define SHA256_STEP(a, b, c, d, e, f, g, h, t, x)                             \
    h += BigSigma1(e) + Choose(e, f, g) + kSha256RoundConstants[t] + (x);          \
    d += h;                                                                   \
    ab = a ^ b;                                                               \
    h += BigSigma0(a) + (b ^ (ab & bc));                                      \
    bc = ab

// Sixteen steps from step `base`, a multiple of 16, so that every schedule
// slot below is a constant.
#define SHA256_SIXTEEN_STEPS(base, W)                    \
    SHA256_STEP(a, b, c, d, e, f, g, h, (base) + 0, W(0));   \
    SHA256_STEP(h, a, b, c, d, e, f, g, (base) + 1, W(1));   \
    SHA256_STEP(g, h, a, b, c, d, e, f, (base) + 2, W(2));   \
    SHA256_STEP(f, g, h, a, b, c, d, e, (base) + 3, W(3));   \
    SHA256_STEP(e, f, g, h, a, b, c, d, (base) + 4, W(4));   \
    SHA256_STEP(d, e, f, g, h, a, b, c, (base) + 5, W(5));   \
    SHA256_STEP(c, d, e, f, g, h, a, b, (base) + 6, W(6));   \
    SHA256_STEP(b, c, d, e, f, g, h, a, (base) + 7, W(7));   \
    SHA256_STEP(a, b, c, d, e, f, g, h, (base) + 8, W(8));   \
    SHA256_STEP(h, a, b, c, d, e, f, g, (base) + 9, W(9));   \
    SHA256_STEP(g, h, a, b, c, d, e, f, (base) + 10, W(10)); \
    SHA256_STEP(f, g, h, a, b, c, d, e, (base) + 11, W(11)); \
    SHA256_STEP(e, f, g, h, a, b, c, d, (base) + 12, W(12)); \
    SHA256_STEP(d, e, f, g, h, a, b, c, (base) + 13, W(13)); \
    SHA256_STEP(c, d, e, f, g, h, a, b, (base) + 14, W(14)); \
    SHA256_STEP(b, c, d, e, f, g, h, a, (base) + 15, W(15))

#define SHA256_W(i) w[i]
#define SHA256_NEXT(i) \
    (w[i] += SmallSigma1(w[((i) + 14) & 15]) + w[((i) + 9) & 15] + SmallSigma0(w[((i) + 1) & 15]))

namespace {

void BlocksPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    for (; count != 0; --count, blocks += 64) {
        std::uint32_t w[16];
        for (int t = 0; t < 16; ++t) {
            w[t] = LoadBigEndian(blocks + 4 * t);
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        std::uint32_t ab, bc = b ^ c;
        SHA256_SIXTEEN_STEPS(0, SHA256_W);
        for (int base = 16; base < 64; base += 16) {
            SHA256_SIXTEEN_STEPS(base, SHA256_NEXT);
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

#undef SHA256_NEXT
#undef SHA256_W
#undef SHA256_SIXTEEN_STEPS
#undef SHA256_STEP

#if DUNMO_X86
// Four steps per group, two per SHA256RNDS2, with the state split as ABEF and
// CDGH (A and C in the top lanes). Group g consumes m[g % 4], which holds
// W[4g..4g+3] with the first word in the lowest lane; meanwhile SHA256MSG1,
// the add of W[t-7] and SHA256MSG2 complete W[4g+4..4g+7] in m[(g + 1) % 4].
// Eight vector registers suffice: the two state halves, the four schedule
// registers, the words with their constants (SHA256RNDS2 wants them in XMM0)
// and one temporary.
template <int g>
DUNMO_INLINE_TARGET("sha,sse4.1") void ShaGroup(__m128i& abef, __m128i& cdgh, __m128i (&m)[4]) {
    constexpr int now = g % 4;
    const __m128i wk =
        _mm_add_epi32(m[now], _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * g)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
    if constexpr (g >= 3 && g <= 14) {
        const __m128i minus7 = _mm_alignr_epi8(m[now], m[(g + 3) % 4], 4);
        m[(g + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(m[(g + 1) % 4], minus7), m[now]);
    }
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
    if constexpr (g >= 1 && g <= 12) {
        m[(g + 3) % 4] = _mm_sha256msg1_epu32(m[(g + 3) % 4], m[now]);
    }
}

template <int... g>
DUNMO_INLINE_TARGET("sha,sse4.1")
void ShaGroups(__m128i& abef, __m128i& cdgh, __m128i (&m)[4], std::integer_sequence<int, g...>) {
    (ShaGroup<g>(abef, cdgh, m), ...);
}

// The state as ABEF and CDGH, and back.
DUNMO_INLINE_TARGET("sha,sse4.1") void LoadState(const std::uint32_t state[8], __m128i& abef, __m128i& cdgh) {
    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1), efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    abef = _mm_alignr_epi8(cdab, efgh, 8);
    cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
}

DUNMO_INLINE_TARGET("sha,sse4.1") void StoreState(std::uint32_t state[8], __m128i abef, __m128i cdgh) {
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B), dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

// A block's words, big-endian, W[0] in the lowest lane of m[0].
DUNMO_INLINE_TARGET("sha,sse4.1") void LoadWords(__m128i (&m)[4], const std::uint8_t* block) {
    const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    for (int i = 0; i < 4; ++i) {
        m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), swap);
    }
}

// All blocks in one call, the state in registers. With only eight of them
// (i686) the state at a block's start waits on the stack for the final add:
// two stores and two loads a block, the only stack traffic in the loop.
DUNMO_TARGET("sha,sse4.1")
void BlocksShaExtensions(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    __m128i abef, cdgh;
    LoadState(state, abef, cdgh);
    for (; count != 0; --count, blocks += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i m[4];
        LoadWords(m, blocks);
        ShaGroups(abef, cdgh, m, std::make_integer_sequence<int, 16>());
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    StoreState(state, abef, cdgh);
}

// Two messages a group apart: one stream's rounds wait on the latency of
// SHA256RNDS2 while the other's run. With i686's eight registers the second
// stream lives mostly on the stack, which still leaves a gain.
template <int... g>
DUNMO_INLINE_TARGET("sha,sse4.1")
void ShaGroupsTwice(__m128i (&abef)[2], __m128i (&cdgh)[2], __m128i (&m)[2][4], std::integer_sequence<int, g...>) {
    ((ShaGroup<g>(abef[0], cdgh[0], m[0]), ShaGroup<g>(abef[1], cdgh[1], m[1])), ...);
}

// A LaneKernel's compress for one or two messages (a lone one is hashed twice).
DUNMO_TARGET("sha,sse4.1")
void LanesShaExtensions(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                        std::size_t blocks) {
    std::uint32_t spare[8] = {};
    std::uint32_t* const state[2] = {states[0], lanes > 1 ? states[1] : spare};
    const std::uint8_t* const from[2] = {data[0], data[lanes > 1 ? 1 : 0]};
    __m128i abef[2], cdgh[2];
    LoadState(state[0], abef[0], cdgh[0]);
    LoadState(state[1], abef[1], cdgh[1]);
    for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {
        const __m128i before[4] = {abef[0], cdgh[0], abef[1], cdgh[1]};
        __m128i m[2][4];
        LoadWords(m[0], from[0] + offset);
        LoadWords(m[1], from[1] + offset);
        ShaGroupsTwice(abef, cdgh, m, std::make_integer_sequence<int, 16>());
        abef[0] = _mm_add_epi32(abef[0], before[0]);
        cdgh[0] = _mm_add_epi32(cdgh[0], before[1]);
        abef[1] = _mm_add_epi32(abef[1], before[2]);
        cdgh[1] = _mm_add_epi32(cdgh[1], before[3]);
    }
    StoreState(state[0], abef[0], cdgh[0]);
    StoreState(state[1], abef[1], cdgh[1]);
}

// Eight messages in the lanes of AVX2, for processors without the SHA
// extensions: the portable steps with each variable a register of eight
// messages' words. The eight state registers alone fill i686's eight, so the
// compiler keeps some of them and the schedule on the stack.
using Lanes8 = __m256i;

template <int n>
DUNMO_INLINE_TARGET("avx2") Lanes8 RotateRight8(Lanes8 x) {
    return _mm256_or_si256(_mm256_srli_epi32(x, n), _mm256_slli_epi32(x, 32 - n));
}
DUNMO_INLINE_TARGET("avx2") Lanes8 Xor8(Lanes8 x, Lanes8 y) { return _mm256_xor_si256(x, y); }
DUNMO_INLINE_TARGET("avx2") Lanes8 Add8(Lanes8 x, Lanes8 y) { return _mm256_add_epi32(x, y); }

// Step t, a..h taken one variable along per step as in the portable code;
// bc carries b ^ c for Maj from step to step.
template <int t>
DUNMO_INLINE_TARGET("avx2") void Avx2Step(Lanes8 (&s)[8], Lanes8 (&w)[16], Lanes8& bc) {
    const Lanes8 a = s[-t & 7], b = s[(1 - t) & 7], e = s[(4 - t) & 7], f = s[(5 - t) & 7], g = s[(6 - t) & 7];
    Lanes8 &d = s[(3 - t) & 7], &h = s[(7 - t) & 7];
    if constexpr (t >= 16) {
        const Lanes8 w15 = w[(t + 1) & 15], w2 = w[(t + 14) & 15];
        const Lanes8 sigma0 = Xor8(Xor8(RotateRight8<7>(w15), RotateRight8<18>(w15)), _mm256_srli_epi32(w15, 3));
        const Lanes8 sigma1 = Xor8(Xor8(RotateRight8<17>(w2), RotateRight8<19>(w2)), _mm256_srli_epi32(w2, 10));
        w[t & 15] = Add8(Add8(w[t & 15], sigma0), Add8(w[(t + 9) & 15], sigma1));
    }
    const Lanes8 sigmaE = Xor8(Xor8(RotateRight8<6>(e), RotateRight8<11>(e)), RotateRight8<25>(e));
    const Lanes8 choose = Xor8(g, _mm256_and_si256(e, Xor8(f, g)));
    h = Add8(Add8(h, Add8(_mm256_set1_epi32(static_cast<int>(kSha256RoundConstants[t])), w[t & 15])),
             Add8(sigmaE, choose));
    d = Add8(d, h);
    const Lanes8 ab = Xor8(a, b);
    const Lanes8 sigmaA = Xor8(Xor8(RotateRight8<2>(a), RotateRight8<13>(a)), RotateRight8<22>(a));
    h = Add8(h, Add8(sigmaA, Xor8(b, _mm256_and_si256(ab, bc))));
    bc = ab;
}

template <int... t>
DUNMO_INLINE_TARGET("avx2")
void Avx2Steps(Lanes8 (&s)[8], Lanes8 (&w)[16], Lanes8& bc, std::integer_sequence<int, t...>) {
    (Avx2Step<t>(s, w, bc), ...);
}

using Set8 = LaneSet<std::uint32_t, 8, 8>;

DUNMO_TARGET("avx2") void LanesAvx2(Set8& set, std::size_t blocks) {
    Lanes8 s[8];
    for (int r = 0; r < 8; ++r) s[r] = _mm256_load_si256(reinterpret_cast<const Lanes8*>(set.words[r]));
    for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {
        alignas(32) Lanes8 w[16];
        LoadLaneWords8<true>(w, set.from, offset);
        const Lanes8 before[8] = {s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]};
        Lanes8 bc = Xor8(s[1], s[2]);
        Avx2Steps(s, w, bc, std::make_integer_sequence<int, 64>());
        for (int r = 0; r < 8; ++r) s[r] = Add8(s[r], before[r]);
    }
    for (int r = 0; r < 8; ++r) _mm256_store_si256(reinterpret_cast<Lanes8*>(set.words[r]), s[r]);
}
#endif

using BlockFunction = void (*)(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);

constexpr PathEntry<Sha256Path, BlockFunction> kPaths[] = {
#if DUNMO_X86
    {Sha256Path::ShaExtensions, BlocksShaExtensions, &CpuFeatures::sha},
#endif
    {Sha256Path::Portable, BlocksPortable, nullptr},
};

BlockFunction FunctionFor(Sha256Path path) { return FunctionIn(kPaths, path); }

using Choice = PathChoice<Sha256Path, BlockFunction, FunctionFor>;

void Blocks(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    Choice::Current()(state, blocks, count);
}

#if DUNMO_X86
constexpr LaneKernel kShaExtensionsX2 = {LanesShaExtensions, 2, 2};
// Two lanes of eight run no faster than one stream of the portable code.
constexpr LaneKernel kAvx2x8 = {CompressLaneSet<Set8, LanesAvx2>, 8, 3};
// Two messages in eight of these beat one stream of the portable code.
constexpr LaneKernel kAvx512x8 = {Sha256LanesAvx512x8, 8, 2};
constexpr LaneKernel kAvx512x16 = {Sha256LanesAvx512x16, 16, 2};
#endif

struct Sha256LaneTraits : ContextLanes<Sha256Context, std::uint32_t, 64, 0, Sha256Update> {
    using Path = Sha256LanesPath;
    static constexpr PathEntry<Path, const LaneKernel*> kPaths[] = {
#if DUNMO_X86
        {Path::ShaExtensionsX2, &kShaExtensionsX2, &CpuFeatures::sha},
        {Path::Avx512x16, &kAvx512x16, &CpuFeatures::avx512},
        {Path::Avx512x8, &kAvx512x8, &CpuFeatures::avx512},
        {Path::Avx2x8, &kAvx2x8, &CpuFeatures::avx2},
#endif
        {Path::Scalar, &kOneStream<std::uint32_t>, nullptr},
    };
};
using Lanes = LanesOf<Sha256LaneTraits>;

}  // namespace

bool Sha256LanesPathAvailable(Sha256LanesPath path) { return Lanes::Available(path); }

bool Sha256LanesUsePath(Sha256LanesPath path) { return Lanes::Use(path); }

std::size_t Sha256Lanes() { return Lanes::Width(); }

void Sha256UpdateLanes(Sha256Context* const contexts[], const std::uint8_t* const bytes[],
                       const std::uint32_t lengths[], std::size_t count) {
    Lanes::Update(contexts, bytes, lengths, count);
}

bool Sha256PathAvailable(Sha256Path path) { return Choice::Available(path); }

bool Sha256UsePath(Sha256Path path) { return Choice::Use(path); }

void Sha256Init(Sha256Context& context) {
    static const std::uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    context.count[0] = context.count[1] = 0;
    std::memcpy(context.state, initial, sizeof initial);
}

void Sha256Update(Sha256Context& context, const void* bytes, std::uint32_t length) {
    if (length == 0) {
        return;
    }
    const auto* input = static_cast<const std::uint8_t*>(bytes);
    std::uint32_t used = context.count[0] % 64;
    if ((context.count[0] += length) < length) {
        ++context.count[1];
    }
    if (used != 0) {
        const std::uint32_t take = length < 64 - used ? length : 64 - used;
        std::memcpy(context.buffer + used, input, take);
        input += take;
        length -= take;
        used += take;
        if (used < 64) {
            return;
        }
        Blocks(context.state, context.buffer, 1);
    }
    if (length >= 64) {
        Blocks(context.state, input, length / 64);
    }
    std::memcpy(context.buffer, input + length / 64 * 64, length % 64);
}

void Sha256Final(Sha256Context& context, std::uint8_t digest[32]) {
    const std::uint32_t high = context.count[1] << 3 | context.count[0] >> 29;
    const std::uint32_t low = context.count[0] << 3;
    const std::uint32_t used = context.count[0] % 64;
    static const std::uint8_t padding[64] = {0x80};
    Sha256Update(context, padding, used < 56 ? 56 - used : 120 - used);
    std::uint8_t lengthBytes[8];
    StoreBigEndian(lengthBytes, high);
    StoreBigEndian(lengthBytes + 4, low);
    Sha256Update(context, lengthBytes, 8);
    for (int i = 0; i < 8; ++i) {
        StoreBigEndian(digest + 4 * i, context.state[i]);
    }
}
