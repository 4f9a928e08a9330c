#include "algorithms/Sha512Blocks.h"
#include "algorithms/Sha512.h"

#include <utility>

#include "algorithms/Cpu.h"

#if DUNMO_X86
namespace {

// The AVX2 path's two-word lanes (Sha512.cpp says why): register r[t] holds
// {E[t], A[t-1]}, so that each 64-bit add and logic operation of a step does
// the e- and the a-half at once. SSE shifts both lanes by one count, so each
// step makes both Sigmas of the whole register and keeps Sigma1's low lane and
// Sigma0's high one: the shifts of two separate halves, no more. Eight XMM
// registers hold the four state registers and the temporaries of a step.
alignas(16) constexpr std::uint64_t kHighLane[2] = {0, ~std::uint64_t{0}};

DUNMO_INLINE_TARGET("ssse3") __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// {low of `low`, high of `high`}.
DUNMO_INLINE_TARGET("ssse3") __m128i Join(__m128i low, __m128i high) {
    return _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(high), _mm_castsi128_pd(low)));
}

// x rotated right by a, b and c (a < b < c), each shifted result folded into
// the next: fewer copies and live registers than six shifts of x.
template <int a, int b, int c>
DUNMO_INLINE_TARGET("ssse3") __m128i Rotations(__m128i x) {
    __m128i right = _mm_xor_si128(_mm_srli_epi64(x, c - b), x);
    right = _mm_srli_epi64(_mm_xor_si128(_mm_srli_epi64(right, b - a), x), a);
    __m128i left = _mm_xor_si128(_mm_slli_epi64(x, b - a), x);
    left = _mm_slli_epi64(_mm_xor_si128(_mm_slli_epi64(left, c - b), x), 64 - c);
    return _mm_xor_si128(right, left);
}

// r3 = {E[t-3], A[t-4]} becomes {E[t+1], A[t]}. `wk` is {W[t] + K[t], 1}:
// the 1 completes the negation of A[t-4] after r3's high lane is inverted.
DUNMO_INLINE_TARGET("ssse3")
void SkewedStep(__m128i r0, __m128i r1, __m128i r2, __m128i& r3, const __m128i* wk) {
    const __m128i high = Load(kHighLane);
    __m128i c = _mm_xor_si128(_mm_and_si128(r2, high), r0);
    c = _mm_xor_si128(_mm_and_si128(c, _mm_xor_si128(r1, r2)), r2);
    // {E[t-3] + W + K, -A[t-4]} and {A[t-3], E[t]}.
    __m128i sum = _mm_add_epi64(_mm_xor_si128(r3, high), _mm_load_si128(wk));
    sum = _mm_add_epi64(_mm_add_epi64(sum, _mm_alignr_epi8(r0, r2, 8)), c);
    r3 = _mm_add_epi64(sum, Join(Rotations<14, 18, 41>(r0), Rotations<28, 34, 39>(r0)));
}

DUNMO_INLINE_TARGET("ssse3") __m128i SmallSigma0(__m128i w) {
    const __m128i rotate8 = _mm_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
    return _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(w, 1), _mm_slli_epi64(w, 63)),
                         _mm_xor_si128(_mm_shuffle_epi8(w, rotate8), _mm_srli_epi64(w, 7)));
}

DUNMO_INLINE_TARGET("ssse3") __m128i SmallSigma1(__m128i w) {
    return _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(w, 19), _mm_slli_epi64(w, 45)),
                         _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(w, 61), _mm_slli_epi64(w, 3)),
                                       _mm_srli_epi64(w, 6)));
}

// One block's message schedule, two words a register.
struct Schedule {
    const std::uint8_t* block;
    __m128i w[40];   // W[2j] and W[2j + 1]
    __m128i wk[81];  // {W[t] + K[t], 1}; round 80 only feeds the last a-half
};

DUNMO_INLINE_TARGET("ssse3") void ScheduleStep(Schedule& s, int j) {
    __m128i w;
    if (j < 8) {
        const __m128i swap = _mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
        w = _mm_shuffle_epi8(Load(s.block + 16 * j), swap);
    } else {
        const __m128i minus15 = _mm_alignr_epi8(s.w[j - 7], s.w[j - 8], 8);
        const __m128i minus7 = _mm_alignr_epi8(s.w[j - 3], s.w[j - 4], 8);
        w = _mm_add_epi64(_mm_add_epi64(_mm_add_epi64(s.w[j - 8], SmallSigma0(minus15)), minus7),
                          SmallSigma1(s.w[j - 1]));
    }
    s.w[j] = w;
    const __m128i ones = _mm_set_epi64x(1, 1);
    const __m128i sum = _mm_add_epi64(w, Load(kSha512RoundConstants + 2 * j));
    s.wk[2 * j] = _mm_unpacklo_epi64(sum, ones);
    s.wk[2 * j + 1] = _mm_unpackhi_epi64(sum, ones);
}

// One block's rounds on the state as {e, a}, {f, b}, {g, c}, {h, d}; with
// `next`, also the next block's schedule, two steps every four rounds.
template <bool kWithSchedule>
DUNMO_INLINE_TARGET("ssse3")
void SkewedRounds(__m128i& ea, __m128i& fb, __m128i& gc, __m128i& hd, const __m128i* wk, Schedule* next = nullptr) {
    // r[0] = {E[0], A[-1]} and so on: the a-halves move up a register.
    __m128i r0 = Join(ea, fb), r1 = Join(fb, gc), r2 = Join(gc, hd), r3 = hd;
    // Step 0's a-half has no round before it: A[0] is a.
    SkewedStep(r0, r1, r2, r3, wk);
    r3 = Join(r3, ea);
    for (int t = 1; t < 77; t += 4) {
        SkewedStep(r3, r0, r1, r2, wk + t);
        if constexpr (kWithSchedule) ScheduleStep(*next, t / 2);
        SkewedStep(r2, r3, r0, r1, wk + t + 1);
        SkewedStep(r1, r2, r3, r0, wk + t + 2);
        if constexpr (kWithSchedule) ScheduleStep(*next, t / 2 + 1);
        SkewedStep(r0, r1, r2, r3, wk + t + 3);
    }
    if constexpr (kWithSchedule) {
        ScheduleStep(*next, 38);
        ScheduleStep(*next, 39);
    }
    SkewedStep(r3, r0, r1, r2, wk + 77);
    SkewedStep(r2, r3, r0, r1, wk + 78);
    SkewedStep(r1, r2, r3, r0, wk + 79);
    // r0 = {E[80], A[79]} down to r3 = {E[77], A[76]}; one more a-half gives A[80].
    __m128i last = r3;
    SkewedStep(r0, r1, r2, last, wk + 80);
    ea = _mm_add_epi64(ea, Join(r0, last));
    fb = _mm_add_epi64(fb, Join(r1, r0));
    gc = _mm_add_epi64(gc, Join(r2, r1));
    hd = _mm_add_epi64(hd, Join(r3, r2));
}

}  // namespace

DUNMO_TARGET("ssse3")
void Sha512BlocksSsse3(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    if (count == 0) {
        return;
    }
    Schedule schedules[2];
    for (Schedule& s : schedules) {
        s.wk[80] = _mm_set_epi64x(1, 0);
    }
    Schedule* now = &schedules[0];
    Schedule* next = &schedules[1];
    now->block = blocks;
    for (int j = 0; j < 40; ++j) {
        ScheduleStep(*now, j);
    }
    const __m128i ab = Load(state), cd = Load(state + 2), ef = Load(state + 4), gh = Load(state + 6);
    __m128i ea = _mm_unpacklo_epi64(ef, ab), fb = _mm_unpackhi_epi64(ef, ab);
    __m128i gc = _mm_unpacklo_epi64(gh, cd), hd = _mm_unpackhi_epi64(gh, cd);
    for (; --count != 0; std::swap(now, next)) {
        blocks += 128;
        next->block = blocks;
        SkewedRounds<true>(ea, fb, gc, hd, now->wk, next);
    }
    SkewedRounds<false>(ea, fb, gc, hd, now->wk);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_unpackhi_epi64(ea, fb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 2), _mm_unpackhi_epi64(gc, hd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_unpacklo_epi64(ea, fb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 6), _mm_unpacklo_epi64(gc, hd));
}
#endif
