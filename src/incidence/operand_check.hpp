// The shape and NaN check both operands pass before a convolution starts.
#pragma once

#include <cstddef>
#include <optional>

#include "convolution.hpp"

namespace quorvane::incidence {

// Left before right; within a matrix the row count first, then row by row the
// length and then the entries, so the first faulty row decides the error.
[[nodiscard]] std::optional<KernelError> validate_incidence_matrices(std::size_t n, const IncidenceMatrix& left,
                                                                     const IncidenceMatrix& right) noexcept;

}  // namespace quorvane::incidence
