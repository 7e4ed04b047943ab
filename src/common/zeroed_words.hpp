// Zero-filled storage for the words of a bit matrix. At tens of thousands of
// elements a matrix takes hundreds of megabytes, and filling it with zeros
// page by page costs more than the kernels that use it: large blocks come
// straight from the system, already zero and not yet touched, on huge pages
// where the system grants them.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace quorvane {

class ZeroedWords {
public:
    ZeroedWords() noexcept = default;

    // Blocks of more than `map_above` bytes come from the system.
    explicit ZeroedWords(std::size_t count, std::size_t map_above = kLargeBytes) {
        if (count == 0) return;
        if (count > map_above / sizeof(std::uint64_t)) {
            if (count > SIZE_MAX / sizeof(std::uint64_t)) throw std::bad_alloc();
            const std::size_t bytes = count * sizeof(std::uint64_t);
            void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (block == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
            madvise(block, bytes, MADV_HUGEPAGE);  // a request: refused, the block stays usable
#endif
            words_ = static_cast<std::uint64_t*>(block);
            mapped_bytes_ = bytes;
        } else {
            words_ = static_cast<std::uint64_t*>(std::calloc(count, sizeof(std::uint64_t)));
            if (words_ == nullptr) throw std::bad_alloc();
        }
    }

    ZeroedWords(ZeroedWords&& other) noexcept
        : words_(std::exchange(other.words_, nullptr)), mapped_bytes_(std::exchange(other.mapped_bytes_, 0)) {}
    ZeroedWords& operator=(ZeroedWords&& other) noexcept {
        ZeroedWords(std::move(other)).swap(*this);
        return *this;
    }
    ZeroedWords(const ZeroedWords&) = delete;
    ZeroedWords& operator=(const ZeroedWords&) = delete;

    ~ZeroedWords() {
        if (mapped_bytes_ != 0) {
            munmap(words_, mapped_bytes_);
        } else {
            std::free(words_);
        }
    }

    // Gives the pages past the first `count` words back to the system, in a
    // block from the system of more than that; other blocks stay whole. A
    // large block then need not be freed all at once: taking back its pages
    // costs the system about as much as handing them out.
    void shrink(std::size_t count) noexcept {
        const std::size_t kept = (count * sizeof(std::uint64_t) + kPageBytes - 1) / kPageBytes * kPageBytes;
        if (kept >= mapped_bytes_) return;
        munmap(reinterpret_cast<std::byte*>(words_) + kept, mapped_bytes_ - kept);
        mapped_bytes_ = kept;
        if (kept == 0) words_ = nullptr;
    }

    std::uint64_t* data() noexcept { return words_; }
    const std::uint64_t* data() const noexcept { return words_; }
    std::uint64_t& operator[](std::size_t i) noexcept { return words_[i]; }
    const std::uint64_t& operator[](std::size_t i) const noexcept { return words_[i]; }

private:
    // Below this the allocator may hand back a block that an earlier call
    // freed, its pages already in place, which is faster than fresh pages of
    // any size; above it, the allocator maps fresh pages too.
    static constexpr std::size_t kLargeBytes = std::size_t{32} << 20;
    // A multiple of every page size the system may use.
    static constexpr std::size_t kPageBytes = std::size_t{64} << 10;

    void swap(ZeroedWords& other) noexcept {
        std::swap(words_, other.words_);
        std::swap(mapped_bytes_, other.mapped_bytes_);
    }

    std::uint64_t* words_ = nullptr;
    std::size_t mapped_bytes_ = 0;  // nonzero for a block from the system
};

}  // namespace quorvane
