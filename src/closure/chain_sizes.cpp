#include "chain_sizes.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

using Length = std::uint64_t;

// The tuples of the elements still to be read, in slots that are reused once
// their element's last reader has read them.
class TupleSlots {
public:
    TupleSlots(std::size_t n, std::size_t max_bytes) : slot_of_(n), max_bytes_(max_bytes) {}

    // A zeroed tuple of `width` lengths for x; nothing past the byte limit.
    std::vector<Length>* take(std::size_t x, std::size_t width) {
        if (free_.empty()) {
            if (checked_size(slots_.size() + 1, checked_size(width, sizeof(Length))) > max_bytes_) return nullptr;
            free_.push_back(slots_.size());
            slots_.emplace_back();
        }
        slot_of_[x] = free_.back();
        free_.pop_back();
        std::vector<Length>& tuple = slots_[slot_of_[x]];
        tuple.assign(width, 0);
        return &tuple;
    }

    const std::vector<Length>& of(std::size_t x) const noexcept { return slots_[slot_of_[x]]; }
    void give_back(std::size_t x) { free_.push_back(slot_of_[x]); }

private:
    std::vector<std::size_t> slot_of_;
    std::vector<std::vector<Length>> slots_;
    std::vector<std::size_t> free_;
    std::size_t max_bytes_;
};

// Each length the larger of its own and `other`'s; `other` may be shorter.
void raise_to(std::vector<Length>& tuple, const std::vector<Length>& other) noexcept {
    for (std::size_t c = 0; c < other.size(); ++c) tuple[c] = std::max(tuple[c], other[c]);
}

Length total(std::span<const Length> tuple) noexcept { return std::accumulate(tuple.begin(), tuple.end(), Length{0}); }

class ChainSizes {
public:
    ChainSizes(const SuccessorLists& order, std::size_t max_chains, std::size_t max_bytes, InterruptPoll interrupt)
        : order_(order),
          max_chains_(max_chains),
          max_bytes_(max_bytes),
          budget_(interrupt),
          chain_of_(order.size()),
          position_(order.size()) {}

    enum class Outcome { done, too_wide, interrupted };

    // Upwards: x's tuple counts, chain by chain, the elements at or below it,
    // the largest of its lower covers' tuples and x itself. x goes on a chain
    // whose top lies below it, the chain of a lower cover if it is one's top:
    // a chain partition taken one element at a time, which on orders made of
    // lines side by side, as commit histories, follows the lines.
    Outcome ideals(std::vector<std::uint64_t>& ideal) {
        const std::size_t n = order_.size();
        TupleSlots tuples(n, max_bytes_);
        std::vector<std::size_t> readers(n);
        for (std::size_t x = 0; x < n; ++x) readers[x] = order_.first_edge(x + 1) - order_.first_edge(x);
        for (std::size_t x = 0; x < n; ++x) {
            std::vector<Length>* tuple = tuples.take(x, tops_.size());
            if (tuple == nullptr) return Outcome::too_wide;
            std::size_t chain = kNone;
            for (std::size_t e : order_.entering(x)) {
                const std::size_t lower = order_.lower(e);
                raise_to(*tuple, tuples.of(lower));
                if (chain == kNone && tops_[chain_of_[lower]] == lower) chain = chain_of_[lower];
                if (--readers[lower] == 0) tuples.give_back(lower);
            }
            for (std::size_t c = 0; chain == kNone && c < tops_.size(); ++c) {
                if ((*tuple)[c] == lengths_[c]) chain = c;
            }
            if (chain == kNone) {
                if (tops_.size() == max_chains_) return Outcome::too_wide;
                chain = tops_.size();
                tops_.push_back(x);
                lengths_.push_back(0);
                tuple->push_back(0);
            }
            chain_of_[x] = chain;
            position_[x] = lengths_[chain]++;
            tops_[chain] = x;
            (*tuple)[chain] = lengths_[chain];
            ideal[x] = total(*tuple);
            if (readers[x] == 0) tuples.give_back(x);
            if (budget_.charge((order_.entering(x).size() + 1) * tops_.size())) return Outcome::interrupted;
        }
        return Outcome::done;
    }

    // Downwards, on the chains just made: x's tuple counts the elements at or
    // above it, the largest of its upper covers' tuples and x itself.
    Outcome filters(std::vector<std::uint64_t>& filter) {
        const std::size_t n = order_.size();
        TupleSlots tuples(n, max_bytes_);
        std::vector<std::size_t> readers(n);
        for (std::size_t x = 0; x < n; ++x) readers[x] = order_.entering(x).size();
        for (std::size_t x = n; x-- > 0;) {
            std::vector<Length>* tuple = tuples.take(x, tops_.size());
            if (tuple == nullptr) return Outcome::too_wide;
            for (std::size_t e = order_.first_edge(x); e < order_.first_edge(x + 1); ++e) {
                const std::size_t upper = order_.upper(e);
                raise_to(*tuple, tuples.of(upper));
                if (--readers[upper] == 0) tuples.give_back(upper);
            }
            (*tuple)[chain_of_[x]] = lengths_[chain_of_[x]] - position_[x];
            filter[x] = total(*tuple);
            if (readers[x] == 0) tuples.give_back(x);
            const std::size_t edges = order_.first_edge(x + 1) - order_.first_edge(x);
            if (budget_.charge((edges + 1) * tops_.size())) return Outcome::interrupted;
        }
        return Outcome::done;
    }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};

    const SuccessorLists& order_;
    std::size_t max_chains_;
    std::size_t max_bytes_;
    WorkBudget budget_;
    std::vector<std::size_t> chain_of_;
    std::vector<Length> position_;  // of each element within its chain, from 0
    std::vector<std::size_t> tops_;  // the highest element of each chain so far
    std::vector<Length> lengths_;
};

}  // namespace

QUORVANE_DISPATCHED
KernelResult<std::optional<PrincipalSizes>> principal_sizes_by_chains(const SuccessorLists& order,
                                                                      std::size_t max_chains, std::size_t max_bytes,
                                                                      InterruptPoll interrupt) {
    const std::size_t n = order.size();
    PrincipalSizes sizes{std::vector<std::uint64_t>(n), std::vector<std::uint64_t>(n)};
    ChainSizes chains(order, max_chains, max_bytes, interrupt);
    ChainSizes::Outcome outcome = chains.ideals(sizes.ideal);
    if (outcome == ChainSizes::Outcome::done) outcome = chains.filters(sizes.filter);
    switch (outcome) {
        case ChainSizes::Outcome::interrupted: return std::unexpected(kInterrupted);
        case ChainSizes::Outcome::too_wide: return std::optional<PrincipalSizes>();
        case ChainSizes::Outcome::done: break;
    }
    return std::optional<PrincipalSizes>(std::move(sizes));
}

}  // namespace quorvane::closure
