#pragma once
// Helpers shared by the digest tests.
#include <cstddef>
#include <cstdint>
#include <string>

// Upper-case hexadecimal, as result lines show digests.
inline std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// The first `length` characters of "0123456789" repeated; its reference
// digests below were computed with md5sum, sha1sum and gzip.
inline std::string DigitText(std::size_t length) {
    std::string text(length, '0');
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>('0' + i % 10);
    }
    return text;
}

struct KnownDigests {
    std::size_t length;
    const char* md5;
    const char* sha1;
    std::uint32_t crc32;
};

// Lengths around the padding boundary (55 fits padding and length into the
// last block, 56 to 64 need one more) and one of several blocks.
inline const KnownDigests kDigitTextDigests[] = {
    {55, "6E7A4FC92EB1C3F6E652425BCC8D44B5", "9F3A4CE7F66B1B74C34DA2C5D732C39F81E0F8DF", 0xF903F5D6},
    {56, "8AF270B2847610E742B0791B53648C09", "0A40B8FBDAAFB7C29651618AC15D27E772287130", 0xEBF85FBA},
    {63, "C5E256437E758092DBFE06283E489019", "984B0F2F6D78C24020F5A79D409F67AB99302891", 0x79D4F8A4},
    {64, "7F7BFD348709DEEAACE19E3F535F8C54", "CF0800F7644ACE3CB4C3FA33388D3BA0EA3C8B6E", 0xBC103D92},
    {65, "BEB9F48BC802CA5CA043BCC15E219A5A", "92DE3A8444FE6D15268F0BA810AA43BC8B3A4FFE", 0xED0BF96D},
    {1000, "427008B3FE192F663D665F56CD75716C", "F2B2F38B074C387A1415C3AFB834C7232F31B097", 0x7C858FF1},
};

// The piece sizes that split the 1000-byte text at awkward places.
inline const std::size_t kAwkwardPieces[] = {1, 63, 64, 65, 200, 607};
