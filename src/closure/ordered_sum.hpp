// One step of a sum taken in its defined order.
#pragma once

#include <cmath>

namespace quorvane::closure {

// sum + term, keeping a NaN sum as it is (quieted) even when the term is
// another NaN, as the hardware does for its first operand. The compiler
// treats addition as commutative and may swap the operands, which would
// change which of two NaNs comes out.
inline double add_term(double sum, double term) noexcept { return std::isnan(sum) ? sum + sum : sum + term; }

}  // namespace quorvane::closure
