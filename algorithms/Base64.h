#pragma once
// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) with a lenient decoder.
#include <cstdint>

extern const char Base64Alphabet[65];

// Writes exactly 4 * ceil(length / 3) characters to `text`, no terminator.
// A null input or a length of zero or below writes nothing and returns 0.
std::int32_t Base64Encode(const std::uint8_t* bytes, std::int32_t length, char* text);

// Decodes the NUL-terminated `text` into `bytes` and returns the count written
// (floor(6n / 8) for n alphabet characters; a buffer of 3 * ceil(L / 4) bytes
// always suffices). Never fails: every non-alphabet character, "=" included,
// is skipped without touching the bit stream, and an incomplete tail is dropped.
std::int32_t Base64Decode(const char* text, std::uint8_t* bytes);
