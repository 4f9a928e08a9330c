#include "algorithms/Digest.h"

#include <type_traits>
#include <vector>

#include "algorithms/Crc32.h"

namespace {
struct Kind {
    const wchar_t* tag;
    std::size_t bytes;
};
// Indexed by DigestAlgorithm.
constexpr Kind kKinds[kDigestCount] = {{L"MD5", 16}, {L"SHA-1", 20}, {L"CRC32", 4}, {L"SHA-256", 32}, {L"SHA-512", 64}};
}  // namespace

void Digest::Init(DigestAlgorithm selected) {
    algorithm = selected;
    switch (algorithm) {
    case DigestMd5: Md5Init(state.md5); break;
    case DigestSha1: Sha1Init(state.sha1); break;
    case DigestCrc32: state.crc = 0; break;
    case DigestSha256: Sha256Init(state.sha256); break;
    case DigestSha512: Sha512Init(state.sha512); break;
    }
}

void Digest::Update(const void* bytes, std::uint32_t length) {
    switch (algorithm) {
    case DigestMd5:
        // MD5 takes signed lengths; feed it in halves it can hold.
        while (length > 0x40000000u) {
            Md5Update(state.md5, bytes, 0x40000000);
            bytes = static_cast<const std::uint8_t*>(bytes) + 0x40000000u;
            length -= 0x40000000u;
        }
        Md5Update(state.md5, bytes, static_cast<std::int32_t>(length));
        break;
    case DigestSha1: Sha1Update(state.sha1, bytes, length); break;
    case DigestCrc32: state.crc = Crc32Update(state.crc, bytes, length); break;
    case DigestSha256: Sha256Update(state.sha256, bytes, length); break;
    case DigestSha512: Sha512Update(state.sha512, bytes, length); break;
    }
}

std::wstring Digest::Hex(bool ok) const { return Digest(*this).End(ok); }

std::wstring Digest::End(bool ok) {
    std::uint8_t bytes[64] = {};  // the longest digest
    if (ok) {
        switch (algorithm) {
        case DigestMd5: Md5Final(state.md5, bytes); break;
        case DigestSha1: Sha1Final(state.sha1, bytes); break;
        case DigestCrc32:
            for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(state.crc >> (24 - 8 * i));
            break;
        case DigestSha256: Sha256Final(state.sha256, bytes); break;
        case DigestSha512: Sha512Final(state.sha512, bytes); break;
        }
    }
    return BytesToHex(bytes, kKinds[algorithm].bytes);
}

std::wstring Digest::TaggedHex(bool ok) const {
    std::wstring text = L"[";
    text += Tag(algorithm);
    text += L"] ";
    text += Hex(ok);
    return text;
}

const wchar_t* Digest::Tag(DigestAlgorithm algorithm) { return kKinds[algorithm].tag; }

std::size_t Digest::HexDigits(DigestAlgorithm algorithm) { return 2 * kKinds[algorithm].bytes; }

void Digest::UpdateLanes(Digest* const digests[], const std::uint8_t* const bytes[],
                         const std::uint32_t lengths[], std::size_t count) {
    // The digests' contexts, for the algorithm's own lanes.
    const auto lanes = [&](auto context, auto update) {
        using Context = std::remove_pointer_t<decltype(context(digests[0]))>;
        Context* onStack[16];
        std::vector<Context*> onHeap(count > 16 ? count : 0);
        Context** const contexts = count > 16 ? onHeap.data() : onStack;
        for (std::size_t i = 0; i < count; ++i) contexts[i] = context(digests[i]);
        update(contexts, bytes, lengths, count);
    };
    switch (count == 0 ? DigestCrc32 : digests[0]->algorithm) {
    case DigestMd5: lanes([](Digest* d) { return &d->state.md5; }, Md5UpdateLanes); break;
    case DigestSha1: lanes([](Digest* d) { return &d->state.sha1; }, Sha1UpdateLanes); break;
    case DigestSha256: lanes([](Digest* d) { return &d->state.sha256; }, Sha256UpdateLanes); break;
    case DigestSha512: lanes([](Digest* d) { return &d->state.sha512; }, Sha512UpdateLanes); break;
    default:
        for (std::size_t i = 0; i < count; ++i) digests[i]->Update(bytes[i], lengths[i]);
    }
}

std::size_t Digest::Lanes(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestMd5: return Md5Lanes();
    case DigestSha1: return Sha1Lanes();
    case DigestSha256: return Sha256Lanes();
    case DigestSha512: return Sha512Lanes();
    default: return 1;
    }
}

std::wstring BytesToHex(const std::uint8_t* bytes, std::size_t count) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text(2 * count, L'0');
    for (std::size_t i = 0; i < count; ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return text;
}
