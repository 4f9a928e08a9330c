// Throughput of the digests (each path this processor has) and Base64 as an
// i686 program, beside zlib's crc32 and the platform's own MD5, SHA-1,
// SHA-256, SHA-512 (CryptoAPI) and Base64 (crypt32).
//
//   bench_algorithms           the table
//   bench_algorithms kernels   only the digests' own paths, as lines for
//                              bench/compare.sh (bench/native/PathRows.h)
#include <windows.h>
#include <wincrypt.h>

#include "../BenchCommon.h"
#include "algorithms/Cpu.h"
#include "../native/PathRows.h"

namespace {

// One CryptoAPI hash over the buffer in pieces of `piece` bytes; empty on failure.
std::string CryptoApiDigest(HCRYPTPROV provider, ALG_ID algorithm, const std::vector<std::uint8_t>& buffer,
                            std::size_t piece = bench::kPiece) {
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, algorithm, 0, 0, &hash)) {
        return std::string();
    }
    bool ok = true;
    for (std::size_t i = 0; ok && i < buffer.size(); i += piece) {
        ok = CryptHashData(hash, buffer.data() + i, static_cast<DWORD>(piece), 0) != FALSE;
    }
    BYTE digest[64];
    DWORD size = sizeof digest;
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    CryptDestroyHash(hash);
    return ok ? bench::Hex(digest, size) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace bench;
    if (argc > 1 && std::strcmp(argv[1], "kernels") == 0) {
        const CpuFeatures& cpu = DetectedCpu();
        std::printf("build %s sse2=%d ssse3=%d avx2=%d sha=%d pclmul=%d vpclmul256=%d avx512=%d vpclmul512=%d\n",
                    sizeof(void*) == 8 ? "x86_64" : "i686", cpu.sse2, cpu.ssse3, cpu.avx2, cpu.sha, cpu.pclmul,
                    cpu.vpclmul256, cpu.avx512, cpu.vpclmul512);
        PrintKernelRates(MakeBuffer());
        return 0;
    }
    HCRYPTPROV provider = 0;
    // The AES provider is the one that also offers SHA-256 and SHA-512.
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        std::printf("CryptAcquireContextW failed: %lu\n", GetLastError());
        return 1;
    }
    const std::vector<std::uint8_t> buffer = MakeBuffer();
    const Base64Pieces pieces = MakeBase64Pieces(buffer);
    PrintHeader("CryptoAPI / zlib / crypt32");

    std::string ours, theirs;
    double a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurMd5(buffer); });
    double b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = CryptoApiDigest(provider, CALG_MD5, buffer); });
    PrintRow("MD5", a, "CryptoAPI CALG_MD5", b, ours == theirs);

    b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = CryptoApiDigest(provider, CALG_SHA1, buffer); });
    for (const PathName<Sha1Path>& path : kSha1Paths) {
        if (Sha1UsePath(path.path)) {
            a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurSha1(buffer); });
            PrintRow(path.name, a, "CryptoAPI CALG_SHA1", b, ours == theirs);
        }
    }
    Sha1UsePath(Sha1Path::Fastest);

    b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = CryptoApiDigest(provider, CALG_SHA_256, buffer); });
    for (const PathName<Sha256Path>& path : kSha256Paths) {
        if (Sha256UsePath(path.path)) {
            a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurSha256(buffer); });
            PrintRow(path.name, a, "CryptoAPI CALG_SHA_256", b, ours == theirs);
        }
    }
    Sha256UsePath(Sha256Path::Fastest);

    b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = CryptoApiDigest(provider, CALG_SHA_512, buffer, kSha512Piece); });
    for (const PathName<Sha512Path>& path : kSha512Paths) {
        if (Sha512UsePath(path.path)) {
            a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurSha512(buffer); });
            PrintRow(path.name, a, "CryptoAPI CALG_SHA_512", b, ours == theirs);
        }
    }
    Sha512UsePath(Sha512Path::Fastest);
    CryptReleaseContext(provider, 0);

    CompareCrc32PathsWithZlib(buffer);

    // crypt32 writes a terminator, so its buffer holds one more character.
    std::vector<char> text(kPiece / 3 * 4 + 8);
    std::uint32_t sumOurs = 0, sumTheirs = 0;
    a = BestMegabytesPerSecond(kBufferSize, [&] {
        sumOurs = EncodePieces(buffer, text, [](const std::uint8_t* in, int n, char* out) {
            return Base64Encode(in, n, out);
        });
    });
    b = BestMegabytesPerSecond(kBufferSize, [&] {
        sumTheirs = EncodePieces(buffer, text, [](const std::uint8_t* in, int n, char* out) {
            DWORD size = kPiece / 3 * 4 + 8;
            if (!CryptBinaryToStringA(in, static_cast<DWORD>(n), CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                                      out, &size)) {
                return -1;
            }
            return static_cast<int>(size);
        });
    });
    PrintRow("Base64 encode (input)", a, "CryptBinaryToStringA", b, sumOurs == sumTheirs);

    std::vector<std::uint8_t> bytes(kPiece);
    a = BestMegabytesPerSecond(kBufferSize, [&] {
        sumOurs = DecodePieces(pieces, bytes, [](const char* in, std::uint8_t* out) {
            return Base64Decode(in, out);
        });
    });
    b = BestMegabytesPerSecond(kBufferSize, [&] {
        sumTheirs = DecodePieces(pieces, bytes, [](const char* in, std::uint8_t* out) {
            DWORD size = kPiece;
            if (!CryptStringToBinaryA(in, static_cast<DWORD>(kPiece), CRYPT_STRING_BASE64, out, &size,
                                      nullptr, nullptr)) {
                return -1;
            }
            return static_cast<int>(size);
        });
    });
    PrintRow("Base64 decode (text)", a, "CryptStringToBinaryA", b, sumOurs == sumTheirs);
    CompareLanePaths(buffer);
    return 0;
}
