#include "successor_digits.hpp"

#include <algorithm>
#include <vector>

#include "../common/cpu_dispatch.hpp"
#include "closure_sweep.hpp"
#include "reachability.hpp"

namespace quorvane::closure {
namespace {

template <class Digit>
[[gnu::always_inline]] inline std::optional<KernelError> row_error(std::size_t n, std::size_t i, std::span<const Digit> digits) noexcept {
    constexpr std::size_t kBits = kDigitBits<Digit>;
    if (bit_length(digits) > n) return kIndexOutOfRange;
    // Bits 0 to i: the digits below i's, then i's own up to bit i.
    const std::size_t own = i / kBits;
    Digit below = 0;
    for (std::size_t k = 0; k < std::min(own, digits.size()); ++k) below |= digits[k];
    if (below != 0) return kNotTopological;
    const Digit through_i = static_cast<Digit>((Digit{2} << (i % kBits)) - 1);
    if (own < digits.size() && (digits[own] & through_i) != 0) return kNotTopological;
    return std::nullopt;
}

// The sweep's view of rows whose closed forms live wherever the caller stores them.
template <class Digit>
class StoredRows {
public:
    using Unit = Digit;
    static constexpr std::size_t kUnitBits = kDigitBits<Digit>;

    StoredRows(SuccessorDigits<Digit>& rows, std::size_t n) : rows_(rows), closed_(n) {}

    std::span<const Digit> given(std::size_t i) noexcept { return rows_.given(i); }

    bool store(std::size_t i, std::span<const Digit> closed) noexcept {
        const std::optional<std::span<const Digit>> stored = rows_.store(i, closed);
        if (!stored) return false;
        closed_[i] = stored->data();
        return true;
    }

    const Digit* closed(std::size_t j) const noexcept { return closed_[j]; }

private:
    SuccessorDigits<Digit>& rows_;
    std::vector<const Digit*> closed_;
};

template <class Digit>
[[gnu::always_inline]] inline KernelResult<void> close_rows(std::size_t n, SuccessorDigits<Digit>& rows, InterruptPoll interrupt) {
    StoredRows<Digit> stored(rows, n);
    if (!ClosureSweep(stored, n, interrupt).run()) return std::unexpected(kInterrupted);
    return {};
}

}  // namespace

QUORVANE_DISPATCHED std::optional<KernelError> successor_row_error(std::size_t n, std::size_t i,
                                                                   std::span<const std::uint32_t> digits) noexcept {
    return row_error(n, i, digits);
}

QUORVANE_DISPATCHED std::optional<KernelError> successor_row_error(std::size_t n, std::size_t i,
                                                                   std::span<const std::uint16_t> digits) noexcept {
    return row_error(n, i, digits);
}

QUORVANE_DISPATCHED KernelResult<void> close_successor_rows(std::size_t n, SuccessorDigits<std::uint32_t>& rows,
                                                            InterruptPoll interrupt) {
    return close_rows(n, rows, interrupt);
}

QUORVANE_DISPATCHED KernelResult<void> close_successor_rows(std::size_t n, SuccessorDigits<std::uint16_t>& rows,
                                                            InterruptPoll interrupt) {
    return close_rows(n, rows, interrupt);
}

}  // namespace quorvane::closure
