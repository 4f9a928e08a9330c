#pragma once
// SHA-1 (FIPS 180-1), fed in pieces split anywhere.
#include <cstddef>
#include <cstdint>

struct Sha1Context {
    std::uint32_t count[2];  // bytes absorbed, low word first
    std::uint32_t state[5];  // H0 to H4
    std::uint8_t buffer[64]; // bytes of the block not yet compressed
};

void Sha1Init(Sha1Context& context);
// A length of zero does nothing.
void Sha1Update(Sha1Context& context, const void* bytes, std::uint32_t length);
// Writes the 20-byte digest. The context must be initialised again before reuse.
void Sha1Final(Sha1Context& context, std::uint8_t digest[20]);
void Sha1Transform(Sha1Context& context, const std::uint8_t block[64]);

// The ways blocks can be compressed: plain C++, or the x86 SHA extensions
// (SHA1RNDS4 and friends). Fastest, the default, is the fastest of those this
// processor runs.
enum class Sha1Path { Fastest, Portable, ShaExtensions };
// Whether this processor runs `path`; Fastest and Portable run everywhere.
bool Sha1PathAvailable(Sha1Path path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Sha1UsePath(Sha1Path path);

// Several messages at once: context i absorbs lengths[i] bytes from bytes[i],
// with the same result as Sha1Update, while whole blocks of several messages
// are compressed together in the lanes of the chosen path.
void Sha1UpdateLanes(Sha1Context* const contexts[], const std::uint8_t* const bytes[],
                    const std::uint32_t lengths[], std::size_t count);
// How many messages the chosen path compresses at once (1: one at a time).
std::size_t Sha1Lanes();

// The ways several messages can be compressed: one at a time (Scalar, on the
// chosen Sha1Path), two streams interleaved on the SHA extensions, the 8
// lanes of AVX2, or with AVX-512 (F, VL and BW) the 8 lanes of YMM or 16 of
// ZMM registers (with the SHA extensions, four messages or fewer there go as
// pairs of streams). Fastest, the default, is the first of Avx512x16,
// Avx512x8, ShaExtensionsX2 and Avx2x8 that this processor runs.
enum class Sha1LanesPath { Fastest, Scalar, ShaExtensionsX2, Avx2x8, Avx512x8, Avx512x16 };
// Whether this processor runs `path`; Fastest and Scalar run everywhere.
bool Sha1LanesPathAvailable(Sha1LanesPath path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Sha1LanesUsePath(Sha1LanesPath path);
