#include "algorithms/Sha1.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "algorithms/Cpu.h"
#include "algorithms/Lanes.h"
#include "algorithms/ShaLanesAvx512.h"

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

namespace {

void CompressPortable(std::uint32_t state[5], const std::uint8_t* block) {
    std::uint32_t w[16];
    for (int t = 0; t < 16; ++t) {
        w[t] = LoadBigEndian(block + 4 * t);
    }
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    std::uint32_t e = state[4];

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

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

#undef SHA1_FIVE_STEPS
#undef SHA1_STEP
#undef SHA1_NEXT
#undef SHA1_W

void BlocksPortable(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) {
    for (; count != 0; --count, blocks += 64) {
        CompressPortable(state, blocks);
    }
}

#if DUNMO_X86
// Four steps per SHA1RNDS4, with the schedule computed four words at a time.
// Group g (steps 4g to 4g+3) consumes m[g % 4], which holds W[4g..4g+3] with
// the first word in the top lane; e[g % 2] carries E into the group, and
// SHA1NEXTE derives the other one's from A four steps back. Meanwhile the
// later words are prepared: SHA1MSG1 and the XOR feed SHA1MSG2, which
// completes W[4g+4..4g+7] in m[(g + 1) % 4].
template <int g>
DUNMO_INLINE_TARGET("sha,sse4.1") void ShaGroup(__m128i& abcd, __m128i (&e)[2], __m128i (&m)[4]) {
    constexpr int now = g % 4, in = g % 2;
    if constexpr (g == 0) {
        e[in] = _mm_add_epi32(e[in], m[now]);
    } else {
        e[in] = _mm_sha1nexte_epu32(e[in], m[now]);
    }
    e[1 - in] = abcd;
    if constexpr (g >= 3 && g <= 18) {
        m[(g + 1) % 4] = _mm_sha1msg2_epu32(m[(g + 1) % 4], m[now]);
    }
    abcd = _mm_sha1rnds4_epu32(abcd, e[in], g / 5);
    if constexpr (g >= 1 && g <= 16) {
        m[(g + 3) % 4] = _mm_sha1msg1_epu32(m[(g + 3) % 4], m[now]);
    }
    if constexpr (g >= 2 && g <= 17) {
        m[(g + 2) % 4] = _mm_xor_si128(m[(g + 2) % 4], m[now]);
    }
}

template <int... g>
DUNMO_INLINE_TARGET("sha,sse4.1")
void ShaGroups(__m128i& abcd, __m128i (&e)[2], __m128i (&m)[4], std::integer_sequence<int, g...>) {
    (ShaGroup<g>(abcd, e, m), ...);
}

// A block's words, big-endian, W[0] in the top lane of m[0].
DUNMO_INLINE_TARGET("sha,sse4.1") void LoadWords(__m128i (&m)[4], const std::uint8_t* block) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (int i = 0; i < 4; ++i) {
        m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), reverse);
    }
}

// All blocks with the state held in registers throughout.
DUNMO_TARGET("sha,sse4.1")
void BlocksShaExtensions(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) {
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; count != 0; --count, blocks += 64) {
        const __m128i abcdBefore = abcd, eBefore = e0;
        __m128i e[2] = {e0, e0};
        __m128i m[4];
        LoadWords(m, blocks);
        ShaGroups(abcd, e, m, std::make_integer_sequence<int, 20>());
        // Group 19 left the E of step 80's input in e[0]; A of four steps
        // before is what SHA1NEXTE turns into the final E.
        e0 = _mm_sha1nexte_epu32(e[0], eBefore);
        abcd = _mm_add_epi32(abcd, abcdBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

// Two messages a group apart, so that one stream's rounds run while the
// other's wait on SHA1RNDS4's latency.
template <int... g>
DUNMO_INLINE_TARGET("sha,sse4.1")
void ShaGroupsTwice(__m128i (&abcd)[2], __m128i (&e)[2][2], __m128i (&m)[2][4], std::integer_sequence<int, g...>) {
    ((ShaGroup<g>(abcd[0], e[0], m[0]), ShaGroup<g>(abcd[1], e[1], m[1])), ...);
}

// A LaneKernel's compress for one or two messages (a lone one is hashed twice).
DUNMO_TARGET("sha,sse4.1")
void LanesShaExtensions(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                        std::size_t blocks) {
    std::uint32_t spare[5] = {};
    std::uint32_t* const state[2] = {states[0], lanes > 1 ? states[1] : spare};
    const std::uint8_t* const from[2] = {data[0], data[lanes > 1 ? 1 : 0]};
    __m128i abcd[2], e0[2];
    for (int s = 0; s < 2; ++s) {
        abcd[s] = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state[s])), 0x1B);
        e0[s] = _mm_set_epi32(static_cast<int>(state[s][4]), 0, 0, 0);
    }
    for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {
        const __m128i before[4] = {abcd[0], e0[0], abcd[1], e0[1]};
        __m128i e[2][2] = {{e0[0], e0[0]}, {e0[1], e0[1]}};
        __m128i m[2][4];
        LoadWords(m[0], from[0] + offset);
        LoadWords(m[1], from[1] + offset);
        ShaGroupsTwice(abcd, e, m, std::make_integer_sequence<int, 20>());
        e0[0] = _mm_sha1nexte_epu32(e[0][0], before[1]);
        e0[1] = _mm_sha1nexte_epu32(e[1][0], before[3]);
        abcd[0] = _mm_add_epi32(abcd[0], before[0]);
        abcd[1] = _mm_add_epi32(abcd[1], before[2]);
    }
    for (int s = 0; s < 2; ++s) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(state[s]), _mm_shuffle_epi32(abcd[s], 0x1B));
        state[s][4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0[s], 3));
    }
}

// Eight messages in the lanes of AVX2, for processors without the SHA
// extensions: the portable steps with each variable a register of eight
// messages' words, the schedule on the stack.
using Lanes8 = __m256i;

template <int n>
DUNMO_INLINE_TARGET("avx2") Lanes8 RotateLeft8(Lanes8 x) {
    return _mm256_or_si256(_mm256_slli_epi32(x, n), _mm256_srli_epi32(x, 32 - n));
}
DUNMO_INLINE_TARGET("avx2") Lanes8 Xor8(Lanes8 x, Lanes8 y) { return _mm256_xor_si256(x, y); }
DUNMO_INLINE_TARGET("avx2") Lanes8 Add8(Lanes8 x, Lanes8 y) { return _mm256_add_epi32(x, y); }

// Which of the five state registers holds role k (a = 0 ... e = 4) at step
// t: the roles move one register along per step, as in the portable code.
constexpr int Role(int k, int t) { return (k + 80 - t) % 5; }

template <int t>
DUNMO_INLINE_TARGET("avx2") void Avx2Step(Lanes8 (&s)[5], Lanes8 (&w)[16]) {
    constexpr std::uint32_t k[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};
    const Lanes8 a = s[Role(0, t)], c = s[Role(2, t)], d = s[Role(3, t)];
    Lanes8 &b = s[Role(1, t)], &e = s[Role(4, t)];
    if constexpr (t >= 16) {
        w[t & 15] = RotateLeft8<1>(Xor8(Xor8(w[(t + 13) & 15], w[(t + 8) & 15]), Xor8(w[(t + 2) & 15], w[t & 15])));
    }
    Lanes8 f;
    if constexpr (t < 20) {
        f = Xor8(d, _mm256_and_si256(b, Xor8(c, d)));
    } else if constexpr (t >= 40 && t < 60) {
        f = _mm256_or_si256(_mm256_and_si256(b, c), _mm256_and_si256(d, _mm256_or_si256(b, c)));
    } else {
        f = Xor8(Xor8(b, c), d);
    }
    e = Add8(Add8(e, Add8(_mm256_set1_epi32(static_cast<int>(k[t / 20])), w[t & 15])), Add8(RotateLeft8<5>(a), f));
    b = RotateLeft8<30>(b);
}

template <int... t>
DUNMO_INLINE_TARGET("avx2") void Avx2Steps(Lanes8 (&s)[5], Lanes8 (&w)[16], std::integer_sequence<int, t...>) {
    (Avx2Step<t>(s, w), ...);
}

using Set8 = LaneSet<std::uint32_t, 8, 5>;

DUNMO_TARGET("avx2") void LanesAvx2(Set8& set, std::size_t blocks) {
    Lanes8 s[5];
    for (int r = 0; r < 5; ++r) s[r] = _mm256_load_si256(reinterpret_cast<const Lanes8*>(set.words[r]));
    for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {
        alignas(32) Lanes8 w[16];
        LoadLaneWords8<true>(w, set.from, offset);
        const Lanes8 before[5] = {s[0], s[1], s[2], s[3], s[4]};
        Avx2Steps(s, w, std::make_integer_sequence<int, 80>());
        for (int r = 0; r < 5; ++r) s[r] = Add8(s[r], before[r]);
    }
    for (int r = 0; r < 5; ++r) _mm256_store_si256(reinterpret_cast<Lanes8*>(set.words[r]), s[r]);
}
#endif

using BlockFunction = void (*)(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count);

constexpr PathEntry<Sha1Path, BlockFunction> kPaths[] = {
#if DUNMO_X86
    {Sha1Path::ShaExtensions, BlocksShaExtensions, &CpuFeatures::sha},
#endif
    {Sha1Path::Portable, BlocksPortable, nullptr},
};

BlockFunction FunctionFor(Sha1Path path) { return FunctionIn(kPaths, path); }

using Choice = PathChoice<Sha1Path, BlockFunction, FunctionFor>;

void Blocks(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) {
    Choice::Current()(state, blocks, count);
}

#if DUNMO_X86
constexpr LaneKernel kShaExtensionsX2 = {LanesShaExtensions, 2, 2};
// Two lanes of eight run no faster than one stream of the portable code.
constexpr LaneKernel kAvx2x8 = {CompressLaneSet<Set8, LanesAvx2>, 8, 3};

// Where the SHA extensions run, four messages or fewer go faster as their
// pairs of streams than in eight AVX-512 lanes; five already go faster there.
template <ShaLanesFunction avx512>
void CompressAvx512(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                    std::size_t blocks) {
    if (lanes > 4 || !DetectedCpu().sha) return avx512(states, data, lanes, blocks);
    for (std::size_t i = 0; i < lanes; i += 2) LanesShaExtensions(states + i, data + i, lanes - i, blocks);
}

constexpr LaneKernel kAvx512x8 = {CompressAvx512<Sha1LanesAvx512x8>, 8, 2};
constexpr LaneKernel kAvx512x16 = {CompressAvx512<Sha1LanesAvx512x16>, 16, 2};
#endif

struct Sha1LaneTraits : ContextLanes<Sha1Context, std::uint32_t, 64, 0, Sha1Update> {
    using Path = Sha1LanesPath;
    static constexpr PathEntry<Path, const LaneKernel*> kPaths[] = {
#if DUNMO_X86
        {Path::Avx512x16, &kAvx512x16, &CpuFeatures::avx512},
        {Path::Avx512x8, &kAvx512x8, &CpuFeatures::avx512},
        {Path::ShaExtensionsX2, &kShaExtensionsX2, &CpuFeatures::sha},
        {Path::Avx2x8, &kAvx2x8, &CpuFeatures::avx2},
#endif
        {Path::Scalar, &kOneStream<std::uint32_t>, nullptr},
    };
};
using Lanes = LanesOf<Sha1LaneTraits>;

}  // namespace

bool Sha1LanesPathAvailable(Sha1LanesPath path) { return Lanes::Available(path); }

bool Sha1LanesUsePath(Sha1LanesPath path) { return Lanes::Use(path); }

std::size_t Sha1Lanes() { return Lanes::Width(); }

void Sha1UpdateLanes(Sha1Context* const contexts[], const std::uint8_t* const bytes[],
                     const std::uint32_t lengths[], std::size_t count) {
    Lanes::Update(contexts, bytes, lengths, count);
}

bool Sha1PathAvailable(Sha1Path path) { return Choice::Available(path); }

bool Sha1UsePath(Sha1Path path) { return Choice::Use(path); }

void Sha1Transform(Sha1Context& context, const std::uint8_t block[64]) { Blocks(context.state, block, 1); }

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
        Blocks(context.state, context.buffer, 1);
        input += fill;
        length -= fill;
        left = 0;
    }
    if (length >= 64) {
        Blocks(context.state, input, length / 64);
        input += length / 64 * 64;
        length %= 64;
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
