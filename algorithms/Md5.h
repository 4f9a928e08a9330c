#pragma once
// MD5 (RFC 1321), fed in pieces split anywhere.
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
