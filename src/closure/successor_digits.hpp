// Successor rows given as big numbers: row i is the number whose bit j is set
// when j is a successor of i, held as its digits of B bits each, least
// significant first, the top one nonzero. The rows are checked and closed in
// that form, so that numbers come in and go out without a bit matrix between.
// Two digit forms exist: 30 bits in 32, and 15 bits in 16.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

template <class Digit>
inline constexpr std::size_t kDigitBits = sizeof(Digit) == 4 ? 30 : 15;

template <class Digit>
std::size_t bit_length(std::span<const Digit> digits) noexcept {
    if (digits.empty()) return 0;
    return (digits.size() - 1) * kDigitBits<Digit> + static_cast<std::size_t>(std::bit_width(digits.back()));
}

// The checks of row i: `IndexOutOfRange` for a bit at position n or above,
// else `NotTopological` for a bit at position i or below.
[[nodiscard]] std::optional<KernelError> successor_row_error(std::size_t n, std::size_t i,
                                                             std::span<const std::uint32_t> digits) noexcept;
[[nodiscard]] std::optional<KernelError> successor_row_error(std::size_t n, std::size_t i,
                                                             std::span<const std::uint16_t> digits) noexcept;

// Where the closure reads checked rows and leaves closed ones.
template <class Digit>
class SuccessorDigits {
public:
    // Row i as given; valid until the next call.
    virtual std::span<const Digit> given(std::size_t i) noexcept = 0;
    // Keeps closed row i (the top digit nonzero) and returns where its digits
    // now live, valid to the end of the closure; nullopt stops the closure,
    // and the caller holds the reason.
    virtual std::optional<std::span<const Digit>> store(std::size_t i, std::span<const Digit> closed) noexcept = 0;

protected:
    ~SuccessorDigits() = default;
};

// Closes the n checked rows from the top down, storing each as it is done.
// `kInterrupted` when the poll or a store stops it.
[[nodiscard]] KernelResult<void> close_successor_rows(std::size_t n, SuccessorDigits<std::uint32_t>& rows,
                                                      InterruptPoll interrupt);
[[nodiscard]] KernelResult<void> close_successor_rows(std::size_t n, SuccessorDigits<std::uint16_t>& rows,
                                                      InterruptPoll interrupt);

}  // namespace quorvane::closure
