#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "algorithms/DigestFind.h"
#include "algorithms/SumsFile.h"

#define MD5 L"900150983cd24fb0d6963f7d28e17f72"
#define SHA1 L"a9993e364706816aba3e25717850c26c9cd0d89d"
#define SHA256 L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
#define SHA512_1 L"ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
#define SHA512 SHA512_1 L"454d4423643ce80e2a9ac94fa54ca49f"
#define NOT L"not a sums line"

namespace {

// "blank", "comment", "armour", why a line is skipped, or "<TAG> <name>"; an
// entry's digest must be the line's own, in upper case.
std::wstring Show(const SumsLine& parsed, std::wstring_view line) {
    if (parsed.kind != SumsLineKind::Entry) {
        const wchar_t* const kinds[] = {L"blank", L"comment", L"armour"};
        return parsed.kind == SumsLineKind::Skipped ? parsed.reason : kinds[static_cast<int>(parsed.kind)];
    }
    std::wstring lower = parsed.entry.expectedHex, digits;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
    std::remove_copy(line.begin(), line.end(), std::back_inserter(digits), L' ');
    EXPECT_EQ(parsed.entry.expectedHex.size(), Digest::HexDigits(parsed.entry.algorithm));
    EXPECT_TRUE(line.empty() || digits.find(lower) != line.npos || digits.find(parsed.entry.expectedHex) != line.npos)
        << std::string(line.begin(), line.end());
    EXPECT_EQ(parsed.entry.expectedHex.find_first_of(L"abcdef"), std::wstring::npos);
    return std::wstring(Digest::Tag(parsed.entry.algorithm)) + L" " + parsed.entry.name;
}

// Reads a whole file's bytes, fed in chunks of `chunk` bytes: "<number> <shown>|"
// for each line handed on. Latin-1 stands in for the ANSI code page.
std::wstring Read(const std::string& bytes, std::size_t chunk, std::wstring_view sumsFile, SumsEncoding* encoding) {
    SumsEncodingDetector detector;
    for (std::size_t i = 0; i < bytes.size() && !detector.Decided(); i += chunk) {
        detector.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
    }
    *encoding = detector.Result();
    SumsReader reader(*encoding, sumsFile, [](std::string_view ansi) {
        std::wstring text;
        for (char c : ansi) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    });
    std::wstring shown;
    const SumsReader::Sink sink = [&](const SumsLine& line) {
        shown += std::to_wstring(line.number) + L" " + Show(line, L"") + L"|";
    };
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        reader.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i), sink);
    }
    reader.Finish(sink);
    return shown;
}

std::string Narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

std::string Utf16(std::wstring_view text, bool bigEndian = false) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        (bytes += bigEndian ? high : low) += bigEndian ? low : high;
    }
    return bytes;
}

}  // namespace

TEST(SumsFile, NamesSayWhetherAndWhoseBareDigest) {
    const struct { const wchar_t* name; bool sums; const wchar_t* sibling; } cases[] = {
        {L"C:\\dl\\x.iso.MD5", true, L"x.iso"}, {L"a.sha1", true, L"a"}, {L"a.Sha256", true, L"a"},
        {L"x.tar.sha512", true, L"x.tar"}, {L"a.md5sum", true, L"a"}, {L"a.SHA512SUM", true, L"a"},
        {L"a.sfv", true, L""}, {L"md5sums", true, L""}, {L"SHA1SUMS.TXT", true, L""}, {L"d/SHA256SUMS.txt", true, L""},
        {L"SHA512SUMS", true, L""}, {L"b2sums", true, L""}, {L"SHASUMS256.txt", true, L""},
        {L"sha512sum.txt", true, L""}, {L"tool_1.0_checksums.txt", true, L""}, {L"Fedora-39-CHECKSUM", true, L""},
        {L"CHECKSUM", true, L""}, {L"CHECKSUM.SHA512-FreeBSD-14.1-RELEASE-amd64", true, L""},
        {L"CHECKSUM.SHA256", true, L""}, {L"...sha256", true, L""}, {L".md5", true, L""}, {L"x.sha", false, L""},
        {L"MD5SUMS.bak", false, L""}, {L"CHECKSUM.txt", false, L""}, {L"a.md5.txt", false, L""},
        {L"xMD5SUMS", false, L""}, {L"sha256sum", false, L""}, {L"SHASUMS256", false, L""}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsSumsFileName(c.name), c.sums) << c.name;
        EXPECT_EQ(SumsSiblingName(c.name), c.sibling) << c.name;
    }
}

TEST(SumsFile, LinesOfEachFormatAreUnderstoodOrSkipped) {
    // A line, the sums file's name (which may name the digest), what is understood.
    const struct { const wchar_t* line; const wchar_t* file; const wchar_t* shown; } cases[] = {
        {MD5 L"  a b.txt ", L"CHECKSUM", L"MD5 a b.txt "}, {SHA1 L" *bin", L"CHECKSUM", L"SHA-1 bin"},
        {SHA256 L" one", L"CHECKSUM", L"SHA-256 one"}, {L"352441C2  x", L"CHECKSUM", L"CRC32 x"},
        {SHA512 L"  a", L"CHECKSUM.SHA512-x", L"SHA-512 a"}, {MD5 L"  a", L"CHECKSUM.SHA512-x", L"32 hex digits"},
        {L"\\" MD5 L"  x\\\\y\\nz", L"CHECKSUM", L"MD5 x\\y\nz"}, {L"\\" MD5 L"  x\\q", L"CHECKSUM", NOT},
        {L"MD5 (a (1).txt) = " MD5, L"CHECKSUM", L"MD5 a (1).txt"}, {L"SHA256 (a) = " SHA256, L"a.md5", L"SHA-256 a"},
        {L"SHA2-256(a)= " SHA256, L"CHECKSUM", L"SHA-256 a"}, {L"SHA1(a)=" SHA1, L"CHECKSUM", L"SHA-1 a"},
        {L"SHA-1 (a) = " SHA1, L"CHECKSUM", L"SHA-1 a"}, {L"SHA-256 (a) =" SHA256, L"CHECKSUM", L"SHA-256 a"},
        {L"SHA512 (a) = " SHA512, L"CHECKSUM", L"SHA-512 a"}, {L"SHA2-512(a)= " SHA512, L"CHECKSUM", L"SHA-512 a"},
        {L"crc32 (a)= 352441c2", L"a.md5", L"CRC32 a"}, {L"\\SHA256 (x\\\\y) = " SHA256, L"CHECKSUM", L"SHA-256 x\\y"},
        {L"my file.bin 352441C2", L"a.sfv", L"CRC32 my file.bin"}, {L"0badf00d 352441C2", L"a.sfv", L"CRC32 0badf00d"},
        {L"0badf00d 352441C2", L"CHECKSUM", L"CRC32 352441C2"}, {L"name " MD5, L"CHECKSUM", L"MD5 name"},
        {L"", L"CHECKSUM", L"blank"}, {L" \t", L"CHECKSUM", L"blank"}, {L"# " MD5 L"  x", L"CHECKSUM", L"comment"},
        {L"; sfv comment", L"a.sfv", L"comment"},
        // Dunmo's own lines: results and OK verdicts, escapes undone.
        {L"[SHA-256] " SHA256 L" - C:\\a<3C>b<09>", L"CHECKSUM", L"SHA-256 C:\\a<b\t"},
        {L"[MD5 OK] " MD5 L" - C:\\x - y", L"CHECKSUM", L"MD5 C:\\x - y"}, {L"[MD5 FAILED] " MD5 L" - C:\\x", L"CHECKSUM", NOT},
        {L"[CRC32] 00000000 - C:\\x", L"CHECKSUM", NOT}, {L"[MD5] " MD5 L" - C:\\a<41>", L"CHECKSUM", NOT},
        {L"[CHECK] 1 OK, 0 FAILED, 0 MISSING, 0 SKIPPED - C:\\S", L"CHECKSUM", NOT},
        // A bare digest is its sibling's, of the extension's digest.
        {MD5, L"x.iso.md5", L"MD5 x.iso"}, {SHA1, L"x.iso.MD5SUM", L"40 hex digits"}, {MD5, L"MD5SUMS", NOT},
        {L"a.txt: 90 01 50 98 3C D2 4F B0  D6 96 3F 7D 28 E1 7F 72", L"CHECKSUM", L"MD5 a.txt"},
        {L"CertUtil: -hashfile command completed successfully.", L"CHECKSUM", L"comment"},
        {L"-----BEGIN PGP SIGNATURE-----", L"CHECKSUM", L"armour"},
        // Tags Dunmo does not know, whatever the length; a digest the name says Dunmo does not know; a table.
        {L"SHA3-256(a.txt)= " SHA256, L"CHECKSUM", L"unknown digest SHA3-256"},
        {L"BLAKE2b-256 (a.txt) = " SHA256, L"a.sha256", L"unknown digest BLAKE2b-256"},
        {L"SM3 (a) = " SHA256, L"CHECKSUM", L"unknown digest SM3"}, {SHA512 L"  a", L"B2SUMS", L"unknown digest BLAKE2b"},
        {L"352441C2        3  a.txt", L"CHECKSUM", NOT},
        // Wrong lengths: for the tag, for the file's name, for every digest.
        {L"MD5 (a) = " SHA1, L"CHECKSUM", L"40 hex digits"}, {L"MD5 (a) = 352441C2", L"a.sfv", L"8 hex digits"},
        {SHA1 L"  a", L"a.md5", L"40 hex digits"}, {L"a 352441C20", L"a.sfv", L"9 hex digits"},
        {L"0123456789  a", L"CHECKSUM", L"10 hex digits"},
        // Cut short, not a line at all, garbage.
        {L"900150983cd24fb0d6", L"CHECKSUM", NOT}, {L"SHA256 (a) = ", L"CHECKSUM", NOT}, {MD5 L"  ", L"CHECKSUM", NOT},
        {L"Hash: SHA256", L"CHECKSUM", NOT}, {MD5 L"  a\x01\x02", L"CHECKSUM", NOT}, {MD5 L"  a\xFFFD", L"CHECKSUM", NOT}};
    for (const auto& c : cases) EXPECT_EQ(Show(ParseSumsLine(c.line, c.file), c.line), c.shown) << c.line;
}

TEST(SumsFile, FilesAreDecodedOnceAndSplitInAnyChunks) {
    const std::string longLine = std::string(kMaxSumsLineBytes - 35, 'n'), longName(41, 'n'), pad(67, ' ');
    const std::string hex512 = Narrow(SHA512_1), upper256 = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    const struct { std::string bytes; const wchar_t* file; SumsEncoding encoding; std::wstring shown; } cases[] = {
        {"\xEF\xBB\xBF" + Narrow(MD5 L"  a\r\n# c\r\n\r\n" SHA1 L"  b"), L"CHECKSUM", SumsEncoding::Utf8,
         L"1 MD5 a|2 comment|3 blank|4 SHA-1 b|"},
        {Narrow(MD5 L"  ") + "\xC3\xA9\xF0\x9F\x98\x80\n", L"CHECKSUM", SumsEncoding::Utf8, L"1 MD5 \xE9\U0001F600|"},
        {Narrow(MD5 L"  ") + "\xE9\n" + Narrow(MD5 L"  \xC3\xA9"), L"CHECKSUM", SumsEncoding::Ansi,
         L"1 MD5 \xE9|2 MD5 \xC3\xA9|"},
        {Utf16(MD5 L"  \x4E2D\r\n352441C2  b\n"), L"CHECKSUM", SumsEncoding::Utf16Le, L"1 MD5 \x4E2D|2 CRC32 b|"},
        {Utf16(MD5 L"  \x4E2D\r\n", true), L"CHECKSUM", SumsEncoding::Utf16Be, L"1 MD5 \x4E2D|"},
        {Utf16(L"352441C2  \x0A0A") + "\x0A", L"CHECKSUM", SumsEncoding::Utf16Le, L"1 " NOT L"|"},  // half a unit
        {"\xFF\xFE", L"CHECKSUM", SumsEncoding::Utf16Le, L"1 blank|"},
        {Narrow(MD5 L"  ") + longLine + "\r\n" + Narrow(MD5 L"  ") + longLine + "nn\n" + longLine + longLine +
             Narrow(L"\n" SHA1 L"  c\n"),
         L"CHECKSUM", SumsEncoding::Utf8,
         L"1 MD5 " + std::wstring(longLine.begin(), longLine.end()) + L"|2 " NOT L"|3 " NOT L"|4 SHA-1 c|"},
        {std::string("\x7F" "ELF\n\x01\x00\x8F\xFE", 9) + Narrow(L"\n352441C2  x\n900150983c"), L"CHECKSUM",
         SumsEncoding::Ansi, L"1 " NOT L"|2 " NOT L"|3 CRC32 x|4 " NOT L"|"},
        // One row per layout of several lines.
        {Narrow(MD5 L"\r\n"), L"x.iso.md5", SumsEncoding::Utf8, L"1 MD5 x.iso|"},
        {Narrow(MD5 L"\n\n"), L"x.iso.md5", SumsEncoding::Utf8, L"1 " NOT L"|2 blank|"},
        {Narrow(std::wstring_view(MD5 L"  a\0" SHA1 L"  b\nc\0", 82)), L"CHECKSUM", SumsEncoding::Utf8, L"1 MD5 a|2 SHA-1 b\nc|"},
        {"-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA256\n\n" + Narrow(MD5) + "  a\n- -rf 352441C2\n"
         "-----BEGIN PGP SIGNATURE-----\niQEz\n-----END PGP SIGNATURE-----\n",
         L"CHECKSUM", SumsEncoding::Utf8, L"1 armour|2 armour|3 armour|4 MD5 a|5 CRC32 -rf|6 armour|7 armour|8 armour|"},
        {"a.txt: BA7816BF 8F01CFEA 414140DE 5DAE2223 B00361A3 96177A9C B410FF61\n       F20015AD\n" + longName +
             ": \nA999 3E36 4706 816A BA3E  2571 7850 C26C 9CD0 D89D\n"
             "b:    MD5 = 90 01 50 98 3C D2 4F B0  D6 96 3F 7D 28 E1 7F 72\n"
             "b: RMD160 = 8EB2 08F7 E05D 987A 9B04  4A8E 98C6 B087 F15A 0BFC\n",
         L"CHECKSUM", SumsEncoding::Utf8,
         L"1 SHA-256 a.txt|3 SHA-1 " + std::wstring(longName.begin(), longName.end()) +
             L"|5 MD5 b|6 unknown digest RMD160|"},
        {"SHA256 hash of C:\\dl\\x.iso:\r\n" + Narrow(SHA256) + "\r\nCertUtil: -hashfile command completed successfully."
         "\r\nMD5 hash of file a b:\r\n90 01 50 98 3c d2 4f b0 d6 96 3f 7d 28 e1 7f 72\r\nSHA384 hash of y:\r\nab\r\n",
         L"CHECKSUM", SumsEncoding::Utf8, L"1 SHA-256 C:\\dl\\x.iso|3 comment|4 MD5 a b|6 unknown digest SHA384|"},
        {Utf16(L"\r\nAlgorithm : SHA512\r\nHash      : " SHA512_1 L"\r\n            454D4423643CE80E2A9AC94FA54CA49F"
               L"\r\nPath      : C:\\dl\\x.iso\r\n\r\n"),
         L"CHECKSUM", SumsEncoding::Utf16Le, L"1 blank|2 SHA-512 C:\\dl\\x.iso|6 blank|"},
        {"\nAlgorithm       Hash" + pad + "Path\n---------       ----" + pad + "----\nSHA256          " + upper256 +
             "       C:\\dl\\x.iso\nSHA256          " + upper256 + "       C:\\dl\\lo...\n\n",
         L"CHECKSUM", SumsEncoding::Utf8, L"1 blank|4 SHA-256 C:\\dl\\x.iso|5 " NOT L"|6 blank|"}};
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, c.bytes.size()}) {
            SumsEncoding encoding;
            EXPECT_EQ(Read(c.bytes, chunk, c.file, &encoding), c.shown) << "chunk " << chunk;
            EXPECT_EQ(encoding, c.encoding) << "chunk " << chunk;
        }
    }
}

TEST(SumsFile, EntryNamesArePlacedAsText) {
    const struct { const wchar_t* sums; const wchar_t* name; const wchar_t* path; bool device; } cases[] = {
        {L"C:\\dl\\SUMS", L"a/b.iso", L"C:\\dl\\a\\b.iso", false},
        {L"C:\\dl\\SUMS", L"./x/../../y. ", L"C:\\y. ", false},
        {L"C:\\dl\\SUMS", L"..\\..\\..\\z", L"C:\\z", false}, {L"C:\\dl\\SUMS", L"/etc//f", L"C:\\etc\\f", false},
        {L"C:\\dl\\SUMS", L"D:\\e\\.\\f", L"D:\\e\\f", false}, {L"C:\\dl\\SUMS", L"..", L"C:\\", false},
        {L"\\\\srv\\sh\\d\\SUMS", L"\\x", L"\\\\srv\\sh\\x", false},
        {L"\\\\srv\\sh\\SUMS", L"../../x", L"\\\\srv\\sh\\x", false},
        {L"C:\\dl\\SUMS", L"//./PhysicalDrive0", L"\\\\.\\PhysicalDrive0", true},
        {L"C:\\dl\\SUMS", L"\\\\?\\C:\\x", L"\\\\?\\C:\\x", true}, {L"C:\\dl\\SUMS", L"NUL", L"C:\\dl\\NUL", false}};
    for (const auto& c : cases) {
        const SumsEntryPath resolved = ResolveSumsEntry(c.sums, c.name);
        EXPECT_EQ(resolved.path, c.path) << c.name;
        EXPECT_EQ(resolved.device, c.device) << c.name;
    }
}

TEST(SumsFile, VerdictAndTallyLines) {
    EXPECT_EQ(SumsVerdictLine(DigestSha256, SumsVerdict::Failed, L"AB", L"C:\\x"), L"[SHA-256 FAILED] AB - C:\\x\r\n");
    EXPECT_EQ(SumsVerdictLine(DigestCrc32, SumsVerdict::Missing, L"00000000", L"y"),
              L"[CRC32 MISSING] 00000000 - y\r\n");
    SumsTally tally;
    for (SumsVerdict v : {SumsVerdict::Ok, SumsVerdict::Ok, SumsVerdict::Failed, SumsVerdict::Missing}) tally.Count(v);
    SumsLine skipped, armour;
    skipped.reason = L"9 hex digits";
    skipped.number = 7;
    armour.kind = SumsLineKind::Armour;
    for (int i = 0; i < 2; ++i) tally.Note(skipped);
    EXPECT_EQ(SumsTallyLines(tally, L"C:\\S"), L"[SKIPPED] 9 hex digits - C:\\S:7\r\n[SKIPPED] 9 hex digits - C:\\S:7\r\n"
                                               L"[CHECK] 2 OK, 1 FAILED, 1 MISSING, 2 SKIPPED - C:\\S\r\n");
    // Nothing checked, more skipped than are shown, a signed list.
    SumsTally none;
    none.Note(armour);
    for (std::size_t i = 0; i < kMaxShownSkips + 2; ++i) none.Note(skipped);
    const std::wstring lines = SumsTallyLines(none, L"C:\\S");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L'\n'), static_cast<std::ptrdiff_t>(kMaxShownSkips + 2));
    EXPECT_EQ(lines.substr(lines.find(L"[SKIPPED] 2")), L"[SKIPPED] 2 more - C:\\S\r\n[CHECK] NOTHING CHECKED, 22 "
                                                      L"SKIPPED, SIGNATURE NOT VERIFIED - C:\\S\r\n");
}

TEST(DigestFind, FindsResultAndVerdictLinesRoundTheText) {
    for (const wchar_t* text : {L"352441c2", L" " MD5 L"\t", SHA1, SHA256}) EXPECT_TRUE(IsDigestText(text)) << text;
    for (const wchar_t* text : {L"", L"352441c", L"352441c2a", L"352441g2", L"3524 41c2", MD5 L"0"}) {
        EXPECT_FALSE(IsDigestText(text)) << text;
    }
    const std::wstring_view lines[] = {L"[CHECK] 352441C2",  L"[MD5] " MD5 L" - a",     L"[CRC32] 352441C2 - b",
                                       L"[SHA-256] 352441C2AA - c", L"[CRC32X] 352441C2 - d", L"[CRC32 OK] 352441c2 - e"};
    const auto find = [&](std::wstring_view digest, std::size_t first) {
        return FindDigestLine(std::size(lines), first, digest, [&](std::size_t i) { return lines[i]; });
    };
    // Digest, first line searched, line found: tally lines and near tags are passed over.
    const struct { std::wstring_view digest; std::size_t first, found; } cases[] = {
        {L" 352441c2 ", 0, 2}, {L"352441C2", 3, 5}, {L"352441C2", 6, 2}, {MD5, 6, 1},
        {L"900150983CD24FB0D6963F7D28E17F72", 2, 1}};
    for (const auto& c : cases) EXPECT_EQ(find(c.digest, c.first), std::optional<std::size_t>(c.found)) << c.first;
    EXPECT_FALSE(find(L"352441C3", 0));
}
