#include "algorithms/Sha512Blocks.h"
#include "algorithms/Sha512.h"

#include <utility>

#include "algorithms/Cpu.h"

#if DUNMO_X86
#define DUNMO_SHA512_AVX512 "avx512f,avx512vl,avx2"

namespace {

// Two-word lanes, as in the AVX2 path (Sha512.cpp says why), but the a-half
// runs two steps late: register r[t] holds {E[t], A[t-2]}. Its T1 is then
// E[t-1] - A[t-5], from registers a step old, so that only Sigma and Ch/Maj
// of the newest register remain on the chain: three dependent operations a
// step, each lane rotated by its own count in one instruction and each
// three-input function in one.
alignas(16) constexpr std::uint64_t kSigmaCounts[3][2] = {{14, 28}, {18, 34}, {41, 39}};
constexpr __mmask8 kHighLane = 2;

DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512) __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// r3 = {E[t-3], A[t-5]} becomes {E[t+1], A[t-1]}.
DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512)
void SkewedStep(__m128i r0, __m128i r1, __m128i r2, __m128i& r3, const std::uint64_t* wk) {
    // {A[t-3] + W[t] + K[t], E[t-1]}, then {+ E[t-3], - A[t-5]}.
    const __m128i swapped =
        _mm_add_epi64(_mm_shuffle_epi32(r1, 0x4E), _mm_loadl_epi64(reinterpret_cast<const __m128i*>(wk)));
    const __m128i sum = _mm_mask_sub_epi64(_mm_add_epi64(swapped, r3), kHighLane, swapped, r3);
    // Ch(E[t], E[t-1], E[t-2]) and Maj(A[t-2], A[t-3], A[t-4]) are both x & (y ^ z) ^ w,
    // w being z for Ch and y & z for Maj (truth table 0x6A: A & B ^ C).
    const __m128i w = _mm_mask_and_epi64(r2, kHighLane, r1, r2);
    const __m128i choose = _mm_ternarylogic_epi64(r0, _mm_xor_si128(r1, r2), w, 0x6A);
    const __m128i sigmas =
        _mm_ternarylogic_epi64(_mm_rorv_epi64(r0, Load(kSigmaCounts[0])), _mm_rorv_epi64(r0, Load(kSigmaCounts[1])),
                               _mm_rorv_epi64(r0, Load(kSigmaCounts[2])), 0x96);
    r3 = _mm_add_epi64(_mm_add_epi64(sum, choose), sigmas);
}

DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512) __m256i SmallSigma0(__m256i w) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(w, 1), _mm256_ror_epi64(w, 8), _mm256_srli_epi64(w, 7), 0x96);
}

DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512) __m256i SmallSigma1(__m256i w) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(w, 19), _mm256_ror_epi64(w, 61), _mm256_srli_epi64(w, 6), 0x96);
}

// As the AVX2 path's: two blocks, one in each 128-bit half.
struct Schedule {
    const std::uint8_t* blocks[2];
    __m256i w[40];               // W[2j] and W[2j + 1] of both blocks
    std::uint64_t wk[2][82];     // W[t] + K[t] of each block; the zeros after only feed the last a-halves
};

DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512) void ScheduleStep(Schedule& s, int j) {
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
    const __m256i sum = _mm256_add_epi64(w, _mm256_broadcastsi128_si256(Load(kSha512RoundConstants + 2 * j)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s.wk[0] + 2 * j), _mm256_castsi256_si128(sum));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s.wk[1] + 2 * j), _mm256_extracti128_si256(sum, 1));
}

// One block's rounds on the state as {e, a}, {f, b}, {g, c}, {h, d}; with
// `next`, also the schedule steps from `step` to `step` + 19 of the next two.
template <bool kWithSchedule>
DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512)
void SkewedRounds(__m128i& ea, __m128i& fb, __m128i& gc, __m128i& hd, const std::uint64_t* wk,
                  Schedule* next = nullptr, int step = 0) {
    // r[0] = {E[0], A[-2]} and so on; the first two steps' a-halves are b and a.
    __m128i r0 = _mm_blend_epi32(ea, gc, 0xC), r1 = _mm_blend_epi32(fb, hd, 0xC), r2 = gc, r3 = hd;
    SkewedStep(r0, r1, r2, r3, wk);
    r3 = _mm_blend_epi32(r3, fb, 0xC);
    SkewedStep(r3, r0, r1, r2, wk + 1);
    r2 = _mm_blend_epi32(r2, ea, 0xC);
    for (int t = 2; t < 78; t += 4) {
        SkewedStep(r2, r3, r0, r1, wk + t);
        SkewedStep(r1, r2, r3, r0, wk + t + 1);
        if constexpr (kWithSchedule) ScheduleStep(*next, step + t / 4);
        SkewedStep(r0, r1, r2, r3, wk + t + 2);
        SkewedStep(r3, r0, r1, r2, wk + t + 3);
    }
    if constexpr (kWithSchedule) ScheduleStep(*next, step + 19);
    SkewedStep(r2, r3, r0, r1, wk + 78);
    SkewedStep(r1, r2, r3, r0, wk + 79);
    // r0 = {E[80], A[78]} down to r3 = {E[77], A[75]}; two more a-halves give A[79] and A[80].
    __m128i x = r3, y = r2;
    SkewedStep(r0, r1, r2, x, wk + 80);
    SkewedStep(x, r0, r1, y, wk + 81);
    ea = _mm_add_epi64(ea, _mm_blend_epi32(r0, y, 0xC));
    fb = _mm_add_epi64(fb, _mm_blend_epi32(r1, x, 0xC));
    gc = _mm_add_epi64(gc, _mm_blend_epi32(r2, r0, 0xC));
    hd = _mm_add_epi64(hd, _mm_blend_epi32(r3, r1, 0xC));
}

DUNMO_INLINE_TARGET(DUNMO_SHA512_AVX512)
void StartSchedule(Schedule& s, const std::uint8_t* blocks, std::size_t count) {
    s.blocks[0] = blocks;
    s.blocks[1] = count > 1 ? blocks + 128 : blocks;
}

}  // namespace

DUNMO_TARGET(DUNMO_SHA512_AVX512)
void Sha512BlocksAvx512(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    if (count == 0) {
        return;
    }
    Schedule schedules[2];
    for (Schedule& s : schedules) {
        s.wk[0][80] = s.wk[0][81] = s.wk[1][80] = s.wk[1][81] = 0;
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
#undef DUNMO_SHA512_AVX512
#endif
