// Exact ints to and from 64-bit words by way of the interpreter's own digits,
// a word at a time: its byte-array conversions go a byte at a time, which
// costs more than the kernels on large rows. Exact ints come here directly;
// int subclasses and other objects are read through their Python methods,
// and come here only once those have told their value.
#pragma once

#include "py_ref.hpp"

#include <optional>
#include <span>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::py {

enum class WordsFit { fits, negative_or_too_wide, failed };

// Writes the value of the int `item` into `words`, which must be zero
// on entry, least significant word first. `negative_or_too_wide` (no exception
// set) when it is negative or needs more than words.size() words; `failed`
// with an exception set only where the interpreter's export can fail.
[[nodiscard]] WordsFit int_to_zeroed_words(PyObject* item, std::span<Word> words) noexcept;

// Whether the int `item` (an exact int, or an instance of a subclass) holds
// exactly the bits of `words`; `scratch`, of as many words, is overwritten.
[[nodiscard]] bool int_holds_words(PyObject* item, std::span<const Word> words, std::span<Word> scratch) noexcept;

// Whether the int `item` is non-negative and at most `max_bits` long
// (`failed` as above). When it is and `row_error` is not null, the checks of
// successor row i of n (closure::successor_row_error) leave their error there.
[[nodiscard]] WordsFit check_successor_int(PyObject* item, std::size_t max_bits, std::size_t n, std::size_t i,
                                           std::optional<KernelError>* row_error) noexcept;

// The closure of successor ints that passed check_successor_int without a row
// error, as new ints in row order; false with an exception set on failure.
[[nodiscard]] bool close_successor_ints(std::span<const PyRef> given, std::vector<PyRef>& closed,
                                        InterruptPoll interrupt);

// The int whose binary digits are the words, least significant word first;
// two's complement when signed.
PyRef to_python_words(std::span<const Word> words, bool is_signed);

}  // namespace quorvane::py
