#include "principal_sizes.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "../common/bit_count.hpp"
#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// Rows added to the column counts at once: 2^kGroupLevels of them.
constexpr std::size_t kGroupLevels = 4;
constexpr std::size_t kGroupRows = std::size_t{1} << kGroupLevels;

// Adds a and b into `sum`, column by column; returns the carries, which weigh
// twice as much.
inline Word carry_save(Word& sum, Word a, Word b) noexcept {
    const Word partial = sum ^ a;
    const Word carry = (sum & a) | (partial & b);
    sum = partial ^ b;
    return carry;
}

// Adds word k of 2^Levels rows into the planes of weight 1 .. 2^(Levels-1)
// (plane p at low[p * words]); returns the carries of weight 2^Levels. The
// planes take each pair's sum as it comes, so a row costs a few word
// operations whatever the counts.
template <std::size_t Levels>
inline Word add_rows(Word* low, std::size_t words, const Word* const* rows, std::size_t k) noexcept {
    if constexpr (Levels == 1) {
        return carry_save(low[k], rows[0][k], rows[1][k]);
    } else {
        const Word first_half = add_rows<Levels - 1>(low, words, rows, k);
        const Word second_half = add_rows<Levels - 1>(low, words, rows + (std::size_t{1} << (Levels - 1)), k);
        return carry_save(low[(Levels - 1) * words + k], first_half, second_half);
    }
}

// Word k of a group of rows through the adders, for every k from `first` on,
// into the four low planes (plane 0 at `low`); the carries of weight 16 go to
// `carries`. The rows are never written here, so the columns can go several
// at a time.
void add_group_columns(const std::array<const Word*, kGroupRows>& rows, std::size_t first, std::size_t words,
                       Word* low, Word* carries) noexcept {
#if defined(__clang__)
#pragma clang loop vectorize(assume_safety)
#else
#pragma GCC ivdep
#endif
    for (std::size_t k = first; k < words; ++k) carries[k] = add_rows<kGroupLevels>(low, words, rows.data(), k);
}

// Column sums of the rows, kept bit-sliced: plane p of word column k holds bit
// p of the 64 running counts of that column, so adding a row word is a ripple
// of carries through the planes instead of 64 separate increments. The planes
// are stored one after another, so that a run of columns is a run of words.
class ColumnCounter {
public:
    ColumnCounter(std::size_t words, std::size_t max_count)
        : words_(words),
          planes_(std::max(kGroupLevels, static_cast<std::size_t>(std::bit_width(max_count)))),
          counts_(checked_size(words, planes_)),
          carries_(words) {}

    // Adds each row's words from word `first` on; the rows hold nothing
    // before it. The carries then go through every higher plane: a fixed
    // number of steps, free of branches the data decides.
    void add_group(const std::array<const Word*, kGroupRows>& rows, std::size_t first) noexcept {
        Word* carries = carries_.data();
        add_group_columns(rows, first, words_, counts_.data(), carries);
        for (std::size_t p = kGroupLevels; p < planes_; ++p) {
            Word* plane = counts_.data() + p * words_;
            for (std::size_t k = first; k < words_; ++k) {
                const Word carry = plane[k] & carries[k];
                plane[k] ^= carries[k];
                carries[k] = carry;
            }
        }
    }

    // Entry b of `out`: one more than the count of element 64k + b.
    void write_counts_plus_one(std::size_t k, std::span<std::uint64_t> out) const noexcept {
        std::fill(out.begin(), out.end(), std::uint64_t{1});
        for (std::size_t p = 0; p < planes_; ++p) {
            const Word plane = counts_[p * words_ + k];
            for (std::size_t b = 0; b < out.size(); ++b) out[b] += ((plane >> b) & 1U) << p;
        }
    }

private:
    std::size_t words_;
    std::size_t planes_;
    std::vector<Word> counts_;
    std::vector<Word> carries_;
};

}  // namespace

QUORVANE_DISPATCHED
KernelResult<PrincipalSizes> principal_sizes(const ReachabilityRows& rows, InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    PrincipalSizes sizes{std::vector<std::uint64_t>(n), std::vector<std::uint64_t>(n)};
    ColumnCounter below(rows.words(), n);
    WorkBudget budget(interrupt);
    // The last group is made up with empty rows. A group's rows all start in
    // the same word, since a word holds whole groups.
    const std::vector<Word> empty_row(rows.words());
    for (std::size_t x = 0; x < n; x += kGroupRows) {
        const std::size_t count = std::min(kGroupRows, n - x);
        std::array<const Word*, kGroupRows> group;
        for (std::size_t r = 0; r < kGroupRows; ++r) group[r] = r < count ? rows.row(x + r).data() : empty_row.data();
        below.add_group(group, word_of(x));
        for (std::size_t r = 0; r < count; ++r) {
            const Word* above = rows.row(x + r).data() + word_of(x);
            sizes.filter[x + r] = count_common_bits(above, above, rows.words() - word_of(x)) + 1;
        }
        if (budget.charge(count * (rows.words() - word_of(x)))) return std::unexpected(kInterrupted);
    }
    for (std::size_t k = 0; k < rows.words(); ++k) {
        const std::size_t first = k * kWordBits;
        below.write_counts_plus_one(k, std::span(sizes.ideal).subspan(first, std::min(kWordBits, n - first)));
    }
    return sizes;
}

std::uint64_t comparable_pairs(const PrincipalSizes& sizes) noexcept {
    std::uint64_t total = 0;
    for (std::uint64_t size : sizes.filter) total += size - 1;
    return total;
}

}  // namespace quorvane::closure
