#include "reachability.hpp"

#include <algorithm>

namespace quorvane::closure {
namespace {

// Only the given successors that are not already reached contribute a row:
// a successor reached through an earlier (smaller) one brings nothing new.
void close_in_place(ReachabilityRows& rows) {
    const std::size_t n = rows.size();
    const std::size_t words = rows.words();
    std::vector<Word> reached(words);
    for (std::size_t i = n; i-- > 0;) {
        std::span<Word> row = rows.row(i);
        const std::size_t first_word = word_of(i);
        std::fill(reached.begin() + static_cast<std::ptrdiff_t>(first_word), reached.end(), Word{0});
        for_each_bit(std::span<const Word>(row).subspan(first_word), first_word * kWordBits, [&](std::size_t j) {
            if ((reached[word_of(j)] & bit_of(j)) != 0) return;
            std::span<const Word> above = rows.row(j);
            for (std::size_t k = word_of(j); k < words; ++k) reached[k] |= above[k];
        });
        for (std::size_t k = first_word; k < words; ++k) row[k] |= reached[k];
    }
}

bool has_bits_from(std::span<const Word> row, std::size_t n) {
    if (n % kWordBits == 0) return false;
    return (row.back() >> (n % kWordBits)) != 0;
}

bool has_bits_up_to(std::span<const Word> row, std::size_t i) {
    for (std::size_t k = 0; k < word_of(i); ++k) {
        if (row[k] != 0) return true;
    }
    const Word through_i = bit_of(i) | (bit_of(i) - 1);
    return (row[word_of(i)] & through_i) != 0;
}

}  // namespace

KernelResult<ReachabilityRows> build_reachability(std::size_t n, const CoverEdgeList& edges) {
    for (const auto& [lower, upper] : edges) {
        if (lower >= n || upper >= n) return std::unexpected(kIndexOutOfRange);
        if (lower >= upper) return std::unexpected(kNotTopological);
    }
    ReachabilityRows rows(n);
    for (const auto& [lower, upper] : edges) rows.set(lower, upper);
    close_in_place(rows);
    return rows;
}

KernelResult<ReachabilityRows> close_successor_rows(std::size_t n, SuccessorRows rows, std::size_t first_misshapen_row) {
    if (rows.size() != n) return std::unexpected(kIndexOutOfRange);
    for (std::size_t i = 0; i < n; ++i) {
        if (i == first_misshapen_row) return std::unexpected(kIndexOutOfRange);
        std::span<const Word> row = rows.row(i);
        if (has_bits_from(row, n)) return std::unexpected(kIndexOutOfRange);
        if (has_bits_up_to(row, i)) return std::unexpected(kNotTopological);
    }
    close_in_place(rows);
    return rows;
}

BitMatrix transpose(const ReachabilityRows& rows) {
    BitMatrix below(rows.size());
    for (std::size_t x = 0; x < rows.size(); ++x) {
        for_each_bit(rows.row(x), 0, [&](std::size_t y) { below.set(y, x); });
    }
    return below;
}

}  // namespace quorvane::closure
