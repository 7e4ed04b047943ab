// The four semirings of the convolutions. The scan asks each for its zero (the
// start of every fold and the fill of unreached entries), the fold step
// acc = acc (+) (a (x) b), on single values and on vectors of lanes alike, and
// which values it refuses. The operands go by reference: a vector passed by
// value would take another calling convention in each CPU level's variant.
// The fold steps replace the running value only on a strict improvement and
// the max-min product takes the right entry only when strictly smaller, so
// ties (-0.0 against +0.0) go to the value met first.
//
// The zero also leaves a running value as it is when it stands in for an
// entry that is not read, whatever the other factor: its product with any
// entry folds to no change (a NaN product too, since a NaN never improves on
// a maximum or a minimum). Sum-product is the exception, noted there.
#pragma once

#include <cmath>
#include <limits>

namespace quorvane::incidence {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct MaxMin {
    static constexpr double kZero = -kInfinity;
    static constexpr bool kRefusesOppositeInfinities = false;
    template <class T>
    static void fold(T& acc, const T& a, const T& b) noexcept {
        const T v = b < a ? b : a;
        acc = v > acc ? v : acc;
    }
    static bool rejects_sum(double) noexcept { return false; }
};

// Only +inf + -inf (a NaN) is refused; other infinite terms fold normally.
struct MaxPlus {
    static constexpr double kZero = -kInfinity;
    static constexpr bool kRefusesOppositeInfinities = true;
    template <class T>
    static void fold(T& acc, const T& a, const T& b) noexcept {
        const T v = a + b;
        acc = v > acc ? v : acc;
    }
    static bool rejects_sum(double) noexcept { return false; }
};

struct MinPlus {
    static constexpr double kZero = kInfinity;
    static constexpr bool kRefusesOppositeInfinities = true;
    template <class T>
    static void fold(T& acc, const T& a, const T& b) noexcept {
        const T v = a + b;
        acc = v < acc ? v : acc;
    }
    static bool rejects_sum(double) noexcept { return false; }
};

// A product that is infinite or NaN is refused too, but it needs no test of
// its own: once a sum is infinite or NaN no later term makes it finite again,
// so the finished sum of that pair is refused with the same message.
// A zero standing in for an unread entry gives a product of +-0.0, which
// leaves the running value as it is (it is never -0.0: it starts at +0.0), or
// a NaN when the other factor is infinite. Such an infinite entry is read by
// some term as well, (z, z, y) or (x, z, z), whose pair is then refused, so a
// sum that such a NaN spoils was never going to be returned.
struct SumProduct {
    static constexpr double kZero = 0.0;
    static constexpr bool kRefusesOppositeInfinities = false;
    template <class T>
    static void fold(T& acc, const T& a, const T& b) noexcept {
        const T v = a * b;
        acc = acc + v;
    }
    static bool rejects_sum(double acc) noexcept { return !std::isfinite(acc); }
};

}  // namespace quorvane::incidence
