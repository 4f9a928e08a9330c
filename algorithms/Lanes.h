#pragma once
// Several messages hashed at once by the digests of 64-byte blocks: whole
// blocks of several messages go through one multi-buffer kernel, while
// partial blocks and the blocks of a message left on its own go through the
// digest's single-stream code, so that the results are the single-stream ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

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
