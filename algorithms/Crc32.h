#pragma once
// CRC-32 (reflected polynomial 0xEDB88320, as in Ethernet, ZIP and PNG).
#include <cstdint>

extern const std::uint32_t Crc32Table[256];

// Continues a CRC over `length` more bytes. Start from 0; the result of one
// range passed back with the next range gives the CRC of both together.
std::uint32_t Crc32Update(std::uint32_t crc, const void* bytes, std::uint32_t length);
