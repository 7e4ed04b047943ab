#include "long_digits.hpp"

#include "convert_to_python.hpp"
#include "errors.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <new>
#include <numeric>
#include <utility>
#include <vector>

#include "../closure/successor_digits.hpp"

namespace quorvane::py {
namespace {

constexpr unsigned kDigitBits = PyLong_SHIFT;
constexpr unsigned kBitsPerWord = kWordBits;
constexpr Word kDigitMask = (Word{1} << kDigitBits) - 1;
static_assert(kDigitBits < kBitsPerWord, "a digit fits in a word with room to spare");
static_assert(kDigitBits == closure::kDigitBits<digit>, "the closure reads digits of the interpreter's form");

// An int's sign and digits, least significant first, the top one nonzero.
struct Magnitude {
    bool negative;
    std::span<const digit> digits;
};

#if PY_VERSION_HEX >= 0x030E0000
// The interpreter's own export: it lends the digits of a large int, and hands
// a small one over as a 64-bit value, which is spread into digits here.
class ExportedInt {
public:
    explicit ExportedInt(PyObject* item) noexcept : exported_(PyLong_Export(item, &export_) == 0) {}
    ~ExportedInt() {
        if (exported_ && export_.digits != nullptr) PyLong_FreeExport(&export_);
    }
    ExportedInt(const ExportedInt&) = delete;
    ExportedInt& operator=(const ExportedInt&) = delete;

    bool exported() const noexcept { return exported_; }

    Magnitude magnitude() noexcept {
        if (export_.digits != nullptr) {
            return {export_.negative != 0,
                    {static_cast<const digit*>(export_.digits), static_cast<std::size_t>(export_.ndigits)}};
        }
        const bool negative = export_.value < 0;
        // Modular negation: the magnitude of INT64_MIN too.
        std::uint64_t value = static_cast<std::uint64_t>(export_.value);
        if (negative) value = 0 - value;
        std::size_t count = 0;
        for (; value != 0; value >>= kDigitBits) small_[count++] = static_cast<digit>(value & kDigitMask);
        return {negative, {small_, count}};
    }

private:
    PyLongExport export_{};
    bool exported_;
    digit small_[(kWordBits + kDigitBits - 1) / kDigitBits];
};
#else
// The digits in place. From 3.12 the sign (0 positive, 1 zero, 2 negative)
// and the digit count share lv_tag; before, the count is ob_size, negated for
// a negative int.
class ExportedInt {
public:
    explicit ExportedInt(PyObject* item) noexcept : item_(reinterpret_cast<const PyLongObject*>(item)) {}

    bool exported() const noexcept { return true; }

    Magnitude magnitude() const noexcept {
#if PY_VERSION_HEX >= 0x030C0000
        const std::uintptr_t tag = item_->long_value.lv_tag;
        return {(tag & _PyLong_SIGN_MASK) == 2, {item_->long_value.ob_digit, tag >> _PyLong_NON_SIZE_BITS}};
#else
        const Py_ssize_t size = Py_SIZE(item_);
        return {size < 0, {item_->ob_digit, static_cast<std::size_t>(size < 0 ? -size : size)}};
#endif
    }

private:
    const PyLongObject* item_;
};
#endif

// A new int of `count` digits (at least one, the top one nonzero), which
// fill(digits) writes.
template <class Fill>
PyRef new_int(bool negative, std::size_t count, Fill&& fill) {
#if PY_VERSION_HEX >= 0x030E0000
    void* digits = nullptr;
    PyLongWriter* writer = PyLongWriter_Create(negative ? 1 : 0, static_cast<Py_ssize_t>(count), &digits);
    if (writer == nullptr) return {};
    fill(static_cast<digit*>(digits));
    return PyRef::steal(PyLongWriter_Finish(writer));
#else
    PyLongObject* result = _PyLong_New(static_cast<Py_ssize_t>(count));
    if (result == nullptr) return {};
#if PY_VERSION_HEX >= 0x030C0000
    fill(result->long_value.ob_digit);
    if (negative) result->long_value.lv_tag = (result->long_value.lv_tag & ~std::uintptr_t{_PyLong_SIGN_MASK}) | 2;
#else
    fill(result->ob_digit);
    if (negative) Py_SET_SIZE(result, -static_cast<Py_ssize_t>(count));
#endif
    return PyRef::steal(reinterpret_cast<PyObject*>(result));
#endif
}

// 960 bits are a whole number of words and of digits (of 30 or of 15 bits),
// so blocks of that many convert with shifts fixed at compile time.
constexpr std::size_t kBlockBits = std::lcm(std::size_t{kBitsPerWord}, std::size_t{kDigitBits});
constexpr std::size_t kBlockWords = kBlockBits / kBitsPerWord;
constexpr std::size_t kBlockDigits = kBlockBits / kDigitBits;

template <std::size_t d>
void word_block_to_digit(const Word* words, digit* digits) noexcept {
    constexpr std::size_t k = d * kDigitBits / kBitsPerWord;
    constexpr std::size_t offset = d * kDigitBits % kBitsPerWord;
    Word value = words[k] >> offset;
    if constexpr (offset + kDigitBits > kBitsPerWord) value |= words[k + 1] << (kBitsPerWord - offset);
    digits[d] = static_cast<digit>(value & kDigitMask);
}

template <std::size_t d>
void digit_to_word_block(const digit* digits, Word* words) noexcept {
    constexpr std::size_t k = d * kDigitBits / kBitsPerWord;
    constexpr std::size_t offset = d * kDigitBits % kBitsPerWord;
    const Word value = digits[d];
    words[k] |= value << offset;
    if constexpr (offset + kDigitBits > kBitsPerWord) words[k + 1] |= value >> (kBitsPerWord - offset);
}

void word_block_to_digits(const Word* words, digit* digits) noexcept {
    // Rows are mostly zero words below their element and often above.
    Word any = 0;
    for (std::size_t k = 0; k < kBlockWords; ++k) any |= words[k];
    if (any == 0) {
        std::fill_n(digits, kBlockDigits, digit{0});
        return;
    }
    [&]<std::size_t... d>(std::index_sequence<d...>) {
        (word_block_to_digit<d>(words, digits), ...);
    }(std::make_index_sequence<kBlockDigits>());
}

void digit_block_to_words(const digit* digits, Word* words) noexcept {
    std::fill_n(words, kBlockWords, Word{0});
    [&]<std::size_t... d>(std::index_sequence<d...>) {
        (digit_to_word_block<d>(digits, words), ...);
    }(std::make_index_sequence<kBlockDigits>());
}

// Digits into words that are zero on entry; false when the digits hold a bit
// beyond the words. Blocks of zero digits are skipped: the ints of a row
// matrix are mostly the zeros below their element, and the words they would
// write are best left untouched.
bool digits_to_zeroed_words(std::span<const digit> digits, std::span<Word> words) noexcept {
    if (!digits.empty()) {
        const std::size_t bits =
            (digits.size() - 1) * kDigitBits + static_cast<std::size_t>(std::bit_width(digits.back()));
        if (bits > words.size() * kWordBits) return false;
    }
    const std::size_t whole = std::min(digits.size() / kBlockDigits, words.size() / kBlockWords);
    for (std::size_t b = 0; b < whole; ++b) {
        const digit* block = digits.data() + b * kBlockDigits;
        digit any = 0;
        for (std::size_t d = 0; d < kBlockDigits; ++d) any |= block[d];
        if (any != 0) digit_block_to_words(block, words.data() + b * kBlockWords);
    }
    // The rest through a zero-padded block: the digits left over hold no bit
    // beyond the words, so neither does the part of the block that is kept.
    const std::span<const digit> rest = digits.subspan(whole * kBlockDigits);
    if (rest.empty()) return true;
    digit tail_digits[kBlockDigits] = {};
    Word tail_words[kBlockWords];
    std::ranges::copy(rest.first(std::min(rest.size(), kBlockDigits)), tail_digits);
    digit_block_to_words(tail_digits, tail_words);
    const std::span<Word> out = words.subspan(whole * kBlockWords);
    std::copy_n(tail_words, std::min(out.size(), kBlockWords), out.begin());
    return true;
}

// Words into exactly digits.size() digits, zeros beyond the words.
void words_to_digits(std::span<const Word> words, std::span<digit> digits) noexcept {
    const std::size_t whole = std::min(digits.size() / kBlockDigits, words.size() / kBlockWords);
    for (std::size_t b = 0; b < whole; ++b) {
        word_block_to_digits(words.data() + b * kBlockWords, digits.data() + b * kBlockDigits);
    }
    Word tail_words[kBlockWords] = {};
    digit tail_digits[kBlockDigits];
    const std::span<const Word> rest = words.subspan(whole * kBlockWords);
    std::span<digit> out = digits.subspan(whole * kBlockDigits);
    std::ranges::copy(rest.first(std::min(rest.size(), kBlockWords)), tail_words);
    word_block_to_digits(tail_words, tail_digits);
    std::copy_n(tail_digits, std::min(out.size(), kBlockDigits), out.begin());
}

// The int of the given sign whose magnitude is the words.
PyRef magnitude_to_python(std::span<const Word> words, bool negative) {
    std::size_t used = words.size();
    while (used > 0 && words[used - 1] == 0) --used;
    // Up to one word the interpreter's own constructors, which share the small ints.
    constexpr Word kMostNegative = Word{1} << (kWordBits - 1);
    if (used == 0) return PyRef::steal(PyLong_FromLong(0));
    if (used == 1 && !negative) return PyRef::steal(PyLong_FromUnsignedLongLong(words[0]));
    if (used == 1 && words[0] <= kMostNegative) {
        return PyRef::steal(PyLong_FromLongLong(static_cast<long long>(0 - words[0])));
    }
    const std::size_t bits = (used - 1) * kWordBits + static_cast<std::size_t>(std::bit_width(words[used - 1]));
    const std::size_t count = bits / kDigitBits + (bits % kDigitBits != 0);
    return new_int(negative, count, [&](digit* digits) { words_to_digits(words.first(used), {digits, count}); });
}

// Checked successor ints lent to the closure, and its closed rows made into
// new ints as they come, their digits copied as they are.
class SuccessorInts final : public closure::SuccessorDigits<digit> {
public:
    SuccessorInts(std::span<const PyRef> given, std::vector<PyRef>& closed)
        : given_(given), closed_(closed), small_(given.size()) {
        closed_.clear();
        closed_.resize(given.size());
    }

    std::span<const digit> given(std::size_t i) noexcept override {
        // Exporting a checked int cannot fail, nor can it be negative.
        lent_.reset();
        lent_.emplace(given_[i].get());
        return lent_->magnitude().digits;
    }

    std::optional<std::span<const digit>> store(std::size_t i, std::span<const digit> closed) noexcept override {
        if (closed.size() <= small_[i].size()) {
            // The interpreter's own constructor, which shares its small ints;
            // the digits the closure reads again stay here.
            std::ranges::copy(closed, small_[i].begin());
            Word value = 0;
            for (std::size_t d = closed.size(); d-- > 0;) value = value << kDigitBits | closed[d];
            closed_[i] = PyRef::steal(PyLong_FromUnsignedLongLong(value));
            if (!closed_[i]) return std::nullopt;
            return closed.empty() ? std::span<const digit>() : std::span<const digit>(small_[i].data(), closed.size());
        }
        const digit* stored = nullptr;
        closed_[i] = new_int(false, closed.size(), [&](digit* digits) {
            std::ranges::copy(closed, digits);
            stored = digits;
        });
        if (!closed_[i]) return std::nullopt;
        return std::span<const digit>(stored, closed.size());
    }

private:
    std::span<const PyRef> given_;
    std::vector<PyRef>& closed_;
    std::optional<ExportedInt> lent_;
    std::vector<std::array<digit, 2>> small_;
};

}  // namespace

bool int_holds_words(PyObject* item, std::span<const Word> words, std::span<Word> scratch) noexcept {
    ExportedInt exported(item);
    if (!exported.exported()) {
        PyErr_Clear();  // not its own digits, then: the words serve instead
        return false;
    }
    const Magnitude magnitude = exported.magnitude();
    if (magnitude.negative) return false;
    std::ranges::fill(scratch, Word{0});
    return digits_to_zeroed_words(magnitude.digits, scratch) && std::ranges::equal(scratch, words);
}

WordsFit check_successor_int(PyObject* item, std::size_t max_bits, std::size_t n, std::size_t i,
                             std::optional<KernelError>* row_error) noexcept {
    ExportedInt exported(item);
    if (!exported.exported()) return WordsFit::failed;
    const Magnitude magnitude = exported.magnitude();
    if (magnitude.negative || closure::bit_length(magnitude.digits) > max_bits) return WordsFit::negative_or_too_wide;
    if (row_error != nullptr) *row_error = closure::successor_row_error(n, i, magnitude.digits);
    return WordsFit::fits;
}

bool close_successor_ints(std::span<const PyRef> given, std::vector<PyRef>& closed, InterruptPoll interrupt) {
    // Refused here if the closed rows could not fit, rather than failing once
    // memory is gone. Closed row i is empty where given row i is, else it
    // reaches no higher than the longest given row from i up.
    const std::size_t n = given.size();
    std::size_t bytes = 0;
    std::size_t longest = 0;
    for (std::size_t i = n; i-- > 0;) {
        const std::size_t length = closure::bit_length(ExportedInt(given[i].get()).magnitude().digits);
        longest = std::max(longest, length);
        const std::size_t int_bytes = sizeof(PyLongObject) + (longest / kDigitBits + 1) * sizeof(digit);
        if (length != 0 && __builtin_add_overflow(bytes, int_bytes, &bytes)) throw std::bad_alloc();
    }
    ensure_memory_fits(bytes);
    SuccessorInts rows(given, closed);
    const KernelResult<void> done = closure::close_successor_rows(n, rows, interrupt);
    if (done) return true;
    closed.clear();
    return raise_kernel_error(done.error());
}

WordsFit int_to_zeroed_words(PyObject* item, std::span<Word> words) noexcept {
    ExportedInt exported(item);
    if (!exported.exported()) return WordsFit::failed;
    const Magnitude magnitude = exported.magnitude();
    if (magnitude.negative) return WordsFit::negative_or_too_wide;
    return digits_to_zeroed_words(magnitude.digits, words) ? WordsFit::fits : WordsFit::negative_or_too_wide;
}

PyRef to_python_words(std::span<const Word> words, bool is_signed) {
    const bool negative = is_signed && !words.empty() && (words.back() >> (kWordBits - 1)) != 0;
    if (!negative) return magnitude_to_python(words, false);
    // The magnitude of a two's complement value: invert and add one.
    std::vector<Word> magnitude(words.size());
    Word carry = 1;
    for (std::size_t k = 0; k < words.size(); ++k) {
        magnitude[k] = ~words[k] + carry;
        carry = carry != 0 && magnitude[k] == 0;
    }
    return magnitude_to_python(magnitude, true);
}

}  // namespace quorvane::py
