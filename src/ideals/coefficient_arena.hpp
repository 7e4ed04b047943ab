// Storage for the memoised polynomials: chunks that never move what they
// have handed out, so that a polynomial is named by a plain pointer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace quorvane::ideals {

class CoefficientArena {
public:
    std::size_t bytes() const noexcept { return bytes_; }

    // `count` zeroed values of T, aligned for any coefficient type.
    template <class T>
    T* allocate_zeroed(std::size_t count) {
        const std::size_t size = round_up(count * sizeof(T));
        if (size > free_) add_chunk(size);
        std::byte* block = next_;
        next_ += size;
        free_ -= size;
        std::memset(block, 0, size);
        return std::launder(reinterpret_cast<T*>(block));
    }

private:
    static constexpr std::size_t kAlignment = alignof(unsigned __int128);
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

    static std::size_t round_up(std::size_t size) noexcept { return (size + kAlignment - 1) & ~(kAlignment - 1); }

    struct ChunkDeleter {
        void operator()(std::byte* chunk) const noexcept { ::operator delete(chunk, std::align_val_t{kAlignment}); }
    };

    void add_chunk(std::size_t at_least) {
        const std::size_t size = std::max(kChunkBytes, at_least);
        chunks_.reserve(chunks_.size() + 1);
        chunks_.emplace_back(static_cast<std::byte*>(::operator new(size, std::align_val_t{kAlignment})));
        next_ = chunks_.back().get();
        free_ = size;
        bytes_ += size;
    }

    std::size_t bytes_ = 0;
    std::vector<std::unique_ptr<std::byte[], ChunkDeleter>> chunks_;
    std::byte* next_ = nullptr;
    std::size_t free_ = 0;
};

}  // namespace quorvane::ideals
