#include "algorithms/Cpu.h"

#if DUNMO_X86 && defined(_MSC_VER)
#include <intrin.h>
#elif DUNMO_X86
#include <cpuid.h>
#endif

namespace {

#if DUNMO_X86
struct CpuidResult {
    std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidResult Cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
    CpuidResult r;
#if defined(_MSC_VER)
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<std::uint32_t>(regs[0]), static_cast<std::uint32_t>(regs[1]),
         static_cast<std::uint32_t>(regs[2]), static_cast<std::uint32_t>(regs[3])};
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// XCR0: which register states the operating system saves on a task switch.
std::uint64_t EnabledRegisterState() {
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    std::uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return std::uint64_t{high} << 32 | low;
#endif
}

bool Bit(std::uint32_t word, int bit) { return (word >> bit) & 1; }

CpuFeatures Detect() {
    CpuFeatures f;
    // Every i686 processor has CPUID; leaf 0 gives the highest leaf.
    const std::uint32_t maxLeaf = Cpuid(0, 0).eax;
    if (maxLeaf < 1) {
        return f;
    }
    const CpuidResult one = Cpuid(1, 0);
    const CpuidResult seven = maxLeaf >= 7 ? Cpuid(7, 0) : CpuidResult{};
    f.sse2 = Bit(one.edx, 26);
    f.ssse3 = f.sse2 && Bit(one.ecx, 0) && Bit(one.ecx, 9);
    f.sse41 = f.ssse3 && Bit(one.ecx, 19);
    f.pclmul = f.sse41 && Bit(one.ecx, 1);
    f.sha = f.sse41 && Bit(seven.ebx, 29);
    f.bmi2 = Bit(seven.ebx, 8);
    const bool osxsave = Bit(one.ecx, 27);
    const std::uint64_t xcr0 = osxsave ? EnabledRegisterState() : 0;
    const bool ymm = (xcr0 & 0x6) == 0x6;     // XMM and upper YMM halves
    const bool zmm = (xcr0 & 0xE6) == 0xE6;   // plus opmask and both ZMM parts
    const bool vpclmul = f.pclmul && Bit(seven.ecx, 10);
    f.avx2 = f.sse41 && ymm && Bit(one.ecx, 28) && Bit(seven.ebx, 5);
    f.vpclmul256 = vpclmul && f.avx2;
    f.avx512 = f.avx2 && zmm && Bit(seven.ebx, 16) && Bit(seven.ebx, 30) && Bit(seven.ebx, 31);
    f.vpclmul512 = vpclmul && f.avx512;
    return f;
}
#endif

}  // namespace

const CpuFeatures& DetectedCpu() {
#if DUNMO_X86
    static const CpuFeatures features = Detect();
#else
    static const CpuFeatures features;
#endif
    return features;
}
