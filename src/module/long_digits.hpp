// Exact ints to and from 64-bit words by way of the interpreter's own digits,
// a word at a time: its byte-array conversions go a byte at a time, which
// costs more than the kernels on large rows. Only exact ints come here; int
// subclasses and other objects go through their Python methods.
#pragma once

#include "py_ref.hpp"

#include <span>

#include "../common/kernel_types.hpp"

namespace quorvane::py {

enum class WordsFit { fits, negative_or_too_wide, failed };

// Writes the value of `item` (an exact int) into `words`, which must be zero
// on entry, least significant word first. `negative_or_too_wide` (no exception
// set) when it is negative or needs more than words.size() words; `failed`
// with an exception set only where the interpreter's export can fail.
[[nodiscard]] WordsFit exact_int_to_zeroed_words(PyObject* item, std::span<Word> words) noexcept;

// The int whose binary digits are the words, least significant word first;
// two's complement when signed.
PyRef to_python_words(std::span<const Word> words, bool is_signed);

}  // namespace quorvane::py
