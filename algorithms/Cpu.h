#pragma once
// The x86 instruction-set extensions the fast digest paths need, and the
// compiler spellings that let one function use them while the rest of the
// program keeps to the i686 baseline.
#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
#define DUNMO_X86 1
#include <immintrin.h>
#else
#define DUNMO_X86 0
#endif

#if defined(__GNUC__) && DUNMO_X86
// Windows on i686 only keeps the stack 4-byte aligned, while GCC assumes 16
// for vector spills: functions entered from outside realign it themselves.
#if defined(__i386__)
#define DUNMO_TARGET(features) __attribute__((target(features), force_align_arg_pointer))
#else
#define DUNMO_TARGET(features) __attribute__((target(features)))
#endif
#define DUNMO_INLINE_TARGET(features) inline __attribute__((target(features), always_inline))
#else
// MSVC emits any intrinsic without per-function permission.
#define DUNMO_TARGET(features)
#define DUNMO_INLINE_TARGET(features) __forceinline
#endif

// Each flag is set only when both the processor and the operating system
// (for the wider registers' state) support the extension.
struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;    // PSHUFB and PALIGNR, with SSE2 and SSE3
    bool sse41 = false;    // with SSSE3
    bool avx2 = false;     // with AVX and the YMM state
    bool pclmul = false;   // PCLMULQDQ
    bool sha = false;      // SHA1RNDS4 and friends
    bool bmi2 = false;     // RORX and friends
    bool vpclmul256 = false;  // VPCLMULQDQ on YMM registers, with AVX2
    bool avx512 = false;      // AVX-512 F, VL and BW, with AVX2 and the ZMM state
    bool vpclmul512 = false;  // VPCLMULQDQ on ZMM registers, with AVX-512 F/VL/BW
};

// Read with CPUID and XGETBV on first use; all false on other processors.
const CpuFeatures& DetectedCpu();

// Which of an algorithm's implementations runs: `functionFor` gives the one
// for a path, or null where this processor lacks it. The fastest is chosen on
// first use; tests and benchmarks may switch it.
template <typename Path, typename Function, Function (*functionFor)(Path)>
class PathChoice {
public:
    static Function Current() { return Selected().load(std::memory_order_relaxed); }
    static bool Available(Path path) { return functionFor(path) != nullptr; }
    static bool Use(Path path) {
        const Function function = functionFor(path);
        if (function != nullptr) Selected().store(function, std::memory_order_relaxed);
        return function != nullptr;
    }

private:
    static std::atomic<Function>& Selected() {
        static std::atomic<Function> selected{functionFor(Path::Fastest)};
        return selected;
    }
};

// One of an algorithm's implementations: its path, and the flag of
// CpuFeatures it needs (null where it runs everywhere).
template <typename Path, typename Function>
struct PathEntry {
    Path path;
    Function function;
    bool CpuFeatures::*needs;
};

// A `functionFor` from a table listed fastest first: `path`'s entry, or for
// Path::Fastest the first this processor runs; null where it lacks it.
template <typename Path, typename Function, std::size_t n>
Function FunctionIn(const PathEntry<Path, Function> (&table)[n], Path path) {
    for (const PathEntry<Path, Function>& entry : table) {
        if ((path == Path::Fastest || entry.path == path) && (entry.needs == nullptr || DetectedCpu().*entry.needs)) {
            return entry.function;
        }
    }
    return nullptr;
}
