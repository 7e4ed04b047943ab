// Lower bounds on linear extension counts that prove a count needs more than
// 128 bits. Every floating-point step is followed by a step to the adjacent
// double on the safe side: whatever the rounding mode, an operation's result
// is less than one unit in the last place from the exact value, so the
// adjacent double below (above) is a lower (upper) bound of it. A chain of
// such steps over nonnegative values keeps each lower bound a proof.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

#include "../order_masks.hpp"

namespace quorvane::ideals {

// 2^128: a count known to be at least this needs more than 128 bits.
inline constexpr double kCountOverflowBound = 0x1p128;

// 34! < 2^128 < 35!: no count of this many elements or fewer overflows.
inline constexpr std::size_t kLargestFittingFactorial = 34;

// The adjacent double below x >= 0 (0 stays 0; infinity becomes the largest double).
inline double step_down(double x) noexcept {
    return x > 0 ? std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) - 1) : x;
}

// The adjacent double above a finite x >= 0; infinity stays.
inline double step_up(double x) noexcept {
    return std::isinf(x) ? x : std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) + 1);
}

inline double plus_down(double a, double b) noexcept { return step_down(a + b); }
inline double times_down(double a, double b) noexcept { return step_down(a * b); }
inline double times_up(double a, double b) noexcept { return step_up(a * b); }
inline double divided_down(double a, double b) noexcept { return step_down(a / b); }
inline double divided_up(double a, double b) noexcept { return step_up(a / b); }

inline double count_down(unsigned __int128 count) noexcept { return step_down(static_cast<double>(count)); }

// At most k!, for k <= 128.
double factorial_down(std::size_t k) noexcept;

// At most the poset's number of linear extensions: the larger of
// n!/∏|↑x| and n!/∏|↓x| (both hold for every poset; equality for forests).
double hook_bound(const OrderMasks& order) noexcept;

enum class Levels { height, depth };

// Whether the product of the factorials of the height levels (or of the
// depth levels) exceeds 2^128 − 1: elements of a level are pairwise
// incomparable, and placing the levels one after another in any internal
// order gives a linear extension.
bool level_bound_exceeds_u128(const OrderMasks& order, Levels levels) noexcept;

// Whether the count surely fits in 128 bits: with the elements split into
// chains, a linear extension is fixed by the chain each position takes, so
// the multinomial coefficient of the chain lengths bounds the count.
bool chain_bound_fits_u128(const OrderMasks& order) noexcept;

// The same bound for a given split of the n elements into chains of these lengths.
bool chain_lengths_fit_u128(std::size_t n, std::span<const std::size_t> length) noexcept;

}  // namespace quorvane::ideals
