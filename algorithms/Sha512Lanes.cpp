// SHA-512 of several messages at once, in the 64-bit lanes of vector
// registers; the single-stream code is Sha512.cpp's.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "algorithms/Lanes.h"
#include "algorithms/Sha512.h"

const std::uint64_t kSha512RoundConstants[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

namespace {

#if DUNMO_X86
// The steps and block loop of a kernel, compiled into each register width
// with its instruction set, as MD5's are. They expect, in the struct: V, the
// register of kWidth 64-bit lanes; Add, Xor, Set1, Load and Store (aligned);
// RotateRight<n>, ShiftRight<n>; Xor3, Choose(e, f, g) and Majority(a, b, c,
// a ^ b, b ^ c); LoadWords(w, from, offset), which puts word k of the block
// at from[i] + offset, big-endian, in lane i of w[k]. The roles a..h move one
// register along each step, as in the single-stream code.
#define DUNMO_SHA512_LANE_KERNEL(features)                                                                   \
    template <int t>                                                                                         \
    static DUNMO_INLINE_TARGET(features) void Step(V (&s)[8], V (&w)[16], V& bc) {                           \
        const V a = s[-t & 7], b = s[(1 - t) & 7], c = s[(2 - t) & 7];                                       \
        const V e = s[(4 - t) & 7], f = s[(5 - t) & 7], g = s[(6 - t) & 7];                                  \
        V &d = s[(3 - t) & 7], &h = s[(7 - t) & 7];                                                          \
        if constexpr (t >= 16) {                                                                             \
            const V w15 = w[(t + 1) & 15], w2 = w[(t + 14) & 15];                                            \
            const V sigma0 = Xor3(RotateRight<1>(w15), RotateRight<8>(w15), ShiftRight<7>(w15));            \
            const V sigma1 = Xor3(RotateRight<19>(w2), RotateRight<61>(w2), ShiftRight<6>(w2));             \
            w[t & 15] = Add(Add(w[t & 15], sigma0), Add(w[(t + 9) & 15], sigma1));                           \
        }                                                                                                    \
        const V sigmaE = Xor3(RotateRight<14>(e), RotateRight<18>(e), RotateRight<41>(e));                   \
        h = Add(Add(h, Add(Set1(kSha512RoundConstants[t]), w[t & 15])), Add(sigmaE, Choose(e, f, g)));             \
        d = Add(d, h);                                                                                       \
        const V ab = Xor(a, b);                                                                              \
        const V sigmaA = Xor3(RotateRight<28>(a), RotateRight<34>(a), RotateRight<39>(a));                   \
        h = Add(h, Add(sigmaA, Majority(a, b, c, ab, bc)));                                                  \
        bc = ab;                                                                                             \
    }                                                                                                        \
    template <int... t>                                                                                      \
    static DUNMO_INLINE_TARGET(features) void Steps(V (&s)[8], V (&w)[16], V& bc,                            \
                                                    std::integer_sequence<int, t...>) {                      \
        (Step<t>(s, w, bc), ...);                                                                            \
    }                                                                                                        \
    using Set = LaneSet<std::uint64_t, kWidth, 8>;                                                           \
    static DUNMO_TARGET(features) void Run(Set& set, std::size_t blocks) {                                   \
        V s[8];                                                                                              \
        for (int r = 0; r < 8; ++r) s[r] = Load(set.words[r]);                                               \
        for (std::size_t offset = 0; blocks != 0; --blocks, offset += 128) {                                 \
            alignas(64) V w[16];                                                                             \
            LoadWords(w, set.from, offset);                                                                  \
            const V before[8] = {s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]};                            \
            V bc = Xor(s[1], s[2]);                                                                          \
            Steps(s, w, bc, std::make_integer_sequence<int, 80>());                                          \
            for (int r = 0; r < 8; ++r) s[r] = Add(s[r], before[r]);                                         \
        }                                                                                                    \
        for (int r = 0; r < 8; ++r) Store(set.words[r], s[r]);                                               \
    }                                                                                                        \
    static constexpr auto Compress = CompressLaneSet<Set, Run>;

// Word k of the four blocks at from[i] + offset, byte-reversed, in lane i of
// w[k]: each 32 bytes of the four is a 4x4 matrix of words to transpose.
DUNMO_INLINE_TARGET("avx2")
void LoadLaneWords4(__m256i (&w)[16], const std::uint8_t* const (&from)[4], std::size_t offset) {
    const __m256i swap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1,
                                          0, 15, 14, 13, 12, 11, 10, 9, 8);
    for (int q = 0; q < 4; ++q) {
        __m256i r[4];
        for (int i = 0; i < 4; ++i) {
            r[i] = _mm256_shuffle_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from[i] + offset + 32 * q)), swap);
        }
        const __m256i t0 = _mm256_unpacklo_epi64(r[0], r[1]), t1 = _mm256_unpackhi_epi64(r[0], r[1]);
        const __m256i t2 = _mm256_unpacklo_epi64(r[2], r[3]), t3 = _mm256_unpackhi_epi64(r[2], r[3]);
        w[4 * q] = _mm256_permute2x128_si256(t0, t2, 0x20);
        w[4 * q + 1] = _mm256_permute2x128_si256(t1, t3, 0x20);
        w[4 * q + 2] = _mm256_permute2x128_si256(t0, t2, 0x31);
        w[4 * q + 3] = _mm256_permute2x128_si256(t1, t3, 0x31);
    }
}

struct Sha512Avx2x4 {
    using V = __m256i;
    static constexpr std::size_t kWidth = 4;
    static DUNMO_INLINE_TARGET("avx2") V Add(V x, V y) { return _mm256_add_epi64(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V Xor(V x, V y) { return _mm256_xor_si256(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V Xor3(V x, V y, V z) { return Xor(Xor(x, y), z); }
    static DUNMO_INLINE_TARGET("avx2") V Choose(V e, V f, V g) { return Xor(g, _mm256_and_si256(e, Xor(f, g))); }
    static DUNMO_INLINE_TARGET("avx2") V Majority(V, V b, V, V ab, V bc) {
        return Xor(b, _mm256_and_si256(ab, bc));
    }
    template <int n>
    static DUNMO_INLINE_TARGET("avx2") V ShiftRight(V x) { return _mm256_srli_epi64(x, n); }
    // By 8, a byte shuffle, which runs on other units than the shifts.
    template <int n>
    static DUNMO_INLINE_TARGET("avx2") V RotateRight(V x) {
        if constexpr (n == 8) {
            const V rotate8 = _mm256_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8, 1, 2, 3, 4, 5,
                                               6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
            return _mm256_shuffle_epi8(x, rotate8);
        }
        return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
    }
    static DUNMO_INLINE_TARGET("avx2") V Set1(std::uint64_t x) { return _mm256_set1_epi64x(static_cast<long long>(x)); }
    static DUNMO_INLINE_TARGET("avx2") V Load(const std::uint64_t* p) {
        return _mm256_load_si256(reinterpret_cast<const V*>(p));
    }
    static DUNMO_INLINE_TARGET("avx2") void Store(std::uint64_t* p, V x) {
        _mm256_store_si256(reinterpret_cast<V*>(p), x);
    }
    static DUNMO_INLINE_TARGET("avx2")
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        LoadLaneWords4(w, from, offset);
    }
    DUNMO_SHA512_LANE_KERNEL("avx2")
};

#define DUNMO_AVX512 "avx512f,avx512vl,avx512bw"

// AVX-512's rotates and three-input logic on the four lanes of YMM registers.
struct Sha512Avx512x4 {
    using V = __m256i;
    static constexpr std::size_t kWidth = 4;
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Add(V x, V y) { return _mm256_add_epi64(x, y); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Xor(V x, V y) { return _mm256_xor_si256(x, y); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Xor3(V x, V y, V z) { return _mm256_ternarylogic_epi64(x, y, z, 0x96); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Choose(V e, V f, V g) {
        return _mm256_ternarylogic_epi64(e, f, g, 0xCA);
    }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Majority(V a, V b, V c, V, V) {
        return _mm256_ternarylogic_epi64(a, b, c, 0xE8);
    }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V ShiftRight(V x) { return _mm256_srli_epi64(x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V RotateRight(V x) { return _mm256_ror_epi64(x, n); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Set1(std::uint64_t x) {
        return _mm256_set1_epi64x(static_cast<long long>(x));
    }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Load(const std::uint64_t* p) {
        return _mm256_load_si256(reinterpret_cast<const V*>(p));
    }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) void Store(std::uint64_t* p, V x) {
        _mm256_store_si256(reinterpret_cast<V*>(p), x);
    }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512)
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        LoadLaneWords4(w, from, offset);
    }
    DUNMO_SHA512_LANE_KERNEL(DUNMO_AVX512)
};

// The same on the eight lanes of ZMM registers.
struct Sha512Avx512x8 {
    using V = __m512i;
    static constexpr std::size_t kWidth = 8;
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Add(V x, V y) { return _mm512_add_epi64(x, y); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Xor(V x, V y) { return _mm512_xor_si512(x, y); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Xor3(V x, V y, V z) { return _mm512_ternarylogic_epi64(x, y, z, 0x96); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Choose(V e, V f, V g) {
        return _mm512_ternarylogic_epi64(e, f, g, 0xCA);
    }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Majority(V a, V b, V c, V, V) {
        return _mm512_ternarylogic_epi64(a, b, c, 0xE8);
    }
    // GCC 12 warns of the unmasked ZMM forms' undefined merge source; an
    // all-ones mask gives the same instructions.
    static constexpr __mmask8 kAll = 0xFF;
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V ShiftRight(V x) { return _mm512_mask_srli_epi64(x, kAll, x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V RotateRight(V x) { return _mm512_mask_ror_epi64(x, kAll, x, n); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Set1(std::uint64_t x) {
        return _mm512_set1_epi64(static_cast<long long>(x));
    }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V Load(const std::uint64_t* p) { return _mm512_load_si512(p); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) void Store(std::uint64_t* p, V x) { _mm512_store_si512(p, x); }
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) __m128i Row(const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    // Each 16 bytes (two words) of lanes 2g and 2g + 1 in 128-bit part g.
    static DUNMO_INLINE_TARGET(DUNMO_AVX512)
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        const V swap = _mm512_set_epi64(0x08090A0B0C0D0E0F, 0x0001020304050607, 0x08090A0B0C0D0E0F,
                                        0x0001020304050607, 0x08090A0B0C0D0E0F, 0x0001020304050607,
                                        0x08090A0B0C0D0E0F, 0x0001020304050607);
        for (std::size_t q = 0; q < 8; ++q) {
            const std::size_t at = offset + 16 * q;
            V r[2];
            for (int j = 0; j < 2; ++j) {
                r[j] = _mm512_inserti32x4(_mm512_castsi128_si512(Row(from[j] + at)), Row(from[j + 2] + at), 1);
                r[j] = _mm512_inserti32x4(_mm512_inserti32x4(r[j], Row(from[j + 4] + at), 2), Row(from[j + 6] + at), 3);
                r[j] = _mm512_shuffle_epi8(r[j], swap);
            }
            w[2 * q] = _mm512_mask_unpacklo_epi64(r[0], kAll, r[0], r[1]);
            w[2 * q + 1] = _mm512_mask_unpackhi_epi64(r[0], kAll, r[0], r[1]);
        }
    }
    DUNMO_SHA512_LANE_KERNEL(DUNMO_AVX512)
};

#undef DUNMO_AVX512
#undef DUNMO_SHA512_LANE_KERNEL

// Four messages or fewer go in YMM registers, as MD5's do.
void CompressAvx512x8(std::uint64_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                      std::size_t blocks) {
    (lanes <= 4 ? Sha512Avx512x4::Compress : Sha512Avx512x8::Compress)(states, data, lanes, blocks);
}

// Two messages in four lanes already beat one stream of Sha512Path::Avx2.
constexpr LaneKernelOf<std::uint64_t> kAvx2x4 = {Sha512Avx2x4::Compress, 4, 2};
constexpr LaneKernelOf<std::uint64_t> kAvx512x4 = {Sha512Avx512x4::Compress, 4, 2};
constexpr LaneKernelOf<std::uint64_t> kAvx512x8 = {CompressAvx512x8, 8, 2};
#endif

struct Sha512LaneTraits : ContextLanes<Sha512Context, std::uint64_t, 128, 0, Sha512Update> {
    using Path = Sha512LanesPath;
    static constexpr PathEntry<Path, const LaneKernelOf<std::uint64_t>*> kPaths[] = {
#if DUNMO_X86
        {Path::Avx512x8, &kAvx512x8, &CpuFeatures::avx512},
        {Path::Avx512x4, &kAvx512x4, &CpuFeatures::avx512},
        {Path::Avx2x4, &kAvx2x4, &CpuFeatures::avx2},
#endif
        {Path::Scalar, &kOneStream<std::uint64_t>, nullptr},
    };
};
using Lanes = LanesOf<Sha512LaneTraits>;

}  // namespace

bool Sha512LanesPathAvailable(Sha512LanesPath path) { return Lanes::Available(path); }

bool Sha512LanesUsePath(Sha512LanesPath path) { return Lanes::Use(path); }

std::size_t Sha512Lanes() { return Lanes::Width(); }

void Sha512UpdateLanes(Sha512Context* const contexts[], const std::uint8_t* const bytes[],
                       const std::uint32_t lengths[], std::size_t count) {
    Lanes::Update(contexts, bytes, lengths, count);
}
