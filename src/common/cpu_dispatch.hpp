// The one place where the module reaches beyond its architecture's baseline.
//
// The build targets plain x86-64 (or armv8-a), so that it runs on every CPU of
// its platform. A function marked QUORVANE_DISPATCHED is compiled once more for
// x86-64-v2 (POPCNT, SSE4.2) and x86-64-v3 (AVX2, BMI1/2, LZCNT), and the
// dynamic loader binds it once, when the module is loaded, to the best variant
// the CPU reports. Everything the function inlines is compiled for that level
// too, so the mark goes on the outermost function of a hot loop: each call
// through the mark costs one indirect jump.
//
// GCC 12 takes some calls of a marked function for calls that cannot throw,
// and an exception (bad_alloc) leaving the function through such a call ends
// the process: always a call from another marked function (itself included),
// and also calls of marked member functions. So the marks go on free functions
// called from unmarked code, with default symbol visibility (CMakeLists.txt),
// or on functions that cannot throw. The memory-exhaustion tests cover this.
//
// QUORVANE_DISPATCHED_AVX512 adds x86-64-v4 (AVX-512) for the floating-point
// folds, which vectorise and gain from wider registers. The bit-row scans do
// not: their loops are short and the wider ones measure slower.
//
// Every variant is the same source under the same floating-point rules
// (-ffp-contract=off, no fast-math), so all of them give bit-identical results.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__)
#define QUORVANE_DISPATCHED __attribute__((target_clones("default", "arch=x86-64-v2", "arch=x86-64-v3")))
#define QUORVANE_DISPATCHED_AVX512 \
    __attribute__((target_clones("default", "arch=x86-64-v2", "arch=x86-64-v3", "arch=x86-64-v4")))
#define QUORVANE_DISPATCHES 1
#else
#define QUORVANE_DISPATCHED
#define QUORVANE_DISPATCHED_AVX512
#define QUORVANE_DISPATCHES 0
#endif

namespace quorvane {

// The x86-64 level whose variants the loader binds on this CPU: 4 with
// AVX-512 (for the functions that have such a variant), 3 or 2, and 0 for
// the baseline, as on every build without variants. For a kernel whose better
// path depends on how wide its vectors are: it asks once per call, from the
// same report of the CPU the loader reads.
inline int dispatch_level() noexcept {
#if QUORVANE_DISPATCHES
    if (__builtin_cpu_supports("x86-64-v4")) return 4;
    if (__builtin_cpu_supports("x86-64-v3")) return 3;
    if (__builtin_cpu_supports("x86-64-v2")) return 2;
#endif
    return 0;
}

}  // namespace quorvane
