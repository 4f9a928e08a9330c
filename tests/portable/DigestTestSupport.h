#pragma once
// Helpers shared by the digest tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "algorithms/Crc32.h"
#include "algorithms/Md5.h"
#include "algorithms/Sha1.h"

// Upper-case hexadecimal, as result lines show digests.
inline std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += "0123456789ABCDEF"[bytes[i] >> 4];
        text += "0123456789ABCDEF"[bytes[i] & 15];
    }
    return text;
}

// The first `length` characters of "0123456789" repeated; its reference
// digests below were computed with md5sum, sha1sum and gzip.
inline std::string DigitText(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char>('0' + i % 10);
    }
    return text;
}

// Lengths around the padding boundary (55 fits padding and length into the
// last block, 56 to 64 need one more) and one of several blocks (kept last).
struct KnownDigests {
    std::size_t length;
    const char* md5;
    const char* sha1;
    const char* crc32;
};
inline const KnownDigests kDigitTextDigests[] = {
    {55, "6E7A4FC92EB1C3F6E652425BCC8D44B5", "9F3A4CE7F66B1B74C34DA2C5D732C39F81E0F8DF", "F903F5D6"},
    {56, "8AF270B2847610E742B0791B53648C09", "0A40B8FBDAAFB7C29651618AC15D27E772287130", "EBF85FBA"},
    {63, "C5E256437E758092DBFE06283E489019", "984B0F2F6D78C24020F5A79D409F67AB99302891", "79D4F8A4"},
    {64, "7F7BFD348709DEEAACE19E3F535F8C54", "CF0800F7644ACE3CB4C3FA33388D3BA0EA3C8B6E", "BC103D92"},
    {65, "BEB9F48BC802CA5CA043BCC15E219A5A", "92DE3A8444FE6D15268F0BA810AA43BC8B3A4FFE", "ED0BF96D"},
    {1000, "427008B3FE192F663D665F56CD75716C", "F2B2F38B074C387A1415C3AFB834C7232F31B097", "7C858FF1"},
};

// The three checksums behind one interface, so that their tests share one body.
template <typename C, std::size_t N, typename Length, void (*InitFn)(C&),
          void (*UpdateFn)(C&, const void*, Length), void (*FinalFn)(C&, std::uint8_t*)>
struct DigestOf {
    using Context = C;
    static void Init(C& context) { InitFn(context); }
    static void Update(C& context, const void* bytes, std::size_t length) {
        UpdateFn(context, bytes, static_cast<Length>(length));
    }
    static std::string FinalHex(C& context) {
        std::uint8_t digest[N];
        FinalFn(context, digest);
        return Hex(digest, N);
    }
};
using Md5Digest = DigestOf<Md5Context, 16, std::int32_t, Md5Init, Md5Update, Md5Final>;
using Sha1Digest = DigestOf<Sha1Context, 20, std::uint32_t, Sha1Init, Sha1Update, Sha1Final>;

struct Crc32Digest {
    using Context = std::uint32_t;
    static void Init(Context& crc) { crc = 0; }
    static void Update(Context& crc, const void* bytes, std::size_t length) {
        crc = Crc32Update(crc, bytes, static_cast<std::uint32_t>(length));
    }
    static std::string FinalHex(Context& crc) {
        char text[9];
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
        return text;
    }
};

// The digest of `length` bytes fed as the given pieces (each cut to what is
// left, empty ones included), then the rest in one piece.
template <typename Digest>
std::string DigestHex(const void* bytes, std::size_t length, const std::vector<std::size_t>& pieces = {}) {
    typename Digest::Context context;
    Digest::Init(context);
    std::size_t done = 0;
    for (const std::size_t piece : pieces) {
        Digest::Update(context, static_cast<const char*>(bytes) + done, std::min(piece, length - done));
        done += std::min(piece, length - done);
    }
    Digest::Update(context, static_cast<const char*>(bytes) + done, length - done);
    return Digest::FinalHex(context);
}

// The standard messages, then the digit texts, give their known digests.
template <typename Digest>
void ExpectKnownDigests(const std::vector<std::pair<std::string, const char*>>& standard,
                        const char* KnownDigests::*field) {
    for (const auto& [text, digest] : standard) {
        EXPECT_EQ(DigestHex<Digest>(text.data(), text.size()), digest) << text.substr(0, 64);
    }
    for (const KnownDigests& known : kDigitTextDigests) {
        const std::string text = DigitText(known.length);
        EXPECT_EQ(DigestHex<Digest>(text.data(), text.size()), known.*field) << known.length << " bytes";
    }
}

// The 1000-byte digit text gives its known digest however it is cut: in
// pieces that straddle blocks (they add up to 1000), in two at every point,
// and whole from every start alignment (whole blocks are read in place).
template <typename Digest>
void ExpectSplitAnywhereGivesOneDigest(const char* KnownDigests::*field) {
    const std::string text = DigitText(1000), expected = std::end(kDigitTextDigests)[-1].*field;
    EXPECT_EQ(DigestHex<Digest>(text.data(), text.size(), {1, 63, 64, 65, 200, 607}), expected);
    for (std::size_t split = 0; split <= text.size(); ++split) {
        ASSERT_EQ(DigestHex<Digest>(text.data(), text.size(), {split}), expected) << "split at " << split;
    }
    std::vector<char> shifted(text.size() + 3);
    for (std::size_t shift = 1; shift <= 3; ++shift) {
        std::memcpy(shifted.data() + shift, text.data(), text.size());
        EXPECT_EQ(DigestHex<Digest>(shifted.data() + shift, text.size()), expected) << "shift " << shift;
    }
}

// A piece shorter than the room left in the buffer, or an empty one, is only
// copied; the piece that fills the buffer compresses it at once.
template <typename Digest>
void ExpectCompressionExactlyWhenTheBufferFills() {
    const std::string text = DigitText(64);
    typename Digest::Context whole{}, pieces{};
    Digest::Init(whole);
    Digest::Update(whole, text.data(), 64);
    Digest::Init(pieces);
    const typename Digest::Context initial = pieces;
    Digest::Update(pieces, text.data(), 10);
    Digest::Update(pieces, nullptr, 0);
    Digest::Update(pieces, text.data() + 10, 53);
    EXPECT_EQ(std::memcmp(pieces.state, initial.state, sizeof initial.state), 0);
    EXPECT_EQ(std::memcmp(pieces.buffer, text.data(), 63), 0);
    Digest::Update(pieces, text.data() + 63, 1);
    EXPECT_EQ(std::memcmp(pieces.count, whole.count, sizeof whole.count), 0);
    EXPECT_EQ(std::memcmp(pieces.state, whole.state, sizeof whole.state), 0);
}
