#include "algorithms/Sha512.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "algorithms/Cpu.h"
#include "algorithms/Sha512Blocks.h"

namespace {

inline std::uint64_t RotateRight(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

inline std::uint64_t LoadBigEndian(const std::uint8_t* p) {
    std::uint64_t x = 0;
    for (int i = 0; i < 8; ++i) x = x << 8 | p[i];
    return x;
}

inline void StoreBigEndian(std::uint8_t* p, std::uint64_t x) {
    for (int i = 7; i >= 0; --i, x >>= 8) p[i] = static_cast<std::uint8_t>(x);
}

// The functions of FIPS 180-4, section 4.1.3.
inline std::uint64_t Choose(std::uint64_t e, std::uint64_t f, std::uint64_t g) { return g ^ (e & (f ^ g)); }
inline std::uint64_t BigSigma0(std::uint64_t a) { return RotateRight(a, 28) ^ RotateRight(a, 34) ^ RotateRight(a, 39); }
inline std::uint64_t BigSigma1(std::uint64_t e) { return RotateRight(e, 14) ^ RotateRight(e, 18) ^ RotateRight(e, 41); }
inline std::uint64_t SmallSigma0(std::uint64_t w) { return RotateRight(w, 1) ^ RotateRight(w, 8) ^ (w >> 7); }
inline std::uint64_t SmallSigma1(std::uint64_t w) { return RotateRight(w, 19) ^ RotateRight(w, 61) ^ (w >> 6); }

}  // namespace

// As SHA-256's portable steps: a sixteen-word schedule, variable roles that
// move one along each step, and Maj from the previous step's a ^ b.
#define SHA512_STEP(a, b, c, d, e, f, g, h, t, x)                             \
    h += BigSigma1(e) + Choose(e, f, g) + kSha512RoundConstants[t] + (x);    \
    d += h;                                                                   \
    ab = a ^ b;                                                               \
    h += BigSigma0(a) + (b ^ (ab & bc));                                      \
    bc = ab

#define SHA512_SIXTEEN_STEPS(base, W)                    \
    SHA512_STEP(a, b, c, d, e, f, g, h, (base) + 0, W(0));   \
    SHA512_STEP(h, a, b, c, d, e, f, g, (base) + 1, W(1));   \
    SHA512_STEP(g, h, a, b, c, d, e, f, (base) + 2, W(2));   \
    SHA512_STEP(f, g, h, a, b, c, d, e, (base) + 3, W(3));   \
    SHA512_STEP(e, f, g, h, a, b, c, d, (base) + 4, W(4));   \
    SHA512_STEP(d, e, f, g, h, a, b, c, (base) + 5, W(5));   \
    SHA512_STEP(c, d, e, f, g, h, a, b, (base) + 6, W(6));   \
    SHA512_STEP(b, c, d, e, f, g, h, a, (base) + 7, W(7));   \
    SHA512_STEP(a, b, c, d, e, f, g, h, (base) + 8, W(8));   \
    SHA512_STEP(h, a, b, c, d, e, f, g, (base) + 9, W(9));   \
    SHA512_STEP(g, h, a, b, c, d, e, f, (base) + 10, W(10)); \
    SHA512_STEP(f, g, h, a, b, c, d, e, (base) + 11, W(11)); \
    SHA512_STEP(e, f, g, h, a, b, c, d, (base) + 12, W(12)); \
    SHA512_STEP(d, e, f, g, h, a, b, c, (base) + 13, W(13)); \
    SHA512_STEP(c, d, e, f, g, h, a, b, (base) + 14, W(14)); \
    SHA512_STEP(b, c, d, e, f, g, h, a, (base) + 15, W(15))

#define SHA512_W(i) w[i]
#define SHA512_NEXT(i) \
    (w[i] += SmallSigma1(w[((i) + 14) & 15]) + w[((i) + 9) & 15] + SmallSigma0(w[((i) + 1) & 15]))

namespace {

// Also compiled for BMI2, whose rotates leave the flags alone, where there are
// 64-bit general registers.
#if defined(__GNUC__)
inline __attribute__((always_inline))
#else
__forceinline
#endif
void BlocksScalar(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    for (; count != 0; --count, blocks += 128) {
        std::uint64_t w[16];
        for (int t = 0; t < 16; ++t) {
            w[t] = LoadBigEndian(blocks + 8 * t);
        }
        std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
        std::uint64_t ab, bc = b ^ c;
        SHA512_SIXTEEN_STEPS(0, SHA512_W);
        for (int base = 16; base < 80; base += 16) {
            SHA512_SIXTEEN_STEPS(base, SHA512_NEXT);
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

void BlocksPortable(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    BlocksScalar(state, blocks, count);
}

#if defined(__x86_64__) || defined(_M_X64)
DUNMO_TARGET("bmi2") void BlocksBmi2(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    BlocksScalar(state, blocks, count);
}
#endif

#undef SHA512_NEXT
#undef SHA512_W
#undef SHA512_SIXTEEN_STEPS
#undef SHA512_STEP

#if DUNMO_X86
// Two-word lanes let one instruction do each 64-bit operation of a round even
// where only 32-bit general registers exist. Register r[t] holds {E[t],
// A[t-1]} (low lane first), where A and E are the successive values of a and
// e: round t's new e and round t-1's new a come out of one step, so that
// variable shifts make Sigma1(E[t]) and Sigma0(A[t-1]) at once and one masked
// Ch gives Ch(E[t], E[t-1], E[t-2]) and Maj(A[t-1], A[t-2], A[t-3]) =
// Ch(A[t-1] ^ A[t-3], A[t-2], A[t-3]) at once. The a-half is a step late so
// that its T1 (E[t] - A[t-4]) is ready in time: no lane has to wait for the
// other within a step, which leaves five dependent operations a step.
alignas(16) constexpr std::uint64_t kSigmaRight[3][2] = {{14, 28}, {18, 34}, {41, 39}};
alignas(16) constexpr std::uint64_t kSigmaLeft[3][2] = {{50, 36}, {46, 30}, {23, 25}};
alignas(16) constexpr std::uint64_t kHighLane[2] = {0, ~std::uint64_t{0}};

DUNMO_INLINE_TARGET("avx2") __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

DUNMO_INLINE_TARGET("avx2") __m128i RotatePair(__m128i x, int i) {
    return _mm_xor_si128(_mm_srlv_epi64(x, Load(kSigmaRight[i])), _mm_sllv_epi64(x, Load(kSigmaLeft[i])));
}

// r3 = {E[t-3], A[t-4]} becomes {E[t+1], A[t]}. `wk` is {W[t] + K[t], 1}:
// the 1 completes the negation of A[t-4] after r3's high lane is inverted.
DUNMO_INLINE_TARGET("avx2")
void SkewedStep(__m128i r0, __m128i r1, __m128i r2, __m128i& r3, const __m128i* wk) {
    const __m128i high = Load(kHighLane);
    __m128i c = _mm_xor_si128(_mm_and_si128(r2, high), r0);
    c = _mm_xor_si128(_mm_and_si128(c, _mm_xor_si128(r1, r2)), r2);
    // {E[t-3] + W + K, -A[t-4]} and {A[t-3], E[t]}.
    __m128i sum = _mm_add_epi64(_mm_xor_si128(r3, high), Load(wk));
    sum = _mm_add_epi64(_mm_add_epi64(sum, _mm_alignr_epi8(r0, r2, 8)), c);
    __m128i sigmas = RotatePair(r0, 0);
    sigmas = _mm_xor_si128(sigmas, RotatePair(r0, 1));
    sigmas = _mm_xor_si128(sigmas, RotatePair(r0, 2));
    r3 = _mm_add_epi64(sum, sigmas);
}

DUNMO_INLINE_TARGET("avx2") __m256i SmallSigma0(__m256i w) {
    const __m256i rotate8 = _mm256_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8, 1, 2, 3, 4, 5,
                                             6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(w, 1), _mm256_slli_epi64(w, 63)),
                            _mm256_xor_si256(_mm256_shuffle_epi8(w, rotate8), _mm256_srli_epi64(w, 7)));
}

DUNMO_INLINE_TARGET("avx2") __m256i SmallSigma1(__m256i w) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(w, 19), _mm256_slli_epi64(w, 45)),
                            _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(w, 61), _mm256_slli_epi64(w, 3)),
                                             _mm256_srli_epi64(w, 6)));
}

// The message schedule of two blocks, one in each 128-bit half, two words a
// half: made a step at a time during the rounds of the two blocks before.
struct Schedule {
    const std::uint8_t* blocks[2];
    __m256i w[40];       // W[2j] and W[2j + 1] of both blocks
    __m128i wk[2][81];   // {W[t] + K[t], 1} of each block; round 80 only feeds the last a-half
};

DUNMO_INLINE_TARGET("avx2") void ScheduleStep(Schedule& s, int j) {
    __m256i w;
    if (j < 8) {
        const __m256i swap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3,
                                              2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
        w = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(Load(s.blocks[0] + 16 * j)),
                                                        Load(s.blocks[1] + 16 * j), 1),
                                swap);
    } else {
        const __m256i minus15 = _mm256_alignr_epi8(s.w[j - 7], s.w[j - 8], 8);
        const __m256i minus7 = _mm256_alignr_epi8(s.w[j - 3], s.w[j - 4], 8);
        w = _mm256_add_epi64(_mm256_add_epi64(_mm256_add_epi64(s.w[j - 8], SmallSigma0(minus15)), minus7),
                             SmallSigma1(s.w[j - 1]));
    }
    s.w[j] = w;
    const __m256i ones = _mm256_set1_epi64x(1);
    const __m256i sum = _mm256_add_epi64(w, _mm256_broadcastsi128_si256(Load(kSha512RoundConstants + 2 * j)));
    const __m256i even = _mm256_unpacklo_epi64(sum, ones), odd = _mm256_unpackhi_epi64(sum, ones);
    s.wk[0][2 * j] = _mm256_castsi256_si128(even);
    s.wk[0][2 * j + 1] = _mm256_castsi256_si128(odd);
    s.wk[1][2 * j] = _mm256_extracti128_si256(even, 1);
    s.wk[1][2 * j + 1] = _mm256_extracti128_si256(odd, 1);
}

// One block's rounds on the state as {e, a}, {f, b}, {g, c}, {h, d}; with
// `next`, also the schedule steps from `step` to `step` + 19 of the next two
// blocks, which keep the units busy that the rounds' chain leaves idle.
template <bool kWithSchedule>
DUNMO_INLINE_TARGET("avx2")
void SkewedRounds(__m128i& ea, __m128i& fb, __m128i& gc, __m128i& hd, const __m128i* wk, Schedule* next = nullptr,
                  int step = 0) {
    // r[0] = {E[0], A[-1]} and so on: the a-halves move up a register.
    __m128i r0 = _mm_blend_epi32(ea, fb, 0xC), r1 = _mm_blend_epi32(fb, gc, 0xC);
    __m128i r2 = _mm_blend_epi32(gc, hd, 0xC), r3 = hd;
    // Step 0's a-half has no round before it: A[0] is a.
    SkewedStep(r0, r1, r2, r3, wk);
    r3 = _mm_blend_epi32(r3, ea, 0xC);
    for (int t = 1; t < 77; t += 4) {
        SkewedStep(r3, r0, r1, r2, wk + t);
        SkewedStep(r2, r3, r0, r1, wk + t + 1);
        if constexpr (kWithSchedule) ScheduleStep(*next, step + t / 4);
        SkewedStep(r1, r2, r3, r0, wk + t + 2);
        SkewedStep(r0, r1, r2, r3, wk + t + 3);
    }
    if constexpr (kWithSchedule) ScheduleStep(*next, step + 19);
    SkewedStep(r3, r0, r1, r2, wk + 77);
    SkewedStep(r2, r3, r0, r1, wk + 78);
    SkewedStep(r1, r2, r3, r0, wk + 79);
    // r0 = {E[80], A[79]} down to r3 = {E[77], A[76]}; one more a-half gives A[80].
    __m128i last = r3;
    SkewedStep(r0, r1, r2, last, wk + 80);
    ea = _mm_add_epi64(ea, _mm_blend_epi32(r0, last, 0xC));
    fb = _mm_add_epi64(fb, _mm_blend_epi32(r1, r0, 0xC));
    gc = _mm_add_epi64(gc, _mm_blend_epi32(r2, r1, 0xC));
    hd = _mm_add_epi64(hd, _mm_blend_epi32(r3, r2, 0xC));
}

// Blocks two at a time, the second repeating the first for an odd last one.
DUNMO_INLINE_TARGET("avx2") void StartSchedule(Schedule& s, const std::uint8_t* blocks, std::size_t count) {
    s.blocks[0] = blocks;
    s.blocks[1] = count > 1 ? blocks + 128 : blocks;
}

DUNMO_TARGET("avx2")
void BlocksAvx2(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    if (count == 0) {
        return;
    }
    Schedule schedules[2];
    for (Schedule& s : schedules) {
        s.wk[0][80] = s.wk[1][80] = _mm_set_epi64x(1, 0);
    }
    Schedule* now = &schedules[0];
    Schedule* next = &schedules[1];
    StartSchedule(*now, blocks, count);
    for (int j = 0; j < 40; ++j) {
        ScheduleStep(*now, j);
    }
    const __m128i ab = Load(state), cd = Load(state + 2), ef = Load(state + 4), gh = Load(state + 6);
    __m128i ea = _mm_unpacklo_epi64(ef, ab), fb = _mm_unpackhi_epi64(ef, ab);
    __m128i gc = _mm_unpacklo_epi64(gh, cd), hd = _mm_unpackhi_epi64(gh, cd);
    for (;;) {
        const std::size_t pair = count > 1 ? 2 : 1;
        count -= pair;
        blocks += 128 * pair;
        if (count == 0) {
            SkewedRounds<false>(ea, fb, gc, hd, now->wk[0]);
            if (pair == 2) SkewedRounds<false>(ea, fb, gc, hd, now->wk[1]);
            break;
        }
        StartSchedule(*next, blocks, count);
        SkewedRounds<true>(ea, fb, gc, hd, now->wk[0], next, 0);
        if (pair == 2) {
            SkewedRounds<true>(ea, fb, gc, hd, now->wk[1], next, 20);
        } else {
            for (int j = 20; j < 40; ++j) ScheduleStep(*next, j);
        }
        std::swap(now, next);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_unpackhi_epi64(ea, fb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 2), _mm_unpackhi_epi64(gc, hd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_unpacklo_epi64(ea, fb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 6), _mm_unpacklo_epi64(gc, hd));
}
#endif

using BlockFunction = void (*)(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count);

#if defined(__x86_64__) || defined(_M_X64)
// With 64-bit general registers the plain C++ outruns the SSSE3 lanes.
constexpr Sha512Path kFastFirst[] = {Sha512Path::Avx512, Sha512Path::Bmi2, Sha512Path::Avx2};
#else
constexpr Sha512Path kFastFirst[] = {Sha512Path::Avx512, Sha512Path::Avx2, Sha512Path::Ssse3};
#endif

BlockFunction FunctionFor(Sha512Path path) {
    switch (path) {
    case Sha512Path::Fastest:
        for (const Sha512Path fast : kFastFirst) {
            if (const BlockFunction function = FunctionFor(fast)) return function;
        }
        return BlocksPortable;
    case Sha512Path::Portable: return BlocksPortable;
#if DUNMO_X86
    case Sha512Path::Avx2: return DetectedCpu().avx2 ? BlocksAvx2 : nullptr;
    case Sha512Path::Avx512: return DetectedCpu().avx512 ? Sha512BlocksAvx512 : nullptr;
    case Sha512Path::Ssse3: return DetectedCpu().ssse3 ? Sha512BlocksSsse3 : nullptr;
#endif
#if defined(__x86_64__) || defined(_M_X64)
    case Sha512Path::Bmi2: return DetectedCpu().bmi2 ? BlocksBmi2 : nullptr;
#endif
    default: return nullptr;
    }
}

using Choice = PathChoice<Sha512Path, BlockFunction, FunctionFor>;

void Blocks(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    Choice::Current()(state, blocks, count);
}

}  // namespace

bool Sha512PathAvailable(Sha512Path path) { return Choice::Available(path); }

bool Sha512UsePath(Sha512Path path) { return Choice::Use(path); }

void Sha512Init(Sha512Context& context) {
    static const std::uint64_t initial[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                             0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                             0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    context.count = 0;
    std::memcpy(context.state, initial, sizeof initial);
}

void Sha512Update(Sha512Context& context, const void* bytes, std::uint32_t length) {
    if (length == 0) {
        return;
    }
    const auto* input = static_cast<const std::uint8_t*>(bytes);
    auto used = static_cast<std::uint32_t>(context.count % 128);
    context.count += length;
    if (used != 0) {
        const std::uint32_t take = length < 128 - used ? length : 128 - used;
        std::memcpy(context.buffer + used, input, take);
        input += take;
        length -= take;
        used += take;
        if (used < 128) {
            return;
        }
        Blocks(context.state, context.buffer, 1);
    }
    if (length >= 128) {
        Blocks(context.state, input, length / 128);
    }
    std::memcpy(context.buffer, input + length / 128 * 128, length % 128);
}

void Sha512Final(Sha512Context& context, std::uint8_t digest[64]) {
    // The bit count is 128 bits wide; bytes held in 64 bits leave it at most 67.
    std::uint8_t lengthBytes[16];
    StoreBigEndian(lengthBytes, context.count >> 61);
    StoreBigEndian(lengthBytes + 8, context.count << 3);
    const auto used = static_cast<std::uint32_t>(context.count % 128);
    static const std::uint8_t padding[128] = {0x80};
    Sha512Update(context, padding, used < 112 ? 112 - used : 240 - used);
    Sha512Update(context, lengthBytes, 16);
    for (int i = 0; i < 8; ++i) {
        StoreBigEndian(digest + 8 * i, context.state[i]);
    }
}
