// Successor bitsets (one Python int per element, bit j for element j) to bit
// rows and back.
#pragma once

#include "py_ref.hpp"

#include <cstddef>
#include <optional>
#include <span>

#include "../common/kernel_types.hpp"
#include "../common/work_budget.hpp"
#include "../closure/reachability.hpp"

namespace quorvane::py {

struct DecodedSuccessors {
    SuccessorRows rows;
    // The first item whose to_bytes gave a different number of whole words;
    // reported by closure::close_successor_rows in row order.
    std::size_t first_misshapen_row = closure::kNoRow;
};

// Checks the item count against n, then decodes every item in order through
// the int method protocol (exact ints directly, to the same effect). Errors
// are left unwrapped: decoding runs after argument binding. Polls between items.
std::optional<DecodedSuccessors> to_native_successor_rows(std::size_t n, std::span<const PyRef> items,
                                                          InterruptPoll interrupt);

}  // namespace quorvane::py
