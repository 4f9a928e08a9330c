#include "algorithms/Crc32.h"

#include <initializer_list>

#include "algorithms/Cpu.h"

// Entry n: n shifted right eight times, XOR-ing 0xEDB88320 after each shift
// that dropped a 1 bit. Constant data, so nothing runs before the first use.
constexpr std::uint32_t Crc32Table[256] = {
    0x00000000, 0x77073096, 0xEE0E612C, 0x990951BA, 0x076DC419, 0x706AF48F,
    0xE963A535, 0x9E6495A3, 0x0EDB8832, 0x79DCB8A4, 0xE0D5E91E, 0x97D2D988,
    0x09B64C2B, 0x7EB17CBD, 0xE7B82D07, 0x90BF1D91, 0x1DB71064, 0x6AB020F2,
    0xF3B97148, 0x84BE41DE, 0x1ADAD47D, 0x6DDDE4EB, 0xF4D4B551, 0x83D385C7,
    0x136C9856, 0x646BA8C0, 0xFD62F97A, 0x8A65C9EC, 0x14015C4F, 0x63066CD9,
    0xFA0F3D63, 0x8D080DF5, 0x3B6E20C8, 0x4C69105E, 0xD56041E4, 0xA2677172,
    0x3C03E4D1, 0x4B04D447, 0xD20D85FD, 0xA50AB56B, 0x35B5A8FA, 0x42B2986C,
    0xDBBBC9D6, 0xACBCF940, 0x32D86CE3, 0x45DF5C75, 0xDCD60DCF, 0xABD13D59,
    0x26D930AC, 0x51DE003A, 0xC8D75180, 0xBFD06116, 0x21B4F4B5, 0x56B3C423,
    0xCFBA9599, 0xB8BDA50F, 0x2802B89E, 0x5F058808, 0xC60CD9B2, 0xB10BE924,
    0x2F6F7C87, 0x58684C11, 0xC1611DAB, 0xB6662D3D, 0x76DC4190, 0x01DB7106,
    0x98D220BC, 0xEFD5102A, 0x71B18589, 0x06B6B51F, 0x9FBFE4A5, 0xE8B8D433,
    0x7807C9A2, 0x0F00F934, 0x9609A88E, 0xE10E9818, 0x7F6A0DBB, 0x086D3D2D,
    0x91646C97, 0xE6635C01, 0x6B6B51F4, 0x1C6C6162, 0x856530D8, 0xF262004E,
    0x6C0695ED, 0x1B01A57B, 0x8208F4C1, 0xF50FC457, 0x65B0D9C6, 0x12B7E950,
    0x8BBEB8EA, 0xFCB9887C, 0x62DD1DDF, 0x15DA2D49, 0x8CD37CF3, 0xFBD44C65,
    0x4DB26158, 0x3AB551CE, 0xA3BC0074, 0xD4BB30E2, 0x4ADFA541, 0x3DD895D7,
    0xA4D1C46D, 0xD3D6F4FB, 0x4369E96A, 0x346ED9FC, 0xAD678846, 0xDA60B8D0,
    0x44042D73, 0x33031DE5, 0xAA0A4C5F, 0xDD0D7CC9, 0x5005713C, 0x270241AA,
    0xBE0B1010, 0xC90C2086, 0x5768B525, 0x206F85B3, 0xB966D409, 0xCE61E49F,
    0x5EDEF90E, 0x29D9C998, 0xB0D09822, 0xC7D7A8B4, 0x59B33D17, 0x2EB40D81,
    0xB7BD5C3B, 0xC0BA6CAD, 0xEDB88320, 0x9ABFB3B6, 0x03B6E20C, 0x74B1D29A,
    0xEAD54739, 0x9DD277AF, 0x04DB2615, 0x73DC1683, 0xE3630B12, 0x94643B84,
    0x0D6D6A3E, 0x7A6A5AA8, 0xE40ECF0B, 0x9309FF9D, 0x0A00AE27, 0x7D079EB1,
    0xF00F9344, 0x8708A3D2, 0x1E01F268, 0x6906C2FE, 0xF762575D, 0x806567CB,
    0x196C3671, 0x6E6B06E7, 0xFED41B76, 0x89D32BE0, 0x10DA7A5A, 0x67DD4ACC,
    0xF9B9DF6F, 0x8EBEEFF9, 0x17B7BE43, 0x60B08ED5, 0xD6D6A3E8, 0xA1D1937E,
    0x38D8C2C4, 0x4FDFF252, 0xD1BB67F1, 0xA6BC5767, 0x3FB506DD, 0x48B2364B,
    0xD80D2BDA, 0xAF0A1B4C, 0x36034AF6, 0x41047A60, 0xDF60EFC3, 0xA867DF55,
    0x316E8EEF, 0x4669BE79, 0xCB61B38C, 0xBC66831A, 0x256FD2A0, 0x5268E236,
    0xCC0C7795, 0xBB0B4703, 0x220216B9, 0x5505262F, 0xC5BA3BBE, 0xB2BD0B28,
    0x2BB45A92, 0x5CB36A04, 0xC2D7FFA7, 0xB5D0CF31, 0x2CD99E8B, 0x5BDEAE1D,
    0x9B64C2B0, 0xEC63F226, 0x756AA39C, 0x026D930A, 0x9C0906A9, 0xEB0E363F,
    0x72076785, 0x05005713, 0x95BF4A82, 0xE2B87A14, 0x7BB12BAE, 0x0CB61B38,
    0x92D28E9B, 0xE5D5BE0D, 0x7CDCEFB7, 0x0BDBDF21, 0x86D3D2D4, 0xF1D4E242,
    0x68DDB3F8, 0x1FDA836E, 0x81BE16CD, 0xF6B9265B, 0x6FB077E1, 0x18B74777,
    0x88085AE6, 0xFF0F6A70, 0x66063BCA, 0x11010B5C, 0x8F659EFF, 0xF862AE69,
    0x616BFFD3, 0x166CCF45, 0xA00AE278, 0xD70DD2EE, 0x4E048354, 0x3903B3C2,
    0xA7672661, 0xD06016F7, 0x4969474D, 0x3E6E77DB, 0xAED16A4A, 0xD9D65ADC,
    0x40DF0B66, 0x37D83BF0, 0xA9BCAE53, 0xDEBB9EC5, 0x47B2CF7F, 0x30B5FFE9,
    0xBDBDF21C, 0xCABAC28A, 0x53B39330, 0x24B4A3A6, 0xBAD03605, 0xCDD70693,
    0x54DE5729, 0x23D967BF, 0xB3667A2E, 0xC4614AB8, 0x5D681B02, 0x2A6F2B94,
    0xB40BBE37, 0xC30C8EA1, 0x5A05DF1B, 0x2D02EF8D,
};

namespace {

// Braided CRC: the input is read as six interleaved lanes of 32-bit words, and
// each lane keeps its own CRC, so six independent chains of table look-ups
// run side by side instead of one long one (about 1.4 times the speed of
// slicing-by-16 here, for 4 KiB of tables instead of 16). Each lane's value is
// carried forward over the other five lanes' words by the braid tables; the
// last group of words joins the lanes back into one CRC.
constexpr int kLanes = 6;
constexpr int kGroupBytes = kLanes * 4;

// Braid[k][b]: the register after byte b at position k of a word, followed by
// the rest of that word and one word of each other lane, all zero.
struct BraidTables {
    std::uint32_t entry[4][256];
};

constexpr BraidTables BuildBraidTables() {
    BraidTables braid{};
    for (int k = 0; k < 4; ++k) {
        for (std::uint32_t b = 0; b < 256; ++b) {
            std::uint32_t r = Crc32Table[b];
            for (int zero = k + 1; zero < kGroupBytes; ++zero) {
                r = Crc32Table[r & 0xFF] ^ (r >> 8);
            }
            braid.entry[k][b] = r;
        }
    }
    return braid;
}

constexpr BraidTables kBraid = BuildBraidTables();

// Assembled from bytes so that neither the host's byte order nor alignment
// matters; compilers turn it into one load on little-endian hosts.
inline std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Advances one lane past a group: its value folded into its next word.
inline std::uint32_t BraidWord(std::uint32_t lane, const std::uint8_t* word) {
    const auto& t = kBraid.entry;
    const std::uint32_t w = lane ^ LoadLittleEndian(word);
    return t[0][w & 0xFF] ^ t[1][(w >> 8) & 0xFF] ^ t[2][(w >> 16) & 0xFF] ^ t[3][w >> 24];
}

// The register after four more bytes whose XOR with it is `w`.
inline std::uint32_t CrcWord(std::uint32_t w) {
    for (int i = 0; i < 4; ++i) {
        w = Crc32Table[w & 0xFF] ^ (w >> 8);
    }
    return w;
}

// The register after `length` more bytes (no inversions at either end).
std::uint32_t UpdatePortable(std::uint32_t c, const std::uint8_t* p, std::uint32_t length) {
    const std::uint32_t groups = length / kGroupBytes;
    if (groups >= 2) {
        std::uint32_t lane0 = c, lane1 = 0, lane2 = 0, lane3 = 0, lane4 = 0, lane5 = 0;
        for (std::uint32_t g = 1; g < groups; ++g, p += kGroupBytes) {
            lane0 = BraidWord(lane0, p);
            lane1 = BraidWord(lane1, p + 4);
            lane2 = BraidWord(lane2, p + 8);
            lane3 = BraidWord(lane3, p + 12);
            lane4 = BraidWord(lane4, p + 16);
            lane5 = BraidWord(lane5, p + 20);
        }
        c = CrcWord(lane0 ^ LoadLittleEndian(p));
        c = CrcWord(c ^ lane1 ^ LoadLittleEndian(p + 4));
        c = CrcWord(c ^ lane2 ^ LoadLittleEndian(p + 8));
        c = CrcWord(c ^ lane3 ^ LoadLittleEndian(p + 12));
        c = CrcWord(c ^ lane4 ^ LoadLittleEndian(p + 16));
        c = CrcWord(c ^ lane5 ^ LoadLittleEndian(p + 20));
        p += kGroupBytes;
        length -= groups * kGroupBytes;
    }
    for (; length != 0; --length, ++p) {
        c = Crc32Table[(c ^ *p) & 0xFF] ^ (c >> 8);
    }
    return c;
}

#if DUNMO_X86
// Folding. Loaded little-endian, a 128-bit block B holds its first eight
// bytes H in the low half and the next eight L in the high half; bit i of a
// half is the coefficient of degree 63 - i (the CRC is reflected). Moving B
// D bits further down the message multiplies it by x^D, and modulo P
//   B x^D = H x^(D+64) + L x^D  ==  H (x^(D+64) mod P) + L (x^D mod P),
// a sum of two products of under 96 bits that can stand in for the block D
// bits on. PCLMULQDQ multiplies reflected operands into a result one bit
// short of their combined width, so a 64-bit half times a 33-bit constant
// k = reflect32(x^n mod P) << 1 lands as the 128-bit block of (half * x^n * x^32):
// the low half takes n = D + 32 and the high half n = D - 32.
// reflect32(x^n mod P) is x^0 (0x80000000 when reflected) multiplied by x
// n times, and multiplying by x is the table's shift-and-reduce step.
constexpr std::uint64_t FoldConstant(unsigned n) {
    std::uint32_t v = 0x80000000u;
    for (unsigned i = 0; i < n; ++i) {
        v = (v >> 1) ^ ((v & 1) ? 0xEDB88320u : 0);
    }
    return std::uint64_t{v} << 1;
}

// The two constants for moving blocks `bytes` bytes on: low half first.
struct FoldConstants {
    long long low, high;
};
constexpr FoldConstants FoldBy(unsigned bytes) {
    return {static_cast<long long>(FoldConstant(8 * bytes + 32)), static_cast<long long>(FoldConstant(8 * bytes - 32))};
}
constexpr FoldConstants kFold16 = FoldBy(16), kFold32 = FoldBy(32), kFold64 = FoldBy(64), kFold128 = FoldBy(128),
                        kFold256 = FoldBy(256);

// Once everything is folded into one block, the register is the CRC of that
// block's bytes started from zero, and the remaining tail follows on.
std::uint32_t Finish(const void* block, const std::uint8_t* tail, std::uint32_t length) {
    return UpdatePortable(UpdatePortable(0, static_cast<const std::uint8_t*>(block), 16), tail, length);
}

DUNMO_INLINE_TARGET("pclmul,sse4.1") __m128i Fold(__m128i block, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(block, k, 0x00), _mm_clmulepi64_si128(block, k, 0x11)),
                         next);
}
DUNMO_INLINE_TARGET("pclmul,sse4.1") __m128i Constants128(FoldConstants k) { return _mm_set_epi64x(k.high, k.low); }
DUNMO_INLINE_TARGET("pclmul,sse4.1") __m128i Load128(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds 16-byte blocks into `x` until under 16 bytes are left.
DUNMO_INLINE_TARGET("pclmul,sse4.1")
std::uint32_t FoldTail128(__m128i x, const std::uint8_t* p, std::uint32_t length) {
    const __m128i k = Constants128(kFold16);
    for (; length >= 16; length -= 16, p += 16) {
        x = Fold(x, k, Load128(p));
    }
    alignas(16) std::uint8_t block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), x);
    return Finish(block, p, length);
}

// Four 16-byte blocks in flight, so that the multiplier's latency overlaps:
// i686 has only eight vector registers.
DUNMO_TARGET("pclmul,sse4.1")
std::uint32_t UpdatePclmul(std::uint32_t c, const std::uint8_t* p, std::uint32_t length) {
    if (length < 64) {
        return UpdatePortable(c, p, length);
    }
    __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = Load128(p + 16), x2 = Load128(p + 32), x3 = Load128(p + 48);
    const __m128i k64 = Constants128(kFold64);
    for (p += 64, length -= 64; length >= 64; p += 64, length -= 64) {
        x0 = Fold(x0, k64, Load128(p));
        x1 = Fold(x1, k64, Load128(p + 16));
        x2 = Fold(x2, k64, Load128(p + 32));
        x3 = Fold(x3, k64, Load128(p + 48));
    }
    const __m128i k16 = Constants128(kFold16);
    return FoldTail128(Fold(Fold(Fold(x0, k16, x1), k16, x2), k16, x3), p, length);
}

DUNMO_INLINE_TARGET("vpclmulqdq,avx2,pclmul,sse4.1") __m256i Fold(__m256i block, __m256i k, __m256i next) {
    return _mm256_xor_si256(
        _mm256_xor_si256(_mm256_clmulepi64_epi128(block, k, 0x00), _mm256_clmulepi64_epi128(block, k, 0x11)), next);
}
DUNMO_INLINE_TARGET("vpclmulqdq,avx2,pclmul,sse4.1") __m256i Constants256(FoldConstants k) {
    return _mm256_set_epi64x(k.high, k.low, k.high, k.low);
}
DUNMO_INLINE_TARGET("vpclmulqdq,avx2,pclmul,sse4.1") __m256i Load256(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
// Two blocks side by side: the first folded onto the second.
DUNMO_INLINE_TARGET("vpclmulqdq,avx2,pclmul,sse4.1") __m128i Narrow(__m256i y) {
    return Fold(_mm256_castsi256_si128(y), Constants128(kFold16), _mm256_extracti128_si256(y, 1));
}

DUNMO_TARGET("vpclmulqdq,avx2,pclmul,sse4.1")
std::uint32_t UpdateVpclmul256(std::uint32_t c, const std::uint8_t* p, std::uint32_t length) {
    if (length < 128) {
        return UpdatePclmul(c, p, length);
    }
    __m256i y0 = _mm256_xor_si256(Load256(p), _mm256_setr_epi32(static_cast<int>(c), 0, 0, 0, 0, 0, 0, 0));
    __m256i y1 = Load256(p + 32), y2 = Load256(p + 64), y3 = Load256(p + 96);
    const __m256i k128 = Constants256(kFold128);
    for (p += 128, length -= 128; length >= 128; p += 128, length -= 128) {
        y0 = Fold(y0, k128, Load256(p));
        y1 = Fold(y1, k128, Load256(p + 32));
        y2 = Fold(y2, k128, Load256(p + 64));
        y3 = Fold(y3, k128, Load256(p + 96));
    }
    const __m256i k32 = Constants256(kFold32);
    const __m256i y = Fold(Fold(Fold(y0, k32, y1), k32, y2), k32, y3);
    const std::uint32_t result = FoldTail128(Narrow(y), p, length);
    _mm256_zeroupper();
    return result;
}

#define DUNMO_AVX512 "vpclmulqdq,avx512f,avx512vl,avx512bw,avx2,pclmul,sse4.1"
DUNMO_INLINE_TARGET(DUNMO_AVX512) __m512i Fold(__m512i block, __m512i k, __m512i next) {
    // One three-way XOR (truth table 0x96).
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(block, k, 0x00),
                                     _mm512_clmulepi64_epi128(block, k, 0x11), next, 0x96);
}
DUNMO_INLINE_TARGET(DUNMO_AVX512) __m512i Constants512(FoldConstants k) {
    return _mm512_set_epi64(k.high, k.low, k.high, k.low, k.high, k.low, k.high, k.low);
}
DUNMO_INLINE_TARGET(DUNMO_AVX512) __m512i Load512(const std::uint8_t* p) {
    return _mm512_loadu_si512(reinterpret_cast<const void*>(p));
}

DUNMO_TARGET(DUNMO_AVX512)
std::uint32_t UpdateVpclmul512(std::uint32_t c, const std::uint8_t* p, std::uint32_t length) {
    if (length < 256) {
        return UpdatePclmul(c, p, length);
    }
    __m512i z0 = _mm512_xor_si512(Load512(p), _mm512_maskz_set1_epi32(1, static_cast<int>(c)));
    __m512i z1 = Load512(p + 64), z2 = Load512(p + 128), z3 = Load512(p + 192);
    const __m512i k256 = Constants512(kFold256);
    for (p += 256, length -= 256; length >= 256; p += 256, length -= 256) {
        z0 = Fold(z0, k256, Load512(p));
        z1 = Fold(z1, k256, Load512(p + 64));
        z2 = Fold(z2, k256, Load512(p + 128));
        z3 = Fold(z3, k256, Load512(p + 192));
    }
    const __m512i k64 = Constants512(kFold64);
    const __m512i z = Fold(Fold(Fold(z0, k64, z1), k64, z2), k64, z3);
    // The masked extracts: GCC's unmasked ones warn of an uninitialised variable.
    const __m256i y = Fold(_mm512_maskz_extracti64x4_epi64(0xFF, z, 0), Constants256(kFold32),
                           _mm512_maskz_extracti64x4_epi64(0xFF, z, 1));
    const std::uint32_t result = FoldTail128(Narrow(y), p, length);
    _mm256_zeroupper();
    return result;
}
#undef DUNMO_AVX512
#endif

using UpdateFunction = std::uint32_t (*)(std::uint32_t c, const std::uint8_t* p, std::uint32_t length);

UpdateFunction FunctionFor(Crc32Path path) {
#if DUNMO_X86
    const CpuFeatures& cpu = DetectedCpu();
#endif
    switch (path) {
    case Crc32Path::Fastest:
        for (const Crc32Path faster : {Crc32Path::Vpclmul512, Crc32Path::Vpclmul256, Crc32Path::Pclmul}) {
            if (const UpdateFunction function = FunctionFor(faster)) {
                return function;
            }
        }
        return UpdatePortable;
    case Crc32Path::Portable: return UpdatePortable;
#if DUNMO_X86
    case Crc32Path::Pclmul: return cpu.pclmul ? UpdatePclmul : nullptr;
    case Crc32Path::Vpclmul256: return cpu.vpclmul256 ? UpdateVpclmul256 : nullptr;
    case Crc32Path::Vpclmul512: return cpu.vpclmul512 ? UpdateVpclmul512 : nullptr;
#endif
    default: return nullptr;
    }
}

using Choice = PathChoice<Crc32Path, UpdateFunction, FunctionFor>;

}  // namespace

bool Crc32PathAvailable(Crc32Path path) { return Choice::Available(path); }

bool Crc32UsePath(Crc32Path path) { return Choice::Use(path); }

std::uint32_t Crc32Update(std::uint32_t crc, const void* bytes, std::uint32_t length) {
    return ~Choice::Current()(~crc, static_cast<const std::uint8_t*>(bytes), length);
}
