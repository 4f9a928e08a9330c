// Throughput of the digests (each path this processor has) and Base64 beside
// OpenSSL and zlib, same buffer, same pieces, same run.
#include <openssl/evp.h>

#include "../BenchCommon.h"
#include "PathRows.h"

namespace {

std::string OpenSslDigest(const EVP_MD* md, const std::vector<std::uint8_t>& buffer,
                          std::size_t piece = bench::kPiece) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, md, nullptr);
    for (std::size_t i = 0; i < buffer.size(); i += piece) {
        EVP_DigestUpdate(context, buffer.data() + i, piece);
    }
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    return bench::Hex(digest, size);
}

}  // namespace

int main() {
    using namespace bench;
    const std::vector<std::uint8_t> buffer = MakeBuffer();
    const Base64Pieces pieces = MakeBase64Pieces(buffer);
    PrintHeader("OpenSSL / zlib");

    std::string ours, theirs;
    double a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurMd5(buffer); });
    double b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = OpenSslDigest(EVP_md5(), buffer); });
    PrintRow("MD5", a, "OpenSSL MD5", b, ours == theirs);

    b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = OpenSslDigest(EVP_sha1(), buffer); });
    for (const PathName<Sha1Path>& path : kSha1Paths) {
        if (Sha1UsePath(path.path)) {
            a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurSha1(buffer); });
            PrintRow(path.name, a, "OpenSSL SHA-1", b, ours == theirs);
        }
    }
    Sha1UsePath(Sha1Path::Fastest);

    b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = OpenSslDigest(EVP_sha256(), buffer); });
    for (const PathName<Sha256Path>& path : kSha256Paths) {
        if (Sha256UsePath(path.path)) {
            a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurSha256(buffer); });
            PrintRow(path.name, a, "OpenSSL SHA-256", b, ours == theirs);
        }
    }
    Sha256UsePath(Sha256Path::Fastest);

    b = BestMegabytesPerSecond(kBufferSize, [&] { theirs = OpenSslDigest(EVP_sha512(), buffer, kSha512Piece); });
    for (const PathName<Sha512Path>& path : kSha512Paths) {
        if (Sha512UsePath(path.path)) {
            a = BestMegabytesPerSecond(kBufferSize, [&] { ours = OurSha512(buffer); });
            PrintRow(path.name, a, "OpenSSL SHA-512", b, ours == theirs);
        }
    }
    Sha512UsePath(Sha512Path::Fastest);
    CompareCrc32PathsWithZlib(buffer);

    std::vector<char> text(kPiece / 3 * 4 + 8);
    std::uint32_t sumOurs = 0, sumTheirs = 0;
    a = BestMegabytesPerSecond(kBufferSize, [&] {
        sumOurs = EncodePieces(buffer, text, [](const std::uint8_t* in, int n, char* out) {
            return Base64Encode(in, n, out);
        });
    });
    b = BestMegabytesPerSecond(kBufferSize, [&] {
        sumTheirs = EncodePieces(buffer, text, [](const std::uint8_t* in, int n, char* out) {
            return EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out), in, n);
        });
    });
    PrintRow("Base64 encode (input)", a, "OpenSSL EVP_EncodeBlock", b, sumOurs == sumTheirs);

    std::vector<std::uint8_t> bytes(kPiece);
    a = BestMegabytesPerSecond(kBufferSize, [&] {
        sumOurs = DecodePieces(pieces, bytes, [](const char* in, std::uint8_t* out) {
            return Base64Decode(in, out);
        });
    });
    b = BestMegabytesPerSecond(kBufferSize, [&] {
        sumTheirs = DecodePieces(pieces, bytes, [](const char* in, std::uint8_t* out) {
            // Whole groups without padding: the strict decoder gives the same bytes.
            return EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(in),
                                   static_cast<int>(kPiece));
        });
    });
    PrintRow("Base64 decode (text)", a, "OpenSSL EVP_DecodeBlock", b, sumOurs == sumTheirs);
    CompareLanePaths(buffer);
    return 0;
}
