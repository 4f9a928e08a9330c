// libFuzzer target for the sums-file reader. The first byte picks the sums
// file's name and a chunk size; the rest is the file. It checks that the lines
// do not depend on the chunking, that entries hold upper-case hex of their
// digest's length and are never placed above their root, and that an entry
// written back as a verdict line, and as a tagged line, is read as itself.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "algorithms/SumsFile.h"

namespace {

const wchar_t* const kSumsFiles[] = {L"C:\\d\\SHA256SUMS", L"C:\\d\\x.iso.sha512", L"C:\\d\\a.sfv",
                                     L"C:\\d\\CHECKSUM", L"C:\\d\\B2SUMS", L"\\\\srv\\sh\\d\\list.md5"};

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

std::wstring Read(const std::uint8_t* data, std::size_t size, std::size_t chunk, const wchar_t* sumsFile,
                  std::vector<SumsEntry>* entries) {
    SumsEncodingDetector detector;
    for (std::size_t i = 0; i < size && !detector.Decided(); i += chunk) detector.Feed(data + i, std::min(chunk, size - i));
    SumsReader reader(detector.Result(), sumsFile, [](std::string_view bytes) {
        std::wstring text;  // Latin-1 stands in for the ANSI code page
        for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    });
    std::wstring shown;
    const SumsReader::Sink sink = [&](const SumsLine& line) {
        shown += std::to_wstring(static_cast<int>(line.kind)) + L" " + std::to_wstring(line.number) + L" " +
                 line.reason + L" " + Digest::Tag(line.entry.algorithm) + L" " + line.entry.expectedHex + L" " +
                 line.entry.name + L"\n";
        if (entries != nullptr && line.kind == SumsLineKind::Entry) entries->push_back(line.entry);
    };
    for (std::size_t i = 0; i < size; i += chunk) reader.Feed(data + i, std::min(chunk, size - i), sink);
    reader.Finish(sink);
    return shown;
}

bool ReadsAs(const std::wstring& line, const SumsEntry& entry) {
    const SumsLine again = ParseSumsLine(line, L"C:\\d\\SUMS");
    return again.kind == SumsLineKind::Entry && again.entry.algorithm == entry.algorithm &&
           again.entry.expectedHex == entry.expectedHex && again.entry.name == entry.name;
}

void CheckEntry(const SumsEntry& entry, const wchar_t* sumsFile) {
    Require(entry.expectedHex.size() == Digest::HexDigits(entry.algorithm) &&
                entry.expectedHex.find_first_not_of(L"0123456789ABCDEF") == std::wstring::npos,
            "upper-case hex of the digest's length");

    const SumsEntryPath where = ResolveSumsEntry(sumsFile, entry.name);
    if (!where.device) {
        // Past the root ("C:" or "\\server\share"), no "." or ".." is left.
        std::size_t at = 2;
        if (where.path.compare(0, 2, L"\\\\") == 0) {
            for (int i = 0; i < 2 && at != std::wstring::npos; ++i) at = where.path.find(L'\\', at + (i > 0));
        }
        const std::wstring rest = at == std::wstring::npos ? L"" : where.path.substr(at) + L"\\";
        Require(rest.find(L"\\.\\") == std::wstring::npos && rest.find(L"\\..\\") == std::wstring::npos,
                "resolved within the root");
    }

    // As a verdict line, "<XX>" escaped (its all-zero digests mean "not read").
    std::wstring escaped;
    for (wchar_t c : entry.name) {
        const wchar_t hex[] = L"0123456789ABCDEF";
        escaped += c < 0x20 || c == 0x7F || c == L'<' ? std::wstring{L'<', hex[c >> 4], hex[c & 0xF], L'>'}
                                                      : std::wstring(1, c);
    }
    std::wstring line = SumsVerdictLine(entry.algorithm, SumsVerdict::Ok, entry.expectedHex, escaped);
    line.resize(line.size() - 2);
    Require(entry.expectedHex.find_first_not_of(L'0') == std::wstring::npos || ReadsAs(line, entry),
            "a verdict line reads as its entry");

    // As a tagged line, "\"-escaped, where the name's characters allow it.
    std::wstring name;
    for (wchar_t c : entry.name) {
        if (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') return;
        name += c == L'\\' ? L"\\\\" : c == L'\n' ? L"\\n" : c == L'\r' ? L"\\r" : std::wstring(1, c);
    }
    const bool escapes = name != entry.name;
    line = (escapes ? L"\\" : L"") + std::wstring(Digest::Tag(entry.algorithm)) + L" (" + name + L") = " +
           entry.expectedHex;
    Require(ReadsAs(line, entry), "a tagged line reads as its entry");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t count = sizeof(kSumsFiles) / sizeof(kSumsFiles[0]);
    const wchar_t* const sumsFile = kSumsFiles[data[0] % count];
    const std::size_t chunk = data[0] / count % 7 + 1;
    ++data;
    --size;
    std::vector<SumsEntry> entries;
    const std::wstring whole = Read(data, size, size + 1, sumsFile, &entries);
    Require(Read(data, size, chunk, sumsFile, nullptr) == whole, "the same lines whatever the chunking");
    for (const SumsEntry& entry : entries) CheckEntry(entry, sumsFile);
    return 0;
}
