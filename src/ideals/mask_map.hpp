// Open-addressing hash map from nonempty element masks to values: the memo
// tables and ideal layers, probed millions of times per call.
//
// Such a table grows with the work, to a gigabyte or more, and moving,
// clearing or visiting all of its slots takes a second, as do taking its
// fresh pages from the system and giving them back: each of these charges the
// call's work budget slice by slice, so that a poll comes between any two
// slices. When the poll asks to stop, the table unwinds with Interrupted, but
// for the freeing, which goes on to the end and leaves the stop to the budget.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "../common/kernel_types.hpp"
#include "../common/work_budget.hpp"
#include "../common/zeroed_words.hpp"

namespace quorvane::ideals {

// Masks met together differ in few bits; the multiplications spread those
// bits over the whole word, whose top bits pick the slot.
inline std::uint64_t mask_hash(Mask128 key) noexcept {
    std::uint64_t h = static_cast<std::uint64_t>(key) ^
                      static_cast<std::uint64_t>(key >> kWordBits) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ULL;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ULL;
    return h;
}

template <class Value>
class MaskMap {
public:
    explicit MaskMap(WorkBudget& budget) : MaskMap(budget, kMinCapacity) {}
    ~MaskMap() { free_by_slices(); }

    // A map moved from holds no slots: it may only be assigned or destroyed.
    MaskMap(MaskMap&& other) noexcept { swap(other); }
    MaskMap& operator=(MaskMap&& other) noexcept {
        MaskMap(std::move(other)).swap(*this);
        return *this;
    }

    std::size_t size() const noexcept { return size_; }
    // Whether inserting a new key grows the table.
    bool full() const noexcept { return size_ >= most_entries_; }

    const Value* find(Mask128 key) const noexcept {
        for (std::size_t i = home(key);; i = (i + 1) & index_mask_) {
            const Slot& slot = slots_[i];
            if (slot.key == key) return &slot.value;
            if (slot.key == 0) return nullptr;
        }
    }

    // The value under `key`, value-initialised if the key is new, and whether
    // it is new. The pointer is valid until the next insertion.
    [[gnu::always_inline]] std::pair<Value*, bool> insert(Mask128 key) { return insert(key, mask_hash(key)); }

    // The same for a key whose mask_hash is known, as after a prefetch.
    [[gnu::always_inline]] std::pair<Value*, bool> insert(Mask128 key, std::uint64_t hash) {
        if (size_ >= most_entries_) grow();
        for (std::size_t i = home_of(hash);; i = (i + 1) & index_mask_) {
            Slot& slot = slots_[i];
            if (slot.key == key) return {&slot.value, false};
            if (slot.key == 0) {
                slot.key = key;
                slot.value = Value{};
                ++size_;
                return {&slot.value, true};
            }
        }
    }

    // Removes `key`, which must be present, and returns its value. Later
    // entries of the run move back into the gap where their home allows, so
    // that lookups never need to skip removed slots.
    Value take(Mask128 key) noexcept {
        std::size_t gap = home(key);
        while (slots_[gap].key != key) gap = (gap + 1) & index_mask_;
        const Value value = slots_[gap].value;
        for (std::size_t i = (gap + 1) & index_mask_; slots_[i].key != 0; i = (i + 1) & index_mask_) {
            const std::size_t from_home = (i - home(slots_[i].key)) & index_mask_;
            if (from_home >= ((i - gap) & index_mask_)) {
                slots_[gap] = slots_[i];
                gap = i;
            }
        }
        slots_[gap].key = 0;
        --size_;
        return value;
    }

    void prefetch(Mask128 key) const noexcept { prefetch_hashed(mask_hash(key)); }
    // The slot after the home too: probes go on there often enough, and it
    // may lie in the next cache line.
    void prefetch_hashed(std::uint64_t hash) const noexcept {
        const Slot* home = &slots_[home_of(hash)];
        __builtin_prefetch(home);
        __builtin_prefetch(home + 1);
    }

    // Visits the entries in slot order while visit(key, value) returns true;
    // returns whether all were visited.
    template <class Visit>
    bool for_each(Visit&& visit) const {
        return by_slices(slots(), kSlotWords, [&](std::span<const Slot> slice) {
            for (const Slot& slot : slice) {
                if (slot.key != 0 && !visit(slot.key, slot.value)) return false;
            }
            return true;
        });
    }

    // Room for `entries` without growing. Filling a small table from a
    // larger one in slot order would pile every key onto the first slots.
    void reserve(std::size_t entries) {
        const std::size_t capacity = capacity_for(entries);
        if (capacity > capacity_of()) rehash(capacity);
    }

    // Keeps the entries for which keep(key, value) holds. The capacity stays:
    // a pruned layer table fills up again.
    template <class Keep>
    void retain_if(Keep&& keep) {
        std::vector<Slot> kept;
        for_each([&](Mask128 key, const Value& value) {
            if (keep(key, value)) kept.push_back(Slot{{key, value}});
            return true;
        });
        free_all();
        size_ = kept.size();
        place_all(std::span<const Slot>(kept));
    }

    // Empties the map, sized for about as many entries as it held: a layer
    // table is refilled with a layer of similar size.
    void clear() {
        const std::size_t capacity = capacity_for(size_);
        size_ = 0;
        if (capacity < capacity_of()) {
            MaskMap(*budget_, capacity).swap(*this);
        } else {
            free_all();
        }
    }

private:
    struct PackedSlot {
        Mask128 key;  // 0: free; the empty set is never stored
        Value value;
    };
    // A slot of a power of two up to a cache line starts at a multiple of its
    // size, so that one probe touches one line. Others would lose more to the
    // padding than the probes gain: they take two lines where they must.
    static constexpr std::size_t kSlotAlignment = std::has_single_bit(sizeof(PackedSlot)) && sizeof(PackedSlot) <= 64
                                                      ? sizeof(PackedSlot)
                                                      : alignof(PackedSlot);

    struct alignas(kSlotAlignment) Slot : PackedSlot {};

    static_assert(std::is_trivially_copyable_v<Slot> && kSlotAlignment % sizeof(Word) == 0);

    // Work units charged per slot passed in order, a word each, and per
    // entry moved to a slot anywhere in the table, which misses the caches.
    static constexpr std::uint64_t kSlotWords = sizeof(Slot) / sizeof(Word);
    static constexpr std::uint64_t kPlaceWork = 64;
    // Slots per charge: well under a millisecond of work.
    static constexpr std::size_t kSliceSlots = std::size_t{1} << 10;
    // Words in the smallest page.
    static constexpr std::size_t kPageWords = 512;

    // Tables from this size on come from the system on huge pages where it
    // grants them: their probes land anywhere, and on small pages nearly every
    // one would also miss the address translation cache.
    static constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
    // Words given back to the system per charge.
    static constexpr std::size_t kFreeSliceWords = kHugePageBytes / sizeof(Word);

    static constexpr std::size_t kMinCapacity = 16;
    static constexpr std::size_t kLoadNumerator = 5;  // at most 5/8 full
    static constexpr std::size_t kLoadDenominator = 8;

    static std::size_t capacity_for(std::size_t entries) noexcept {
        std::size_t capacity = kMinCapacity;
        while (entries * kLoadDenominator > capacity * kLoadNumerator) capacity *= 2;
        return capacity;
    }

    std::size_t home(Mask128 key) const noexcept { return home_of(mask_hash(key)); }
    std::size_t home_of(std::uint64_t hash) const noexcept { return static_cast<std::size_t>(hash >> shift_); }

    std::size_t capacity_of() const noexcept { return slots_ == nullptr ? 0 : index_mask_ + 1; }
    std::span<Slot> slots() const noexcept { return {slots_, capacity_of()}; }

    // An empty map of `capacity` free slots. Zeroed storage is all free
    // slots; the words beyond them leave room to align them. The system
    // zeroes a fresh page where it is first written: written here in order,
    // the pages cost what they cost, charged, rather than all within the
    // first slices of entries placed into them.
    MaskMap(WorkBudget& budget, std::size_t capacity)
        : budget_(&budget),
          storage_(storage_words(capacity), kHugePageBytes - 1),
          index_mask_(capacity - 1),
          shift_(64 - static_cast<unsigned>(std::countr_zero(capacity))),
          most_entries_(capacity / kLoadDenominator * kLoadNumerator) {
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(storage_.data());
        slots_ = reinterpret_cast<Slot*>((start + kSlotAlignment - 1) / kSlotAlignment * kSlotAlignment);
        by_slices(std::span<Word>(storage_.data(), storage_words(capacity)), 1, [](std::span<Word> slice) {
            for (std::size_t i = 0; i < slice.size(); i += kPageWords) slice[i] = 0;
            return true;
        });
    }

    static std::size_t storage_words(std::size_t capacity) {
        return checked_size(capacity, sizeof(Slot) / sizeof(Word)) + kSlotAlignment / sizeof(Word);
    }

    [[gnu::cold, gnu::noinline]] void grow() { rehash(checked_size(capacity_of(), 2)); }

    // Interrupted, the map keeps its entries.
    void rehash(std::size_t capacity) {
        MaskMap grown(*budget_, capacity);
        grown.place_all(slots());
        grown.size_ = size_;
        swap(grown);
    }

    // Gives the storage back from its end, charging the budget for each
    // slice. The cuts fall on whole slices, where huge pages end.
    void free_by_slices() noexcept {
        for (std::size_t words = storage_words(capacity_of()); words > kFreeSliceWords;) {
            words = (words - 1) / kFreeSliceWords * kFreeSliceWords;
            storage_.shrink(words);
            (void)budget_->charge(kFreeSliceWords);
        }
    }

    // Calls work(slice) on consecutive slices of `all` while it returns true,
    // charging `units` per slot of each; returns whether it always did.
    template <class S, class Work>
    bool by_slices(std::span<S> all, std::uint64_t units, Work&& work) const {
        for (std::size_t first = 0; first < all.size(); first += kSliceSlots) {
            const std::span<S> slice = all.subspan(first, std::min(kSliceSlots, all.size() - first));
            if (!work(slice)) return false;
            budget_->charge_or_unwind(units * slice.size());
        }
        return true;
    }

    // Frees every slot.
    void free_all() {
        by_slices(slots(), kSlotWords, [](std::span<Slot> slice) {
            for (Slot& slot : slice) slot.key = 0;
            return true;
        });
    }

    // Places the entries among `from`, none of them in the table, skipping free slots.
    void place_all(std::span<const Slot> from) {
        by_slices(from, kPlaceWork, [this](std::span<const Slot> slice) {
            for (const Slot& slot : slice) {
                if (slot.key != 0) place(slot);
            }
            return true;
        });
    }

    // Puts a slot whose key is not in the table into the first free slot from its home.
    void place(const Slot& slot) noexcept {
        std::size_t i = home(slot.key);
        while (slots_[i].key != 0) i = (i + 1) & index_mask_;
        slots_[i] = slot;
    }

    void swap(MaskMap& other) noexcept {
        std::swap(budget_, other.budget_);
        std::swap(storage_, other.storage_);
        std::swap(slots_, other.slots_);
        std::swap(index_mask_, other.index_mask_);
        std::swap(shift_, other.shift_);
        std::swap(most_entries_, other.most_entries_);
        std::swap(size_, other.size_);
    }

    WorkBudget* budget_ = nullptr;
    ZeroedWords storage_;
    Slot* slots_ = nullptr;  // in storage_
    std::size_t index_mask_ = 0;
    unsigned shift_ = 0;
    std::size_t most_entries_ = 0;  // entries held before the table grows
    std::size_t size_ = 0;
};

}  // namespace quorvane::ideals
