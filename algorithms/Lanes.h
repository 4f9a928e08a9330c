#pragma once
// Several messages hashed at once by the digests of 64-byte blocks: whole
// blocks of several messages go through one multi-buffer kernel, while
// partial blocks and the blocks of a message left on its own go through the
// digest's single-stream code, so that the results are the single-stream ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "algorithms/Cpu.h"

// The most messages any kernel takes at once.
constexpr std::size_t kMaxLanes = 16;

struct LaneKernel {
    // Compresses `blocks` whole blocks of each of `lanes` messages (1 to
    // width): message i from data[i] into the state words at states[i].
    void (*compress)(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                     std::size_t blocks);
    std::size_t width;    // how many messages it takes at once; 1 where lanes do not pay
    std::size_t minimum;  // the fewest messages with whole blocks for which it beats one stream
};

// The messages of one kernel call, `width` lanes of them: each lane's data,
// and the state words transposed so that words[r] loads as one register
// (word r of lane i in element i). Lanes past `lanes` hash lane 0's data
// again from a state of zeros, and their results are dropped.
template <std::size_t width, std::size_t stateWords>
struct LaneSet {
    alignas(32) std::uint32_t words[stateWords][width] = {};
    const std::uint8_t* from[width];

    LaneSet(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes) {
        for (std::size_t i = 0; i < width; ++i) {
            from[i] = data[i < lanes ? i : 0];
            for (std::size_t r = 0; i < lanes && r < stateWords; ++r) words[r][i] = states[i][r];
        }
    }
    void Store(std::uint32_t* const states[], std::size_t lanes) const {
        for (std::size_t i = 0; i < lanes; ++i) {
            for (std::size_t r = 0; r < stateWords; ++r) states[i][r] = words[r][i];
        }
    }
};

#if DUNMO_X86
// Word k of the block at from[i] + offset in lane i of w[k], byte-reversed
// for the big-endian digests: a 4x4 transpose per 16 bytes, lanes 4 to 7 in
// the upper halves, which the unpacks keep apart.
template <bool bigEndian>
DUNMO_INLINE_TARGET("avx2")
void LoadLaneWords8(__m256i (&w)[16], const std::uint8_t* const (&from)[8], std::size_t offset) {
    const __m256i swap = _mm256_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3, 12, 13, 14, 15, 8, 9,
                                         10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    for (int q = 0; q < 4; ++q) {
        __m256i r[4];
        for (int i = 0; i < 4; ++i) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[i] + offset + 16 * q));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[i + 4] + offset + 16 * q));
            r[i] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
            if constexpr (bigEndian) r[i] = _mm256_shuffle_epi8(r[i], swap);
        }
        const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpacklo_epi32(r[2], r[3]);
        const __m256i t2 = _mm256_unpackhi_epi32(r[0], r[1]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
        w[4 * q] = _mm256_unpacklo_epi64(t0, t1);
        w[4 * q + 1] = _mm256_unpackhi_epi64(t0, t1);
        w[4 * q + 2] = _mm256_unpacklo_epi64(t2, t3);
        w[4 * q + 3] = _mm256_unpackhi_epi64(t2, t3);
    }
}
#endif

// What the scheduler needs of a digest's context:
//   static std::uint32_t Buffered(const Context&)    bytes waiting in its buffer
//   static void Update(Context&, const std::uint8_t*, std::uint32_t)   the single-stream code
//   static void Absorbed(Context&, std::uint64_t bytes)   counts bytes compressed in lanes
//   static std::uint32_t* State(Context&)
// Each context absorbs its own `lengths[i]` bytes from bytes[i], as Update
// would. Whole blocks are compressed `kernel.width` messages at a time, each
// round as many blocks as the shortest of them has, while at least
// `kernel.minimum` messages have whole blocks left; a message whose blocks
// run out gives its lane to the next one.
template <typename Traits, typename Context>
void UpdateLanes(Context* const contexts[], const std::uint8_t* const bytes[], const std::uint32_t lengths[],
                 std::size_t count, const LaneKernel& kernel) {
    struct Lane {
        const std::uint8_t* next;
        std::uint32_t blocks;  // whole blocks for the lanes
        std::uint32_t tail;    // bytes after them
    };
    Lane onStack[kMaxLanes];
    std::vector<Lane> onHeap(count > kMaxLanes ? count : 0);
    Lane* const lanes = count > kMaxLanes ? onHeap.data() : onStack;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* next = bytes[i];
        std::uint32_t length = lengths[i];
        // A block begun earlier is completed (and compressed) on its own first.
        if (const std::uint32_t buffered = Traits::Buffered(*contexts[i]); buffered != 0 && length != 0) {
            const std::uint32_t take = std::min<std::uint32_t>(length, 64 - buffered);
            Traits::Update(*contexts[i], next, take);
            next += take;
            length -= take;
        }
        lanes[i] = {next, length / 64, length % 64};
    }
    for (;;) {
        std::size_t chosen[kMaxLanes];
        std::size_t n = 0;
        std::uint32_t common = 0;
        for (std::size_t i = 0; i < count && n < kernel.width; ++i) {
            if (lanes[i].blocks != 0) {
                common = n == 0 ? lanes[i].blocks : std::min(common, lanes[i].blocks);
                chosen[n++] = i;
            }
        }
        if (n < kernel.minimum) {
            break;
        }
        std::uint32_t* states[kMaxLanes];
        const std::uint8_t* data[kMaxLanes];
        for (std::size_t j = 0; j < n; ++j) {
            states[j] = Traits::State(*contexts[chosen[j]]);
            data[j] = lanes[chosen[j]].next;
        }
        kernel.compress(states, data, n, common);
        for (std::size_t j = 0; j < n; ++j) {
            Traits::Absorbed(*contexts[chosen[j]], std::uint64_t{common} * 64);
            lanes[chosen[j]].next += std::size_t{common} * 64;
            lanes[chosen[j]].blocks -= common;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        Traits::Update(*contexts[i], lanes[i].next, lanes[i].blocks * 64 + lanes[i].tail);
    }
}
