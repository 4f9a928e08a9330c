#pragma once
// Several messages hashed at once: whole blocks of several messages go
// through one multi-buffer kernel, while partial blocks and the blocks of a
// message left on its own go through the digest's single-stream code, so that
// the results are the single-stream ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "algorithms/Cpu.h"

// The most messages any kernel takes at once.
constexpr std::size_t kMaxLanes = 16;

template <typename Word>
struct LaneKernelOf {
    // Compresses `blocks` whole blocks of each of `lanes` messages (1 to
    // width): message i from data[i] into the state words at states[i]. Null
    // where minimum > width: the scheduler never calls it.
    void (*compress)(Word* const states[], const std::uint8_t* const data[], std::size_t lanes, std::size_t blocks);
    std::size_t width;    // how many messages it takes at once; 1 where lanes do not pay
    std::size_t minimum;  // the fewest messages with whole blocks for which it beats one stream
};
using LaneKernel = LaneKernelOf<std::uint32_t>;

// The path of no lanes: every message through the single-stream code.
template <typename Word>
inline constexpr LaneKernelOf<Word> kOneStream = {nullptr, 1, 2};

// The messages of one kernel call, `width` lanes of them: each lane's data,
// and the state words transposed so that words[r] loads as one register
// (word r of lane i in element i). Lanes past `lanes` hash lane 0's data
// again from a state of zeros, and their results are dropped.
template <typename W, std::size_t width, std::size_t stateWords>
struct LaneSet {
    using Word = W;
    alignas(64) Word words[stateWords][width] = {};
    const std::uint8_t* from[width];

    LaneSet(W* const states[], const std::uint8_t* const data[], std::size_t lanes) {
        for (std::size_t i = 0; i < width; ++i) {
            from[i] = data[i < lanes ? i : 0];
            for (std::size_t r = 0; i < lanes && r < stateWords; ++r) words[r][i] = states[i][r];
        }
    }
    void Store(W* const states[], std::size_t lanes) const {
        for (std::size_t i = 0; i < lanes; ++i) {
            for (std::size_t r = 0; r < stateWords; ++r) states[i][r] = words[r][i];
        }
    }
};

// A kernel's compress around `run`, the vector code, which compresses
// `blocks` blocks from set.from into set.words.
template <typename Set, void (*run)(Set& set, std::size_t blocks)>
void CompressLaneSet(typename Set::Word* const states[], const std::uint8_t* const data[], std::size_t lanes,
                     std::size_t blocks) {
    Set set(states, data, lanes);
    run(set, blocks);
    set.Store(states, lanes);
}

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

#define DUNMO_LANES_AVX512 "avx512f,avx512vl,avx512bw"

// The 32-bit word operations the digests' AVX-512 lane traits share: eight
// lanes in YMM registers, message words loaded byte-reversed when
// `bigEndian`. A kernel's own target must include DUNMO_LANES_AVX512.
template <bool bigEndian>
struct Avx512Words8 {
    using V = __m256i;
    static constexpr std::size_t kWidth = 8;
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Add(V x, V y) { return _mm256_add_epi32(x, y); }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Xor(V x, V y) { return _mm256_xor_si256(x, y); }
    template <int table>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Logic(V x, V y, V z) {
        return _mm256_ternarylogic_epi32(x, y, z, table);
    }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V RotateLeft(V x) { return _mm256_rol_epi32(x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V RotateRight(V x) { return _mm256_ror_epi32(x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V ShiftRight(V x) { return _mm256_srli_epi32(x, n); }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Set1(std::uint32_t x) {
        return _mm256_set1_epi32(static_cast<int>(x));
    }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Load(const std::uint32_t* p) {
        return _mm256_load_si256(reinterpret_cast<const V*>(p));
    }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) void Store(std::uint32_t* p, V x) {
        _mm256_store_si256(reinterpret_cast<V*>(p), x);
    }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512)
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        LoadLaneWords8<bigEndian>(w, from, offset);
    }
};

// The same on sixteen lanes in ZMM registers.
template <bool bigEndian>
struct Avx512Words16 {
    using V = __m512i;
    static constexpr std::size_t kWidth = 16;
    // GCC 12 warns of the unmasked ZMM forms' undefined merge source; an
    // all-ones mask gives the same instructions.
    static constexpr __mmask16 kAll = 0xFFFF;
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Add(V x, V y) { return _mm512_add_epi32(x, y); }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Xor(V x, V y) { return _mm512_xor_si512(x, y); }
    template <int table>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Logic(V x, V y, V z) {
        return _mm512_ternarylogic_epi32(x, y, z, table);
    }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V RotateLeft(V x) { return _mm512_mask_rol_epi32(x, kAll, x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V RotateRight(V x) { return _mm512_mask_ror_epi32(x, kAll, x, n); }
    template <int n>
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V ShiftRight(V x) { return _mm512_mask_srli_epi32(x, kAll, x, n); }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Set1(std::uint32_t x) {
        return _mm512_set1_epi32(static_cast<int>(x));
    }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) V Load(const std::uint32_t* p) { return _mm512_load_si512(p); }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) void Store(std::uint32_t* p, V x) { _mm512_store_si512(p, x); }
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512) __m128i Row(const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    // As LoadLaneWords8, with lanes 4g to 4g + 3 in 128-bit part g.
    static DUNMO_INLINE_TARGET(DUNMO_LANES_AVX512)
    void LoadWords(V (&w)[16], const std::uint8_t* const (&from)[kWidth], std::size_t offset) {
        const V swap = _mm512_set_epi64(0x0C0D0E0F08090A0B, 0x0405060700010203, 0x0C0D0E0F08090A0B,
                                        0x0405060700010203, 0x0C0D0E0F08090A0B, 0x0405060700010203,
                                        0x0C0D0E0F08090A0B, 0x0405060700010203);
        for (std::size_t q = 0; q < 4; ++q) {
            const std::size_t at = offset + 16 * q;
            V r[4];
            for (int i = 0; i < 4; ++i) {
                r[i] = _mm512_inserti32x4(_mm512_castsi128_si512(Row(from[i] + at)), Row(from[i + 4] + at), 1);
                r[i] = _mm512_inserti32x4(_mm512_inserti32x4(r[i], Row(from[i + 8] + at), 2), Row(from[i + 12] + at), 3);
                if constexpr (bigEndian) r[i] = _mm512_shuffle_epi8(r[i], swap);
            }
            const V t0 = _mm512_mask_unpacklo_epi32(r[0], kAll, r[0], r[1]);
            const V t1 = _mm512_mask_unpacklo_epi32(r[2], kAll, r[2], r[3]);
            const V t2 = _mm512_mask_unpackhi_epi32(r[0], kAll, r[0], r[1]);
            const V t3 = _mm512_mask_unpackhi_epi32(r[2], kAll, r[2], r[3]);
            w[4 * q] = _mm512_mask_unpacklo_epi64(t0, 0xFF, t0, t1);
            w[4 * q + 1] = _mm512_mask_unpackhi_epi64(t0, 0xFF, t0, t1);
            w[4 * q + 2] = _mm512_mask_unpacklo_epi64(t2, 0xFF, t2, t3);
            w[4 * q + 3] = _mm512_mask_unpackhi_epi64(t2, 0xFF, t2, t3);
        }
    }
};
#endif

// What the scheduler needs of a digest (Traits) and its Context:
//   Word, the state's word; kBlockBytes
//   static std::uint32_t Buffered(const Context&)    bytes waiting in its buffer
//   static void Update(Context&, const std::uint8_t*, std::uint32_t)   the single-stream code
//   static void Absorbed(Context&, std::uint64_t bytes)   counts bytes compressed in lanes
//   static Word* State(Context&)
// Each context absorbs its own `lengths[i]` bytes from bytes[i], as Update
// would. Whole blocks are compressed `kernel.width` messages at a time, each
// round as many blocks as the shortest of them has, while at least
// `kernel.minimum` messages have whole blocks left; a message whose blocks
// run out gives its lane to the next one.
template <typename Traits, typename Context>
void UpdateLanes(Context* const contexts[], const std::uint8_t* const bytes[], const std::uint32_t lengths[],
                 std::size_t count, const LaneKernelOf<typename Traits::Word>& kernel) {
    constexpr std::uint32_t block = Traits::kBlockBytes;
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
            const std::uint32_t take = std::min<std::uint32_t>(length, block - buffered);
            Traits::Update(*contexts[i], next, take);
            next += take;
            length -= take;
        }
        lanes[i] = {next, length / block, length % block};
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
        typename Traits::Word* states[kMaxLanes];
        const std::uint8_t* data[kMaxLanes];
        for (std::size_t j = 0; j < n; ++j) {
            states[j] = Traits::State(*contexts[chosen[j]]);
            data[j] = lanes[chosen[j]].next;
        }
        kernel.compress(states, data, n, common);
        for (std::size_t j = 0; j < n; ++j) {
            Traits::Absorbed(*contexts[chosen[j]], std::uint64_t{common} * block);
            lanes[chosen[j]].next += std::size_t{common} * block;
            lanes[chosen[j]].blocks -= common;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        Traits::Update(*contexts[i], lanes[i].next, lanes[i].blocks * block + lanes[i].tail);
    }
}

// A byte count kept in one 64-bit word or in two 32-bit words, low first.
inline std::uint64_t CountOf(const std::uint32_t (&count)[2]) { return std::uint64_t{count[1]} << 32 | count[0]; }
inline std::uint64_t CountOf(std::uint64_t count) { return count; }
inline void SetCount(std::uint32_t (&count)[2], std::uint64_t value) {
    count[0] = static_cast<std::uint32_t>(value);
    count[1] = static_cast<std::uint32_t>(value >> 32);
}
inline void SetCount(std::uint64_t& count, std::uint64_t value) { count = value; }

// The scheduler's needs of a context with `count` (bytes, or bits where
// countShift is 3), `state` and the single-stream `update`.
template <typename Context, typename StateWord, std::uint32_t blockBytes, int countShift,
          void (*update)(Context&, const void*, std::uint32_t)>
struct ContextLanes {
    using Word = StateWord;
    static constexpr std::uint32_t kBlockBytes = blockBytes;
    static std::uint32_t Buffered(const Context& context) {
        return static_cast<std::uint32_t>(CountOf(context.count) >> countShift) % blockBytes;
    }
    static void Update(Context& context, const std::uint8_t* bytes, std::uint32_t length) {
        update(context, bytes, length);
    }
    static void Absorbed(Context& context, std::uint64_t bytes) {
        SetCount(context.count, CountOf(context.count) + (bytes << countShift));
    }
    static Word* State(Context& context) { return context.state; }
};

// A digest's lanes paths and the one chosen: Traits, beside the scheduler's
// needs, gives Path (its enum of lanes paths) and kPaths (PathEntry rows of
// kernels, fastest first, the one-stream path last).
template <typename Traits>
const LaneKernelOf<typename Traits::Word>* LaneKernelFor(typename Traits::Path path) {
    return FunctionIn(Traits::kPaths, path);
}

template <typename Traits>
struct LanesOf {
    using Choice = PathChoice<typename Traits::Path, const LaneKernelOf<typename Traits::Word>*, LaneKernelFor<Traits>>;
    static bool Available(typename Traits::Path path) { return Choice::Available(path); }
    static bool Use(typename Traits::Path path) { return Choice::Use(path); }
    static std::size_t Width() { return Choice::Current()->width; }
    template <typename Context>
    static void Update(Context* const contexts[], const std::uint8_t* const bytes[], const std::uint32_t lengths[],
                       std::size_t count) {
        UpdateLanes<Traits>(contexts, bytes, lengths, count, *Choice::Current());
    }
};
