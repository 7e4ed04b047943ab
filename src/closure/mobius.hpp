// The Möbius function of the order, exact at any size.
#pragma once

#include <cstdint>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

// The nonzero entries μ(x, y) row by row, ascending column within a row; all
// other entries are 0. An entry that does not fit 64 bits has value 0 here
// and is listed in `wide_entries`, its exact value in `wide_values`.
struct MobiusMatrix {
    std::size_t size = 0;
    std::vector<std::size_t> row_end;  // row x holds entries [row_end[x - 1], row_end[x])
    std::vector<std::size_t> columns;
    std::vector<std::int64_t> values;
    std::size_t wide_words = 0;             // words per wide value
    std::vector<std::size_t> wide_entries;  // ascending entry indices
    std::vector<Word> wide_values;          // two's complement, least significant word first
};

[[nodiscard]] KernelResult<MobiusMatrix> mobius_matrix(const ReachabilityRows& rows, InterruptPoll interrupt);

}  // namespace quorvane::closure
