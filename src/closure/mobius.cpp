#include "mobius.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <utility>

#include "../common/bit_count.hpp"
#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// Signed integers of a fixed number of words, two's complement, least
// significant word first. Wide enough for every sum of a row: |μ(x, y)| is at
// most the number of chains from x to y, below 2^(n - 2), and a sum adds at
// most n of them, so n + 64 bits always suffice.
class WideSums {
public:
    WideSums(std::size_t n, std::size_t words) : words_(words), sums_(checked_size(n, words)) {}

    std::span<Word> at(std::size_t i) noexcept { return {sums_.data() + i * words_, words_}; }

    static void set_one(std::span<Word> value) noexcept {
        std::fill(value.begin(), value.end(), Word{0});
        value[0] = 1;
    }

    static void add(std::span<Word> sum, std::span<const Word> term) noexcept {
        unsigned char carry = 0;
        for (std::size_t k = 0; k < sum.size(); ++k) {
            const Word partial = term[k] + carry;
            carry = static_cast<unsigned char>((partial < carry) | ((sum[k] += partial) < partial));
        }
    }

    static void negate(std::span<const Word> value, std::span<Word> negated) noexcept {
        unsigned char carry = 1;
        for (std::size_t k = 0; k < value.size(); ++k) {
            negated[k] = ~value[k] + carry;
            carry = static_cast<unsigned char>(carry & (negated[k] == 0));
        }
    }

    static bool is_zero(std::span<const Word> value) noexcept {
        return std::all_of(value.begin(), value.end(), [](Word w) { return w == 0; });
    }

    // The value if it fits a signed 64-bit integer.
    static std::optional<std::int64_t> narrow(std::span<const Word> value) noexcept {
        const Word extension = (value[0] >> (kWordBits - 1)) != 0 ? ~Word{0} : Word{0};
        for (std::size_t k = 1; k < value.size(); ++k) {
            if (value[k] != extension) return std::nullopt;
        }
        return static_cast<std::int64_t>(value[0]);
    }

private:
    std::size_t words_;
    std::vector<Word> sums_;
};

std::span<const Word> strictly_above(const ReachabilityRows& rows, std::size_t x) noexcept {
    return rows.row(x).subspan(word_of(x));
}

// Adds mu to the sum of each element of `above`, whose bit 0 is element
// `first_index`; false when a sum left the 64-bit range. Overflow is rare, so
// it is gathered rather than tested element by element, which would put a
// second branch in the loop. Out of line, so that the loop has the registers
// to itself: within the row walk the compiler kept reloading the sums'
// address from the stack.
QUORVANE_DISPATCHED [[gnu::noinline]] bool push_onto(std::int64_t* sums, std::span<const Word> above,
                                                     std::size_t first_index, std::int64_t mu) noexcept {
    bool overflow = false;
    for_each_bit(above, first_index, [&](std::size_t w) { overflow |= __builtin_add_overflow(sums[w], mu, &sums[w]); });
    return !overflow;
}

// Walks row x of the matrix in ascending column order. When the walk reaches
// y, 1 + sum[y] is μ(x, z) summed over every z in [x, y): each nonzero
// μ(x, z) of an earlier z > x has been pushed onto all elements above z,
// which are the y it contributes to. μ is mostly zero, so most elements push
// nothing.
class MobiusBuilder {
public:
    MobiusBuilder(const ReachabilityRows& rows, InterruptPoll interrupt)
        : rows_(rows), budget_(interrupt), above_counts_(rows.size()), narrow_sums_(rows.size()),
          row_columns_(rows.size()), row_values_(rows.size()) {
        for (std::size_t y = 0; y < rows.size(); ++y) above_counts_[y] = count_bits(strictly_above(rows, y));
        mu_.size = rows.size();
        mu_.row_end.reserve(rows.size());
        mu_.wide_words = row_words(rows.size()) + 1;
    }

    // False when the budget's poll asks to stop.
    bool add_row(std::size_t x) {
        const RowOutcome narrow = add_narrow_row(x);
        if (narrow == RowOutcome::interrupted) return false;
        if (narrow == RowOutcome::overflow && !add_wide_row(x)) return false;
        mu_.row_end.push_back(mu_.columns.size());
        return true;
    }

    MobiusMatrix finish() && { return std::move(mu_); }

private:
    void emit(std::size_t column, std::int64_t value) {
        mu_.columns.push_back(column);
        mu_.values.push_back(value);
    }

    enum class RowOutcome { complete, overflow, interrupted };

    // A walk over the elements above y (x for the row itself): charged by the
    // words it scans and `work_per_element` for each element. True when the
    // budget's poll asks to stop.
    bool charge_walk(std::size_t y, std::size_t work_per_element) noexcept {
        return budget_.charge(rows_.words() - word_of(y) + above_counts_[y] * work_per_element);
    }

    // Overflow as soon as a sum leaves the 64-bit range. The walk clears each
    // sum as it reads it, so that the next row finds every sum zero without
    // a walk of its own. The row's entries are gathered in scratch space that
    // holds any row: with no allocation inside it, the walk keeps its values
    // in registers.
    RowOutcome add_narrow_row(std::size_t x) {
        std::int64_t* const sums = narrow_sums_.data();
        const std::span<const Word> above_x = strictly_above(rows_, x);
        const std::size_t first_index = word_of(x) * kWordBits;
        if (charge_walk(x, 1)) return RowOutcome::interrupted;
        std::size_t* const columns = row_columns_.data();
        std::int64_t* const values = row_values_.data();
        columns[0] = x;
        values[0] = 1;
        std::size_t entries = 1;
        bool overflow = false;
        const bool complete = for_each_bit(above_x, first_index, [&](std::size_t y) {
            const std::int64_t earlier = std::exchange(sums[y], 0);
            if (earlier == -1) return true;  // μ(x, y) = 0, the common case
            // -(1 + earlier) overflows only here.
            overflow = earlier == std::numeric_limits<std::int64_t>::max();
            if (overflow) return false;
            const std::int64_t mu = -(1 + earlier);
            columns[entries] = y;
            values[entries] = mu;
            ++entries;
            overflow = !push_onto(sums, strictly_above(rows_, y), word_of(y) * kWordBits, mu);
            return !overflow && !charge_walk(y, 1);
        });
        if (overflow) {
            for_each_bit(above_x, first_index, [&](std::size_t w) { sums[w] = 0; });
            return RowOutcome::overflow;
        }
        if (!complete) return RowOutcome::interrupted;
        mu_.columns.insert(mu_.columns.end(), columns, columns + entries);
        mu_.values.insert(mu_.values.end(), values, values + entries);
        return RowOutcome::complete;
    }

    // False when the budget's poll asks to stop.
    bool add_wide_row(std::size_t x) {
        if (!wide_sums_) wide_sums_.emplace(rows_.size(), mu_.wide_words);
        WideSums& sums = *wide_sums_;
        std::vector<Word> mu(mu_.wide_words);
        emit(x, 1);
        const std::span<const Word> above_x = strictly_above(rows_, x);
        const std::size_t first_index = word_of(x) * kWordBits;
        for_each_bit(above_x, first_index, [&](std::size_t w) { WideSums::set_one(sums.at(w)); });
        if (charge_walk(x, mu.size() + 1)) return false;
        return for_each_bit(above_x, first_index, [&](std::size_t y) {
            if (WideSums::is_zero(sums.at(y))) return true;
            WideSums::negate(sums.at(y), mu);
            emit_wide(y, mu);
            for_each_bit(strictly_above(rows_, y), word_of(y) * kWordBits,
                         [&](std::size_t w) { WideSums::add(sums.at(w), mu); });
            return !charge_walk(y, mu.size());
        });
    }

    void emit_wide(std::size_t column, std::span<const Word> value) {
        if (const std::optional<std::int64_t> small = WideSums::narrow(value)) {
            emit(column, *small);
            return;
        }
        mu_.wide_entries.push_back(mu_.columns.size());
        mu_.wide_values.insert(mu_.wide_values.end(), value.begin(), value.end());
        emit(column, 0);
    }

    const ReachabilityRows& rows_;
    WorkBudget budget_;
    std::vector<std::size_t> above_counts_;  // elements strictly above each element
    std::vector<std::int64_t> narrow_sums_;
    std::vector<std::size_t> row_columns_;  // a narrow row's entries while it is built
    std::vector<std::int64_t> row_values_;
    std::optional<WideSums> wide_sums_;
    MobiusMatrix mu_;
};

}  // namespace

// Flattened, so that the row walks are compiled for each variant's CPU level.
QUORVANE_DISPATCHED [[gnu::flatten]]
KernelResult<MobiusMatrix> mobius_matrix(const ReachabilityRows& rows, InterruptPoll interrupt) {
    MobiusBuilder builder(rows, interrupt);
    for (std::size_t x = 0; x < rows.size(); ++x) {
        if (!builder.add_row(x)) return std::unexpected(kInterrupted);
    }
    return std::move(builder).finish();
}

}  // namespace quorvane::closure
