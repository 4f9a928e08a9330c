// SHA-1 and SHA-256 of several messages at once with AVX-512: its rotates and
// three-input logic take each in one instruction, about half the AVX2 lanes'
// count a step. The single-stream code is Sha1.cpp's and Sha256.cpp's.
#include "algorithms/ShaLanesAvx512.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "algorithms/Lanes.h"
#include "algorithms/Sha256.h"

#if DUNMO_X86
#define DUNMO_AVX512 DUNMO_LANES_AVX512

namespace {

// VPTERNLOGD's truth tables over (x, y, z).
constexpr int kXor3 = 0x96, kChoose = 0xCA, kMajority = 0xE8;

// The steps and block loops of both digests, compiled into each register
// width, as Md5.cpp's are. They expect, in the struct: V, the register of
// kWidth lanes; Add, Xor, Set1, Load and Store (aligned); AddLast, an add
// that the compiler does not reorder with others (it moved the newest value,
// which is on the chain, first: a fifth slower); RotateLeft<n>,
// RotateRight<n>, ShiftRight<n>, Logic<table>(x, y, z); LoadWords(w, from,
// offset), which puts word k of the block at from[i] + offset, big-endian, in
// lane i of w[k]. The roles move one register along each step, as in the
// single-stream code. On i686's eight registers, with the schedule in memory,
// GCC stores about one SHA-1 state register every two steps and about three
// of SHA-256's (eight state words) each step.
#define DUNMO_SHA_LANE_KERNELS                                                                               \
    /* Which of the five registers holds SHA-1 role k (a = 0 ... e = 4) at step t. */                       \
    static constexpr int Role(int k, int t) { return (k + 80 - t) % 5; }                                     \
    /* With F of the older roles ready, two operations a step remain on the chain. */                       \
    template <int t>                                                                                         \
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) void Sha1Step(V (&s)[5], V (&w)[16]) {                          \
        constexpr std::uint32_t k[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};                 \
        constexpr int f = t < 20 ? kChoose : t >= 40 && t < 60 ? kMajority : kXor3;                          \
        const V a = s[Role(0, t)], c = s[Role(2, t)], d = s[Role(3, t)];                                     \
        V &b = s[Role(1, t)], &e = s[Role(4, t)];                                                            \
        if constexpr (t >= 16) {                                                                             \
            w[t & 15] = RotateLeft<1>(Xor(Logic<kXor3>(w[(t + 13) & 15], w[(t + 8) & 15], w[(t + 2) & 15]),  \
                                          w[t & 15]));                                                       \
        }                                                                                                    \
        e = AddLast(Add(Add(e, Add(Set1(k[t / 20]), w[t & 15])), Logic<f>(b, c, d)), RotateLeft<5>(a));      \
        b = RotateLeft<30>(b);                                                                               \
    }                                                                                                        \
    template <int... t>                                                                                      \
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) void Sha1Steps(V (&s)[5], V (&w)[16],                           \
                                                            std::integer_sequence<int, t...>) {              \
        (Sha1Step<t>(s, w), ...);                                                                            \
    }                                                                                                        \
    using Sha1Set = LaneSet<std::uint32_t, kWidth, 5>;                                                       \
    static DUNMO_TARGET(DUNMO_AVX512) void Sha1Run(Sha1Set& set, std::size_t blocks) {                       \
        V s[5];                                                                                              \
        for (int r = 0; r < 5; ++r) s[r] = Load(set.words[r]);                                               \
        for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {                                  \
            alignas(64) V w[16];                                                                             \
            LoadWords(w, set.from, offset);                                                                  \
            const V before[5] = {s[0], s[1], s[2], s[3], s[4]};                                              \
            Sha1Steps(s, w, std::make_integer_sequence<int, 80>());                                          \
            for (int r = 0; r < 5; ++r) s[r] = Add(s[r], before[r]);                                         \
        }                                                                                                    \
        for (int r = 0; r < 5; ++r) Store(set.words[r], s[r]);                                               \
    }                                                                                                        \
    static constexpr auto Sha1Compress = CompressLaneSet<Sha1Set, Sha1Run>;                                  \
    template <int t>                                                                                         \
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) void Sha256Step(V (&s)[8], V (&w)[16]) {                        \
        const V a = s[-t & 7], b = s[(1 - t) & 7], c = s[(2 - t) & 7];                                       \
        const V e = s[(4 - t) & 7], f = s[(5 - t) & 7], g = s[(6 - t) & 7];                                  \
        V &d = s[(3 - t) & 7], &h = s[(7 - t) & 7];                                                          \
        if constexpr (t >= 16) {                                                                             \
            const V w15 = w[(t + 1) & 15], w2 = w[(t + 14) & 15];                                            \
            const V sigma0 = Logic<kXor3>(RotateRight<7>(w15), RotateRight<18>(w15), ShiftRight<3>(w15));    \
            const V sigma1 = Logic<kXor3>(RotateRight<17>(w2), RotateRight<19>(w2), ShiftRight<10>(w2));     \
            w[t & 15] = Add(Add(w[t & 15], sigma0), Add(w[(t + 9) & 15], sigma1));                           \
        }                                                                                                    \
        const V sigmaE = Logic<kXor3>(RotateRight<6>(e), RotateRight<11>(e), RotateRight<25>(e));            \
        const V sum = Add(Add(h, Add(Set1(kSha256RoundConstants[t]), w[t & 15])), Logic<kChoose>(e, f, g));  \
        const V t1 = AddLast(sum, sigmaE);                                                                   \
        d = Add(d, t1);                                                                                      \
        const V sigmaA = Logic<kXor3>(RotateRight<2>(a), RotateRight<13>(a), RotateRight<22>(a));            \
        h = AddLast(Add(t1, Logic<kMajority>(a, b, c)), sigmaA);                                             \
    }                                                                                                        \
    template <int... t>                                                                                      \
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) void Sha256Steps(V (&s)[8], V (&w)[16],                         \
                                                              std::integer_sequence<int, t...>) {            \
        (Sha256Step<t>(s, w), ...);                                                                          \
    }                                                                                                        \
    using Sha256Set = LaneSet<std::uint32_t, kWidth, 8>;                                                     \
    static DUNMO_TARGET(DUNMO_AVX512) void Sha256Run(Sha256Set& set, std::size_t blocks) {                   \
        V s[8];                                                                                              \
        for (int r = 0; r < 8; ++r) s[r] = Load(set.words[r]);                                               \
        for (std::size_t offset = 0; blocks != 0; --blocks, offset += 64) {                                  \
            alignas(64) V w[16];                                                                             \
            LoadWords(w, set.from, offset);                                                                  \
            const V before[8] = {s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]};                            \
            Sha256Steps(s, w, std::make_integer_sequence<int, 64>());                                        \
            for (int r = 0; r < 8; ++r) s[r] = Add(s[r], before[r]);                                         \
        }                                                                                                    \
        for (int r = 0; r < 8; ++r) Store(set.words[r], s[r]);                                               \
    }                                                                                                        \
    static constexpr auto Sha256Compress = CompressLaneSet<Sha256Set, Sha256Run>;

// The eight lanes of YMM registers.
struct Avx512x8 : Avx512Words8<true> {
    // Masked, so opaque to GCC's reassociation of plain adds.
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V AddLast(V x, V y) { return _mm256_mask_add_epi32(x, 0xFF, x, y); }
    DUNMO_SHA_LANE_KERNELS
};

// The sixteen lanes of ZMM registers.
struct Avx512x16 : Avx512Words16<true> {
    static DUNMO_INLINE_TARGET(DUNMO_AVX512) V AddLast(V x, V y) { return _mm512_mask_add_epi32(x, kAll, x, y); }
    DUNMO_SHA_LANE_KERNELS
};

#undef DUNMO_SHA_LANE_KERNELS
#undef DUNMO_AVX512

}  // namespace

void Sha1LanesAvx512x8(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                       std::size_t blocks) {
    Avx512x8::Sha1Compress(states, data, lanes, blocks);
}

// Eight messages or fewer go in YMM registers, as MD5's do.
void Sha1LanesAvx512x16(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                        std::size_t blocks) {
    (lanes <= 8 ? Avx512x8::Sha1Compress : Avx512x16::Sha1Compress)(states, data, lanes, blocks);
}

void Sha256LanesAvx512x8(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                         std::size_t blocks) {
    Avx512x8::Sha256Compress(states, data, lanes, blocks);
}

void Sha256LanesAvx512x16(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                          std::size_t blocks) {
    (lanes <= 8 ? Avx512x8::Sha256Compress : Avx512x16::Sha256Compress)(states, data, lanes, blocks);
}
#endif
