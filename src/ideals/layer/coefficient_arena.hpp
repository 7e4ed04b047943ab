// Storage for the polynomials: chunks that never move what they have handed
// out, so that a polynomial is named by a plain pointer, for the memoised
// ones; a stack for those needed only for a while.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "../../common/kernel_types.hpp"

namespace quorvane::ideals {

inline constexpr std::size_t kCoefficientAlignment = alignof(unsigned __int128);

// Rounds a size up to keep every block aligned for any coefficient type.
inline std::size_t round_up_coefficients(std::size_t size) noexcept {
    return (size + kCoefficientAlignment - 1) & ~(kCoefficientAlignment - 1);
}

class CoefficientArena {
public:
    std::size_t bytes() const noexcept { return bytes_; }

    // `count` zeroed values of T, aligned for any coefficient type. The
    // chunks come zeroed and are never reused.
    template <class T>
    T* allocate_zeroed(std::size_t count) {
        const std::size_t size = round_up_coefficients(checked_size(count, sizeof(T)));
        if (size > free_) add_chunk(size);
        std::byte* block = next_;
        next_ += size;
        free_ -= size;
        return std::launder(reinterpret_cast<T*>(block));
    }

private:
    static constexpr std::size_t kAlignment = kCoefficientAlignment;
    // Chunks double from a small first one, which a call with few sets
    // clears in no time, to a size that comes straight from the system, on
    // huge pages where it grants them: the memo's reads land anywhere in
    // the chunks, and small pages would cost a TLB miss each.
    static constexpr std::size_t kFirstChunkBytes = std::size_t{64} << 10;
    static constexpr std::size_t kLargestChunkBytes = std::size_t{4} << 20;
    static constexpr std::size_t kMappedChunkBytes = kLargestChunkBytes / 2;

    void add_chunk(std::size_t at_least) {
        const std::size_t size = round_up_coefficients(std::max(next_chunk_bytes_, at_least));
        chunks_.reserve(chunks_.size() + 1);
        chunks_.emplace_back(size / sizeof(std::uint64_t), kMappedChunkBytes);
        next_ = reinterpret_cast<std::byte*>(chunks_.back().data());
        free_ = size;
        bytes_ += size;
        next_chunk_bytes_ = std::min(2 * next_chunk_bytes_, kLargestChunkBytes);
    }

    std::size_t bytes_ = 0;
    std::vector<ZeroedWords> chunks_;
    std::byte* next_ = nullptr;
    std::size_t free_ = 0;
    std::size_t next_chunk_bytes_ = kFirstChunkBytes;
};

// A stack of zeroed blocks, taken back down to a mark, in one block of a
// size the caller bounds: its use never exceeds `bytes` after rounding.
class CoefficientStack {
public:
    explicit CoefficientStack(std::size_t bytes)
        : block_(bytes == 0 ? nullptr : new std::byte[bytes]), top_(block_.get()) {}

    template <class T>
    T* allocate_zeroed(std::size_t count) noexcept {
        const std::size_t size = round_up_coefficients(count * sizeof(T));
        std::byte* block = std::exchange(top_, top_ + size);
        std::memset(block, 0, size);
        return std::launder(reinterpret_cast<T*>(block));
    }

    std::byte* mark() const noexcept { return top_; }
    void release_to(std::byte* mark) noexcept { top_ = mark; }

private:
    static_assert(kCoefficientAlignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    std::unique_ptr<std::byte[]> block_;
    std::byte* top_;
};

}  // namespace quorvane::ideals
