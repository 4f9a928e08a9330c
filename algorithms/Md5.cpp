#include "algorithms/Md5.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "algorithms/Cpu.h"
#include "algorithms/Lanes.h"

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

// Step i's message word, left rotation and additive constant, for the
// kernels that take them from tables.
constexpr int Md5Word(int i) {
    return i < 16 ? i : i < 32 ? (1 + 5 * i) % 16 : i < 48 ? (5 + 3 * i) % 16 : 7 * i % 16;
}
constexpr int kMd5Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
constexpr std::uint32_t kMd5Constants[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391};

#if DUNMO_X86
// The steps and the block loop of a vector kernel, written once and compiled
// into each register width with that width's instruction set (a template
// could not carry the instruction set). They expect, in the struct: V, the
// register of kWidth 32-bit lanes; Add, Set1, Load and Store (aligned);
// RotateLeft<n>; AddRound<round>(x, b, c, d), x plus the round's function,
// with kIBias subtracted from the last round's constants; LoadWords(w, from,
// offset), which puts word k of the block at from[i] + offset in lane i of
// w[k]. One set of lanes keeps the four state registers and two temporaries
// within i686's eight; the words and constants are memory operands.
#define DUNMO_MD5_LANE_KERNEL(features)                                                                      \
    template <int i>                                                                                         \
    static DUNMO_INLINE_TARGET(features) void Step(V (&v)[4], const V (&w)[16]) {                            \
        V& a = v[-i & 3];                                                                                    \
        const V b = v[(1 - i) & 3], c = v[(2 - i) & 3], d = v[(3 - i) & 3];                                  \
        constexpr int round = i / 16, shift = kMd5Shifts[round][i % 4];                                      \
        const V x = Add(Add(a, w[Md5Word(i)]), Set1(kMd5Constants[i] - (round == 3 ? kIBias : 0)));          \
        a = Add(b, RotateLeft<shift>(AddRound<round>(x, b, c, d)));                                          \
    }                                                                                                        \
    template <int... i>                                                                                      \
    static DUNMO_INLINE_TARGET(features) void Steps(V (&v)[4], const V (&w)[16],                             \
                                                    std::integer_sequence<int, i...>) {                      \
        (Step<i>(v, w), ...);                                                                                \
    }                                                                                                        \
    using Set = LaneSet<std::uint32_t, kWidth, 4>;                                                           \
    static DUNMO_TARGET(features) void Run(Set& set, std::size_t blocks) {                                   \
        V v[4];                                                                                              \
        for (int r = 0; r < 4; ++r) v[r] = Load(set.words[r]);                                               \
        for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {                                  \
            alignas(64) V w[16];                                                                             \
            LoadWords(w, set.from, offset);                                                                  \
            const V before[4] = {v[0], v[1], v[2], v[3]};                                                    \
            Steps(v, w, std::make_integer_sequence<int, 64>());                                              \
            for (int r = 0; r < 4; ++r) v[r] = Add(v[r], before[r]);                                         \
        }                                                                                                    \
        for (int r = 0; r < 4; ++r) Store(set.words[r], v[r]);                                               \
    }                                                                                                        \
    static constexpr auto Compress = CompressLaneSet<Set, Run>;

// The round functions from AND, OR and XOR, for the kernels without
// AVX-512's three-input logic: G's two terms share no bits, so they are added
// apart, and I = ~(c ^ (~b & d)) is added as its negation less one, the one
// taken from the constant.
#define DUNMO_MD5_BOOLEAN_ROUNDS(features)                                                                   \
    static constexpr std::uint32_t kIBias = 1;                                                               \
    template <int round>                                                                                     \
    static DUNMO_INLINE_TARGET(features) V AddRound(V x, V b, V c, V d) {                                    \
        if constexpr (round == 0) return Add(x, Xor(d, And(b, Xor(c, d))));                                  \
        if constexpr (round == 1) return Add(Add(x, AndNot(d, c)), And(d, b));                               \
        if constexpr (round == 2) return Add(x, Xor(b, Xor(c, d)));                                          \
        if constexpr (round == 3) return Sub(x, Xor(c, AndNot(b, d)));                                       \
    }                                                                                                        \
    template <int n>                                                                                         \
    static DUNMO_INLINE_TARGET(features) V RotateLeft(V x) {                                                 \
        return Or(Shl<n>(x), Shr<32 - n>(x));                                                                \
    }

// The truth tables of F, G, H and I over (b, c, d) for VPTERNLOGD.
constexpr int kMd5Logic[4] = {0xCA, 0xE4, 0x96, 0x39};

struct Md5Sse2 {
    using V = __m128i;
    static constexpr std::size_t kWidth = 4;
    static DUNMO_INLINE_TARGET("sse2") V Add(V x, V y) { return _mm_add_epi32(x, y); }
    static DUNMO_INLINE_TARGET("sse2") V Sub(V x, V y) { return _mm_sub_epi32(x, y); }
    static DUNMO_INLINE_TARGET("sse2") V And(V x, V y) { return _mm_and_si128(x, y); }
    static DUNMO_INLINE_TARGET("sse2") V Or(V x, V y) { return _mm_or_si128(x, y); }
    static DUNMO_INLINE_TARGET("sse2") V Xor(V x, V y) { return _mm_xor_si128(x, y); }
    static DUNMO_INLINE_TARGET("sse2") V AndNot(V x, V y) { return _mm_andnot_si128(x, y); }
    template <int n>
    static DUNMO_INLINE_TARGET("sse2") V Shl(V x) { return _mm_slli_epi32(x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET("sse2") V Shr(V x) { return _mm_srli_epi32(x, n); }
    static DUNMO_INLINE_TARGET("sse2") V Set1(std::uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
    static DUNMO_INLINE_TARGET("sse2") V Load(const std::uint32_t* p) {
        return _mm_load_si128(reinterpret_cast<const V*>(p));
    }
    static DUNMO_INLINE_TARGET("sse2") void Store(std::uint32_t* p, V x) { _mm_store_si128(reinterpret_cast<V*>(p), x); }
    // Each 16-byte quarter of the four blocks is a 4x4 matrix of words to transpose.
    static DUNMO_INLINE_TARGET("sse2")
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        for (int q = 0; q < 4; ++q) {
            V r[4];
            for (int i = 0; i < 4; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const V*>(from[i] + offset + 16 * q));
            const V t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpacklo_epi32(r[2], r[3]);
            const V t2 = _mm_unpackhi_epi32(r[0], r[1]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
            w[4 * q] = _mm_unpacklo_epi64(t0, t1);
            w[4 * q + 1] = _mm_unpackhi_epi64(t0, t1);
            w[4 * q + 2] = _mm_unpacklo_epi64(t2, t3);
            w[4 * q + 3] = _mm_unpackhi_epi64(t2, t3);
        }
    }
    DUNMO_MD5_BOOLEAN_ROUNDS("sse2")
    DUNMO_MD5_LANE_KERNEL("sse2")
};

struct Md5Avx2 {
    using V = __m256i;
    static constexpr std::size_t kWidth = 8;
    static DUNMO_INLINE_TARGET("avx2") V Add(V x, V y) { return _mm256_add_epi32(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V Sub(V x, V y) { return _mm256_sub_epi32(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V And(V x, V y) { return _mm256_and_si256(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V Or(V x, V y) { return _mm256_or_si256(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V Xor(V x, V y) { return _mm256_xor_si256(x, y); }
    static DUNMO_INLINE_TARGET("avx2") V AndNot(V x, V y) { return _mm256_andnot_si256(x, y); }
    template <int n>
    static DUNMO_INLINE_TARGET("avx2") V Shl(V x) { return _mm256_slli_epi32(x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET("avx2") V Shr(V x) { return _mm256_srli_epi32(x, n); }
    static DUNMO_INLINE_TARGET("avx2") V Set1(std::uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
    static DUNMO_INLINE_TARGET("avx2") V Load(const std::uint32_t* p) {
        return _mm256_load_si256(reinterpret_cast<const V*>(p));
    }
    static DUNMO_INLINE_TARGET("avx2") void Store(std::uint32_t* p, V x) {
        _mm256_store_si256(reinterpret_cast<V*>(p), x);
    }
    static DUNMO_INLINE_TARGET("avx2")
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        LoadLaneWords8<false>(w, from, offset);
    }
    DUNMO_MD5_BOOLEAN_ROUNDS("avx2")
    DUNMO_MD5_LANE_KERNEL("avx2")
};

#define DUNMO_AVX512 DUNMO_LANES_AVX512

// AVX-512's rotates and three-input logic on the eight lanes of YMM registers.
struct Md5Avx512x8 : Avx512Words8<false> {
    static constexpr std::uint32_t kIBias = 0;
    template <int round>
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V AddRound(V x, V b, V c, V d) {
        return Add(x, Logic<kMd5Logic[round]>(b, c, d));
    }
    DUNMO_MD5_LANE_KERNEL(DUNMO_AVX512)
};

// The same on the sixteen lanes of ZMM registers.
struct Md5Avx512x16 : Avx512Words16<false> {
    static constexpr std::uint32_t kIBias = 0;
    template <int round>
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V AddRound(V x, V b, V c, V d) {
        return Add(x, Logic<kMd5Logic[round]>(b, c, d));
    }
    DUNMO_MD5_LANE_KERNEL(DUNMO_AVX512)
};

#undef DUNMO_AVX512
#undef DUNMO_MD5_BOOLEAN_ROUNDS
#undef DUNMO_MD5_LANE_KERNEL

// Four messages or fewer fill SSE2's lanes, which then beat half-empty AVX2
// ones: two messages in four lanes still beat one stream, in eight they do not.
void CompressAvx2x8(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                    std::size_t blocks) {
    (lanes <= 4 ? Md5Sse2::Compress : Md5Avx2::Compress)(states, data, lanes, blocks);
}

// Eight messages or fewer go in YMM registers: processors that split ZMM
// operations in halves would take twice as long for them in ZMM ones, and
// those with whole ZMM units take as long for either.
void CompressAvx512x16(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                       std::size_t blocks) {
    (lanes <= 8 ? Md5Avx512x8::Compress : Md5Avx512x16::Compress)(states, data, lanes, blocks);
}

constexpr LaneKernel kSse2x4 = {Md5Sse2::Compress, 4, 2};
constexpr LaneKernel kAvx2x8 = {CompressAvx2x8, 8, 2};
// Two messages in eight lanes of these run no faster than one stream; three do.
constexpr LaneKernel kAvx512x8 = {Md5Avx512x8::Compress, 8, 3};
constexpr LaneKernel kAvx512x16 = {CompressAvx512x16, 16, 3};
#endif

// MD5 takes signed lengths; fed in pieces it can hold.
void UpdateWhole(Md5Context& context, const void* bytes, std::uint32_t length) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    for (; length > 0x40000000u; from += 0x40000000u, length -= 0x40000000u) {
        Md5Update(context, from, 0x40000000);
    }
    Md5Update(context, from, static_cast<std::int32_t>(length));
}

// The count is in bits.
struct Md5LaneTraits : ContextLanes<Md5Context, std::uint32_t, 64, 3, UpdateWhole> {
    using Path = Md5LanesPath;
    static constexpr PathEntry<Path, const LaneKernel*> kPaths[] = {
#if DUNMO_X86
        {Path::Avx512x16, &kAvx512x16, &CpuFeatures::avx512},
        {Path::Avx512x8, &kAvx512x8, &CpuFeatures::avx512},
        {Path::Avx2x8, &kAvx2x8, &CpuFeatures::avx2},
        {Path::Sse2x4, &kSse2x4, &CpuFeatures::sse2},
#endif
        {Path::Scalar, &kOneStream<std::uint32_t>, nullptr},
    };
};
using Lanes = LanesOf<Md5LaneTraits>;

}  // namespace

bool Md5LanesPathAvailable(Md5LanesPath path) { return Lanes::Available(path); }

bool Md5LanesUsePath(Md5LanesPath path) { return Lanes::Use(path); }

std::size_t Md5Lanes() { return Lanes::Width(); }

void Md5UpdateLanes(Md5Context* const contexts[], const std::uint8_t* const bytes[], const std::uint32_t lengths[],
                    std::size_t count) {
    Lanes::Update(contexts, bytes, lengths, count);
}

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
