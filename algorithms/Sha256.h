#pragma once
// SHA-256 (FIPS 180-4), fed in pieces split anywhere.
#include <cstddef>
#include <cstdint>

struct Sha256Context {
    std::uint32_t count[2];  // bytes absorbed, low word first
    std::uint32_t state[8];  // H0 to H7
    std::uint8_t buffer[64]; // bytes of the block not yet compressed
};

void Sha256Init(Sha256Context& context);
// A length of zero does nothing.
void Sha256Update(Sha256Context& context, const void* bytes, std::uint32_t length);
// Writes the 32-byte digest. The context must be initialised again before reuse.
void Sha256Final(Sha256Context& context, std::uint8_t digest[32]);

// The 64 round constants K of FIPS 180-4.
extern const std::uint32_t kSha256RoundConstants[64];

// The ways blocks can be compressed: plain C++, or the x86 SHA extensions
// (SHA256RNDS2 and friends). Fastest, the default, is the fastest of those
// this processor runs.
enum class Sha256Path { Fastest, Portable, ShaExtensions };
// Whether this processor runs `path`; Fastest and Portable run everywhere.
bool Sha256PathAvailable(Sha256Path path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Sha256UsePath(Sha256Path path);

// Several messages at once: context i absorbs lengths[i] bytes from bytes[i],
// with the same result as Sha256Update, while whole blocks of several messages
// are compressed together in the lanes of the chosen path.
void Sha256UpdateLanes(Sha256Context* const contexts[], const std::uint8_t* const bytes[],
                    const std::uint32_t lengths[], std::size_t count);
// How many messages the chosen path compresses at once (1: one at a time).
std::size_t Sha256Lanes();

// The ways several messages can be compressed: one at a time (Scalar, on the
// chosen Sha256Path), two streams interleaved on the SHA extensions, the 8
// lanes of AVX2, or with AVX-512 (F, VL and BW) the 8 lanes of YMM or 16 of
// ZMM registers. Fastest, the default, is the first of ShaExtensionsX2,
// Avx512x16, Avx512x8 and Avx2x8 that this processor runs.
enum class Sha256LanesPath { Fastest, Scalar, ShaExtensionsX2, Avx2x8, Avx512x8, Avx512x16 };
// Whether this processor runs `path`; Fastest and Scalar run everywhere.
bool Sha256LanesPathAvailable(Sha256LanesPath path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Sha256LanesUsePath(Sha256LanesPath path);
