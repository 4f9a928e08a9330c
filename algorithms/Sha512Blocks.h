#pragma once
// Between Sha512.cpp and the block functions kept in files of their own.
#include <cstddef>
#include <cstdint>

alignas(16) extern const std::uint64_t kSha512RoundConstants[80];

// Compresses `count` 128-byte blocks into `state`; needs AVX-512 F and VL.
void Sha512BlocksAvx512(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count);
