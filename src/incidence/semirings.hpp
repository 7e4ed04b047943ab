// The four semirings of the convolutions. The scan asks each for its zero (the
// start of every fold and the fill of unreached entries), the product of two
// entries, the fold step, and which terms and finished sums it rejects.
// The fold steps replace the running value only on a strict improvement and
// the max-min product takes the right entry only when strictly smaller, so
// ties (-0.0 against +0.0) go to the value met first.
#pragma once

#include <cmath>
#include <limits>

namespace quorvane::incidence {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct MaxMin {
    static constexpr double kZero = -kInfinity;
    static double product(double a, double b) noexcept { return b < a ? b : a; }
    static double sum(double acc, double v) noexcept { return v > acc ? v : acc; }
    static bool rejects_term(double) noexcept { return false; }
    static bool rejects_sum(double) noexcept { return false; }
};

// Only +inf + -inf (a NaN) is refused; other infinite terms fold normally.
struct MaxPlus {
    static constexpr double kZero = -kInfinity;
    static double product(double a, double b) noexcept { return a + b; }
    static double sum(double acc, double v) noexcept { return v > acc ? v : acc; }
    static bool rejects_term(double v) noexcept { return std::isnan(v); }
    static bool rejects_sum(double) noexcept { return false; }
};

struct MinPlus {
    static constexpr double kZero = kInfinity;
    static double product(double a, double b) noexcept { return a + b; }
    static double sum(double acc, double v) noexcept { return v < acc ? v : acc; }
    static bool rejects_term(double v) noexcept { return std::isnan(v); }
    static bool rejects_sum(double) noexcept { return false; }
};

// A product that is infinite or NaN is refused too, but it needs no test of
// its own: once a sum is infinite or NaN no later term makes it finite again,
// so the finished sum of that pair is refused with the same message.
struct SumProduct {
    static constexpr double kZero = 0.0;
    static double product(double a, double b) noexcept { return a * b; }
    static double sum(double acc, double v) noexcept { return acc + v; }
    static bool rejects_term(double) noexcept { return false; }
    static bool rejects_sum(double acc) noexcept { return !std::isfinite(acc); }
};

}  // namespace quorvane::incidence
