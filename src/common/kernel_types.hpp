// Types shared by every kernel: bit rows, 128-bit element masks, the kernel
// error value and the interrupt poll. Nothing here knows about Python.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

#include "zeroed_words.hpp"

namespace quorvane {

using Word = std::uint64_t;
using Mask128 = unsigned __int128;
inline constexpr std::size_t kWordBits = 64;

constexpr std::size_t row_words(std::size_t n) noexcept { return n / kWordBits + (n % kWordBits != 0); }
constexpr std::size_t word_of(std::size_t i) noexcept { return i / kWordBits; }
constexpr Word bit_of(std::size_t i) noexcept { return Word{1} << (i % kWordBits); }

// A kernel's failure: one static message. A null message means the call was
// interrupted and the caller already holds the reason.
struct KernelError {
    const char* message;
    bool interrupted() const noexcept { return message == nullptr; }
};

inline constexpr KernelError kInterrupted{nullptr};

template <class T>
using KernelResult = std::expected<T, KernelError>;

// Handed to long kernels, which call it at coarse intervals; true means stop.
struct InterruptPoll {
    bool (*poll)(void*) = nullptr;
    void* context = nullptr;
    bool operator()() const { return poll != nullptr && poll(context); }
};

// a * b, or std::bad_alloc when the product does not fit: sizes that overflow
// cannot be allocated anyway.
inline std::size_t checked_size(std::size_t a, std::size_t b) {
    std::size_t product;
    if (__builtin_mul_overflow(a, b, &product)) throw std::bad_alloc();
    return product;
}

// Calls visit(index) for every set bit of the words, in ascending order;
// `first_index` is the element number of bit 0 of words[0]. A visit that
// returns bool ends the walk by returning false, and the walk returns false.
template <class Visit>
inline bool for_each_bit(std::span<const Word> words, std::size_t first_index, Visit&& visit) {
    for (std::size_t k = 0; k < words.size(); ++k) {
        for (Word w = words[k]; w != 0; w &= w - 1) {
            const std::size_t index = first_index + k * kWordBits + static_cast<std::size_t>(std::countr_zero(w));
            if constexpr (std::is_same_v<std::invoke_result_t<Visit&, std::size_t>, bool>) {
                if (!visit(index)) return false;
            } else {
                visit(index);
            }
        }
    }
    return true;
}

// n rows of row_words(n) words in one block; bits at n and above stay zero.
class BitMatrix {
public:
    BitMatrix() = default;
    explicit BitMatrix(std::size_t n) : n_(n), words_(row_words(n)), data_(checked_size(n, row_words(n))) {}

    std::size_t size() const noexcept { return n_; }
    std::size_t words() const noexcept { return words_; }

    std::span<Word> row(std::size_t i) noexcept { return {data_.data() + i * words_, words_}; }
    std::span<const Word> row(std::size_t i) const noexcept { return {data_.data() + i * words_, words_}; }

    bool test(std::size_t i, std::size_t j) const noexcept { return (data_[i * words_ + word_of(j)] & bit_of(j)) != 0; }
    void set(std::size_t i, std::size_t j) noexcept { data_[i * words_ + word_of(j)] |= bit_of(j); }

private:
    std::size_t n_ = 0;
    std::size_t words_ = 0;
    ZeroedWords data_;
};

// Row i: every element strictly above i (all of them greater than i).
using ReachabilityRows = BitMatrix;
// Row i: the successors of i as given by the caller.
using SuccessorRows = BitMatrix;

}  // namespace quorvane
