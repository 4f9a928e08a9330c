#pragma once
// CRC-32 (reflected polynomial 0xEDB88320, as in Ethernet, ZIP and PNG).
#include <cstdint>

extern const std::uint32_t Crc32Table[256];

// Continues a CRC over `length` more bytes. Start from 0; the result of one
// range passed back with the next range gives the CRC of both together.
std::uint32_t Crc32Update(std::uint32_t crc, const void* bytes, std::uint32_t length);

// The ways a CRC can be computed: tables, or carry-less multiplication
// (PCLMULQDQ on 16-byte registers, VPCLMULQDQ on 32- or 64-byte ones).
// Fastest, the default, is the fastest of those this processor runs.
enum class Crc32Path { Fastest, Portable, Pclmul, Vpclmul256, Vpclmul512 };
// Whether this processor runs `path`; Fastest and Portable run everywhere.
bool Crc32PathAvailable(Crc32Path path);
// Makes every later call use `path` (for tests and benchmarks). Returns false
// and changes nothing when the path is not available.
bool Crc32UsePath(Crc32Path path);
