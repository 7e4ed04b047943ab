#include "operand_check.hpp"

namespace quorvane::incidence {
namespace {

bool holds_nan(const std::vector<double>& row) noexcept {
    bool found = false;
    for (double value : row) found |= value != value;  // branch-free, so it vectorises
    return found;
}

std::optional<KernelError> check_matrix(std::size_t n, const IncidenceMatrix& matrix) noexcept {
    if (matrix.size() != n) return kShapeMismatch;
    for (const std::vector<double>& row : matrix) {
        if (row.size() != n) return kShapeMismatch;
        if (holds_nan(row)) return kInvalidValue;
    }
    return std::nullopt;
}

}  // namespace

std::optional<KernelError> validate_incidence_matrices(std::size_t n, const IncidenceMatrix& left,
                                                       const IncidenceMatrix& right) noexcept {
    if (std::optional<KernelError> error = check_matrix(n, left)) return error;
    return check_matrix(n, right);
}

}  // namespace quorvane::incidence
