// Successor bitsets (one Python int per element, bit j for element j) to bit
// rows and back.
#pragma once

#include "py_ref.hpp"

#include <cstddef>
#include <span>
#include <vector>

#include "../common/kernel_types.hpp"
#include "../common/work_budget.hpp"
#include "../closure/reachability.hpp"

namespace quorvane::py {

// The count check: one item per element.
bool successor_count_matches(std::size_t n, std::span<const PyRef> items) noexcept;

// Reads every item in order through the int method protocol (exact ints
// directly, to the same effect), and leaves ints whose digits hold the bits
// read: an item whose own value the protocol did not tell gives way to the
// int its to_bytes described. Then the row checks, the first failing row
// deciding. Errors are left unwrapped: this runs after
// argument binding. Polls between items. Assumes the count matches.
bool to_checked_successor_ints(std::size_t n, std::vector<PyRef>& items, InterruptPoll interrupt);

// Checked successor ints into `rows`, which must be zero.
void to_native_successor_rows(std::span<const PyRef> items, SuccessorRows& rows) noexcept;

}  // namespace quorvane::py
