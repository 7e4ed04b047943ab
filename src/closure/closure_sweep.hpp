// The backward pass that closes successor rows into reachability rows, for
// rows of any unit: the 64-bit words of a bit matrix, or the digits of big
// numbers (element j at bit j mod B of unit j div B, B bits to a unit).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <span>
#include <vector>

#include "../common/kernel_types.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {

// Rows supplies, for the sweep:
//   Unit, kUnitBits                    the unit type and the bits it holds;
//   given(i) -> span<const Unit>       row i as given, units from 0, at most
//                                      units(n) of them; read before store(i);
//   store(i, closed) -> bool           row i closed: `closed` holds units from 0,
//                                      the last nonzero (none for an empty row);
//                                      false stops the sweep;
//   closed(j) -> const Unit*           row j as stored, for j above the row in hand.
//
// Closes from the top down, so that a successor's row is final when it is
// read. Of the given successors only those not yet reached contribute (one
// reached through an earlier successor brings nothing new), and of those only
// the ones whose row is not empty; each contributes the units its row spans.
// Most units of most rows hold no such successor, so the scan over them stays
// free of everything else.
template <class Rows>
class ClosureSweep {
public:
    using Unit = typename Rows::Unit;
    static constexpr std::size_t kBits = Rows::kUnitBits;

    static constexpr std::size_t units(std::size_t n) noexcept { return n / kBits + (n % kBits != 0); }

    ClosureSweep(Rows& rows, std::size_t n, InterruptPoll interrupt)
        : rows_(rows), n_(n), budget_(interrupt), reached_(units(n)), nonempty_(units(n)), span_end_(n) {}

    // False when the budget's poll or a store asks to stop.
    [[gnu::always_inline]] bool run() noexcept {
        const std::size_t count = reached_.size();
        Unit* reached = reached_.data();
        for (std::size_t i = n_; i-- > 0;) {
            const std::size_t first = unit_of(i);
            std::fill(reached + first, reached + count, Unit{0});
            if (budget_.charge(count - first)) return false;
            const std::span<const Unit> given = rows_.given(i);
            const Unit* nonempty = nonempty_.data();
            for (std::size_t k = first; k < given.size(); ++k) {
                if (given[k] == 0) continue;  // most units: nothing more to load
                const Unit candidates = given[k] & nonempty[k];
                if (static_cast<Unit>(candidates & ~reached[k]) != 0 && !absorb(candidates, k)) return false;
                // Rows absorbed later start above unit k: the given bits join here.
                reached[k] |= given[k];
            }
            std::size_t end = count;
            while (end > first && reached[end - 1] == 0) --end;
            // Units below `first` were never written: they are zero, and an
            // empty row has none.
            if (end == first) end = 0;
            if (!rows_.store(i, std::span<const Unit>(reached, end))) return false;
            span_end_[i] = end;
            if (end != 0) nonempty_[first] |= bit_in(i);
        }
        return true;
    }

private:
    static constexpr std::size_t unit_of(std::size_t j) noexcept { return j / kBits; }
    static constexpr Unit bit_in(std::size_t j) noexcept { return static_cast<Unit>(Unit{1} << (j % kBits)); }

    // Ors into the reached set the rows of the candidates in unit k that are
    // not reached yet, each after those before it. With word units whether
    // one is reached is a branch: the next candidate then does not wait for
    // the row just ored in, as the processor runs ahead on the predicted
    // branch. Digit units hold fewer candidates each, and there masking the
    // reached ones out of those left measured faster. False when the budget's
    // poll asks to stop.
    [[gnu::always_inline]] bool absorb(Unit candidates, std::size_t k) noexcept {
        constexpr bool kBranch = sizeof(Unit) == sizeof(Word);
        if constexpr (!kBranch) candidates &= static_cast<Unit>(~reached_[k]);
        for (Unit open = candidates; open != 0;) {
            const std::size_t j = k * kBits + static_cast<std::size_t>(std::countr_zero(open));
            open &= static_cast<Unit>(open - 1);
            if constexpr (kBranch) {
                if (static_cast<Unit>(reached_[k] & bit_in(j)) != 0) continue;
            }
            // Locals, so that the compiler need not reread them after each store.
            const Unit* above = rows_.closed(j);
            Unit* reached = reached_.data();
            const std::size_t begin = unit_of(j);
            const std::size_t end = span_end_[j];
            for (std::size_t m = begin; m < end; ++m) reached[m] |= above[m];
            if (budget_.charge(end - begin)) return false;
            if constexpr (!kBranch) open &= static_cast<Unit>(~reached_[k]);
        }
        return true;
    }

    Rows& rows_;
    std::size_t n_;
    WorkBudget budget_;
    std::vector<Unit> reached_;
    std::vector<Unit> nonempty_;         // closed rows with at least one element above
    std::vector<std::size_t> span_end_;  // one past the last nonzero unit of each closed row
};

}  // namespace quorvane::closure
