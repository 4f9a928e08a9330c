#pragma once
// Between Sha512.cpp and the block functions kept in files of their own.
#include <cstddef>
#include <cstdint>

// Compresses `count` 128-byte blocks into `state`; needs AVX-512 F and VL.
void Sha512BlocksAvx512(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count);
// The same with SSSE3.
void Sha512BlocksSsse3(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count);
