// The one memory budget of the order kernels, and what it decides: whether the
// reachability rows of an order are built whole, or the kernels that can do
// without them take over.
#pragma once

#include <cstddef>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

// Working memory an order kernel may take for its picture of the order, beyond
// its input and its result. Dense rows take n²/8 bytes, 5 GB at 2·10^5
// elements, where they are still the fastest picture: the budget keeps them up
// to about 2.3·10^5 elements and leaves most of a 16 to 32 GB machine to the
// caller's own data.
inline constexpr std::size_t kMemoryBudgetBytes = std::size_t{6} << 30;

// Whether the n rows of row_words(n) words fit in `budget` bytes.
constexpr bool dense_rows_fit(std::size_t n, std::size_t budget) noexcept {
    std::size_t words = 0;
    if (__builtin_mul_overflow(n, row_words(n), &words)) return false;
    return words <= budget / sizeof(Word);
}

// What the methods past the budget may hold of their picture of the order:
// an eighth of the budget, the rest left to the call's buffers of a few words
// per element and edge.
constexpr std::size_t picture_bytes(std::size_t budget) noexcept { return budget / 8; }

// Columns of a block of the reachability rows, a whole number of words: n
// rows of that many bits fit in picture_bytes, or failing that, one word a
// row in the whole budget. 0 where not even that fits: no method does.
constexpr std::size_t block_columns(std::size_t n, std::size_t budget) noexcept {
    if (n == 0) return kWordBits;
    const std::size_t words = picture_bytes(budget) / sizeof(Word) / n;
    if (words != 0) return words * kWordBits;
    return budget / sizeof(Word) >= n ? kWordBits : 0;
}

// Chains of a chain partition past which counting sizes over chain
// coordinates, O((n + edges) · chains), is left to the column blocks, whose
// cost grows with the comparable pairs instead: 1024 chains take a few
// seconds at 10^6 elements.
inline constexpr std::size_t kMaxCoordinateChains = 1024;

}  // namespace quorvane::closure
