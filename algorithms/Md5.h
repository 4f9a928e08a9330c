#pragma once
// MD5 (RFC 1321), fed in pieces split anywhere.
#include <cstddef>
#include <cstdint>

struct Md5Context {
    std::uint32_t count[2];  // bits absorbed, low word first; wraps modulo 2^64
    std::uint32_t state[4];  // A, B, C, D
    std::uint8_t buffer[64]; // bytes of the block not yet compressed
};

void Md5Init(Md5Context& context);
// A length of zero or below does nothing.
void Md5Update(Md5Context& context, const void* bytes, std::int32_t length);
// Writes the 16-byte digest. The context must be initialised again before reuse.
void Md5Final(Md5Context& context, std::uint8_t digest[16]);
void Md5Transform(Md5Context& context, const std::uint8_t block[64]);

// Several messages at once: context i absorbs lengths[i] bytes from bytes[i],
// with the same result as Md5Update, while whole blocks of several messages
// are compressed together in the lanes of the chosen path.
void Md5UpdateLanes(Md5Context* const contexts[], const std::uint8_t* const bytes[],
                    const std::uint32_t lengths[], std::size_t count);
// How many messages the chosen path compresses at once (1: one at a time).
std::size_t Md5Lanes();

// The ways several messages can be compressed: one at a time (Scalar), in
// the 4 lanes of SSE2, the 8 of AVX2, or with AVX-512 (F and VL) the 8 of YMM
// or 16 of ZMM registers. Fastest, the default, is the widest this processor
// runs.
enum class Md5LanesPath { Fastest, Scalar, Sse2x4, Avx2x8, Avx512x8, Avx512x16 };
// Whether this processor runs `path`; Fastest and Scalar run everywhere.
bool Md5LanesPathAvailable(Md5LanesPath path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Md5LanesUsePath(Md5LanesPath path);
