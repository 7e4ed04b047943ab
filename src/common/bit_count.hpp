// Counting the set bits of many words at once, for code that is not itself
// compiled per CPU level: the baseline has no population-count instruction.
#pragma once

#include <cstddef>
#include <span>

#include "kernel_types.hpp"

namespace quorvane {

[[nodiscard]] std::size_t count_bits(std::span<const Word> words) noexcept;

}  // namespace quorvane
