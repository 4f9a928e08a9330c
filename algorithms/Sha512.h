#pragma once
// SHA-512 (FIPS 180-4), fed in pieces split anywhere.
#include <cstddef>
#include <cstdint>

struct Sha512Context {
    std::uint64_t count;      // bytes absorbed; the padding's 128-bit bit count is made from it
    std::uint64_t state[8];   // H0 to H7
    std::uint8_t buffer[128]; // bytes of the block not yet compressed
};

void Sha512Init(Sha512Context& context);
// A length of zero does nothing.
void Sha512Update(Sha512Context& context, const void* bytes, std::uint32_t length);
// Writes the 64-byte digest. The context must be initialised again before reuse.
void Sha512Final(Sha512Context& context, std::uint8_t digest[64]);

// The 80 round constants K of FIPS 180-4 (defined in Sha512Lanes.cpp).
extern const std::uint64_t kSha512RoundConstants[80];

// The ways blocks can be compressed: plain C++; 64-bit lanes of vector
// registers with AVX2 (variable shifts; the schedule of two blocks at once),
// which is also how the i686 build gets 64-bit arithmetic; the same with
// AVX-512 F and VL (rotates and three-input logic in one instruction); the
// same lanes with SSSE3 (each shift made for both lanes' counts; chosen in
// i686 builds only, as x86_64's plain C++ is faster); or, in x86_64 builds
// only, the plain C++ compiled for BMI2. Fastest, the default, is the fastest
// of those this processor runs.
enum class Sha512Path { Fastest, Portable, Avx2, Avx512, Bmi2, Ssse3 };
// Whether this processor runs `path`; Fastest and Portable run everywhere.
bool Sha512PathAvailable(Sha512Path path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Sha512UsePath(Sha512Path path);

// Several messages at once (in Sha512Lanes.cpp): context i absorbs lengths[i]
// bytes from bytes[i], with the same result as Sha512Update, while whole
// blocks of several messages are compressed together in the lanes of the
// chosen path.
void Sha512UpdateLanes(Sha512Context* const contexts[], const std::uint8_t* const bytes[],
                       const std::uint32_t lengths[], std::size_t count);
// How many messages the chosen path compresses at once (1: one at a time).
std::size_t Sha512Lanes();

// The ways several messages can be compressed: one at a time (Scalar, on the
// chosen Sha512Path), in the 4 64-bit lanes of AVX2, or with AVX-512 (F, VL
// and BW) the 4 of YMM or 8 of ZMM registers. Fastest, the default, is the
// first of Avx512x8 and Avx2x4 that this processor runs.
enum class Sha512LanesPath { Fastest, Scalar, Avx2x4, Avx512x4, Avx512x8 };
// Whether this processor runs `path`; Fastest and Scalar run everywhere.
bool Sha512LanesPathAvailable(Sha512LanesPath path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Sha512LanesUsePath(Sha512LanesPath path);
