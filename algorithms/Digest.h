#pragma once
// The one place that knows the digests: which there are, how each is fed, and
// how its result is written. A digest is added here and in the dialog's radio
// table, nowhere else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"
#include "algorithms/Sha256.h"
#include "algorithms/Sha512.h"

// The selected digest, in the order of the dialog's radio buttons.
enum DigestAlgorithm : std::int32_t {
    DigestMd5 = 0,
    DigestSha1 = 1,
    DigestCrc32 = 2,
    DigestSha256 = 3,
    DigestSha512 = 4
};
constexpr std::int32_t kDigestCount = 5;

class Digest {
public:
    explicit Digest(DigestAlgorithm algorithm = DigestMd5) { Init(algorithm); }

    // Starts a new digest, of `algorithm` or of the same one as before.
    void Init(DigestAlgorithm algorithm);
    void Init() { Init(algorithm); }
    void Update(const void* bytes, std::uint32_t length);
    // The digest of what was fed so far, in upper-case hex, or as many zeros
    // when !ok (a file not read whole). Feeding may go on afterwards.
    std::wstring Hex(bool ok) const;
    // "[TAG] HEX", the start of a result line.
    std::wstring TaggedHex(bool ok) const;
    DigestAlgorithm Algorithm() const { return algorithm; }

    // "MD5", "SHA-1", "CRC32", "SHA-256" or "SHA-512".
    static const wchar_t* Tag(DigestAlgorithm algorithm);
    // Hex digits of a digest: 32, 40, 8, 64 or 128.
    static std::size_t HexDigits(DigestAlgorithm algorithm);

    // Feeds each of `count` digests of one algorithm its own bytes, with the
    // results of digests[i]->Update(bytes[i], lengths[i]) for each i, while
    // whole blocks of several of them are hashed at once where the processor
    // allows: for a hasher holding a piece of each of several files.
    static void UpdateLanes(Digest* const digests[], const std::uint8_t* const bytes[],
                            const std::uint32_t lengths[], std::size_t count);
    // How many digests of `algorithm` UpdateLanes hashes at once: as many
    // files as are worth feeding it together (1 where lanes do not pay).
    static std::size_t Lanes(DigestAlgorithm algorithm);

private:
    // Ends this digest, which Hex does to a copy.
    std::wstring End(bool ok);

    DigestAlgorithm algorithm = DigestMd5;
    union {
        Md5Context md5;
        Sha1Context sha1;
        Sha256Context sha256;
        Sha512Context sha512;
        std::uint32_t crc;
    } state{};
};

// Upper-case hex text of `count` bytes, high nibble first.
std::wstring BytesToHex(const std::uint8_t* bytes, std::size_t count);
