// The ideal polynomial J(S) = sum over the ideals I of S of q^|I|, for the
// convex element sets S that the recursion meets. A disconnected S factors
// into its components. For a connected S and a chain c1 < ... < cm in it,
// the ideals that hold exactly c1..ck hold everything below ck and nothing
// above c(k+1), so
//     J(S) = sum over k of q^|S ∩ ↓ck| · J(S ∖ (↓ck ∪ ↑c(k+1))).
// A good chain cuts S into pieces that fall apart into further components,
// which keeps the number of distinct sets small.
#include "layer_methods.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

#include "mask_map.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint64_t kPollInterval = std::uint64_t{1} << 22;

enum class Stop : std::uint8_t { over_budget, interrupted };

// The coefficients of J(S) for every set met so far, |S| + 1 of them each,
// in one arena; a polynomial is named by its offset.
class PolynomialMemo {
public:
    PolynomialMemo(const OrderMasks& order, std::size_t max_coefficients, InterruptPoll interrupt)
        : order_(order), max_coefficients_(max_coefficients), interrupt_(interrupt), coefficients_{1} {}

    std::expected<LayerSizes, Stop> layer_sizes() {
        const std::expected<std::size_t, Stop> offset = polynomial(order_.all);
        if (!offset) return std::unexpected(offset.error());
        const auto first = coefficients_.begin() + static_cast<std::ptrdiff_t>(*offset);
        return LayerSizes(first, first + static_cast<std::ptrdiff_t>(order_.n + 1));
    }

private:
    static constexpr std::size_t kOne = 0;  // J(∅) = 1

    std::expected<std::size_t, Stop> polynomial(Mask128 set) {
        if (set == 0) return kOne;
        if (const std::size_t* known = memo_.find(set)) return *known;
        const std::size_t offset = coefficients_.size();
        const std::size_t length = element_count(set) + 1;
        if (length > max_coefficients_ - offset) return std::unexpected(Stop::over_budget);
        if (offset + length > coefficients_.capacity()) {
            // Doubling, but never past the budget.
            coefficients_.reserve(std::min(max_coefficients_, std::max(offset + length, 2 * coefficients_.capacity())));
        }
        coefficients_.resize(offset + length);
        const Mask128 first = order_.component_of(lowest_element(set), set);
        const std::expected<void, Stop> filled =
            first == set ? sum_over_chain(set, offset) : product_of_components(set, first, offset);
        if (!filled) return std::unexpected(filled.error());
        *memo_.insert(set).first = offset;
        return offset;
    }

    std::expected<void, Stop> sum_over_chain(Mask128 set, std::size_t offset) {
        const std::size_t chain_begin = chains_.size();
        push_splitting_chain(set);
        std::optional<Stop> stop;
        for_each_term(set, chain_begin, [&](Mask128 below, Mask128 rest) {
            const std::expected<std::size_t, Stop> part = polynomial(rest);
            if (!part) {
                stop = part.error();
                return false;
            }
            const std::size_t shift = element_count(below);
            const std::size_t length = element_count(rest) + 1;
            for (std::size_t j = 0; j < length; ++j) coefficients_[offset + shift + j] += coefficients_[*part + j];
            if (spend(length)) return true;
            stop = Stop::interrupted;
            return false;
        });
        chains_.resize(chain_begin);
        if (stop) return std::unexpected(*stop);
        return {};
    }

    // visit(S ∩ ↓ck, S ∖ (↓ck ∪ ↑c(k+1))) for k = 0..m over the chain
    // c1..cm stored from chains_[chain_begin], while visit returns true.
    template <class Visit>
    void for_each_term(Mask128 set, std::size_t chain_begin, Visit&& visit) const {
        Mask128 below = 0;
        for (std::size_t k = chain_begin;; ++k) {
            const bool last = k == chains_.size();
            const Mask128 above = last ? 0 : order_.at_or_above[chains_[k]] & set;
            if (!visit(below, set & ~(below | above)) || last) return;
            below = order_.at_or_below[chains_[k]] & set;
        }
    }

    // A longest chain cuts grid-like posets into independent pieces; where
    // chains are short (bipartite-like posets), the single element comparable
    // to most others shrinks both sides more. Of the two, the one whose pieces
    // have the smaller sum of 2^(component size), a rough bound on their
    // numbers of ideals, is used.
    void push_splitting_chain(Mask128 set) {
        const std::size_t chain_begin = chains_.size();
        push_longest_chain(set);
        if (chains_.size() - chain_begin == 1) return;
        const double chain_cost = pieces_cost(set, chain_begin);
        chains_.resize(chain_begin);
        chains_.push_back(most_comparable(set));
        if (pieces_cost(set, chain_begin) <= chain_cost) return;
        chains_.resize(chain_begin);
        push_longest_chain(set);
    }

    double pieces_cost(Mask128 set, std::size_t chain_begin) const {
        double cost = 0;
        for_each_term(set, chain_begin, [&](Mask128, Mask128 rest) {
            while (rest != 0) {
                const Mask128 component = order_.component_of(lowest_element(rest), rest);
                rest &= ~component;
                cost += std::ldexp(1.0, static_cast<int>(element_count(component)));
            }
            return true;
        });
        return cost;
    }

    std::uint8_t most_comparable(Mask128 set) const {
        std::size_t best = lowest_element(set);
        std::size_t best_count = 0;
        for_each_element(set, [&](std::size_t i) {
            const std::size_t count = element_count((order_.at_or_below[i] | order_.at_or_above[i]) & set);
            if (count > best_count) {
                best = i;
                best_count = count;
            }
        });
        return static_cast<std::uint8_t>(best);
    }

    // Multiplies the components' polynomials into place, highest degree first
    // so that each coefficient is read before it is overwritten. No sum can
    // overflow: every partial sum is at most a count of ideals of S.
    std::expected<void, Stop> product_of_components(Mask128 set, Mask128 component, std::size_t offset) {
        coefficients_[offset] = 1;
        std::size_t degree = 0;
        for (Mask128 rest = set;;) {
            const std::expected<std::size_t, Stop> part = polynomial(component);
            if (!part) return std::unexpected(part.error());
            const std::size_t part_degree = element_count(component);
            Count* product = coefficients_.data() + offset;
            const Count* factor = coefficients_.data() + *part;
            for (std::size_t i = degree + part_degree + 1; i-- > 0;) {
                const std::size_t j_low = i > degree ? i - degree : 0;
                const std::size_t j_high = i < part_degree ? i : part_degree;
                Count sum = 0;
                for (std::size_t j = j_low; j <= j_high; ++j) sum += product[i - j] * factor[j];
                product[i] = sum;
            }
            degree += part_degree;
            if (!spend((degree + 1) * (part_degree + 1))) return std::unexpected(Stop::interrupted);
            rest &= ~component;
            if (rest == 0) return {};
            component = order_.component_of(lowest_element(rest), rest);
        }
    }

    // A longest chain of `set` by the given edges within it (for a convex
    // set they generate its order), pushed lowest element first.
    void push_longest_chain(Mask128 set) {
        std::size_t end = lowest_element(set);
        for_each_element(set, [&](std::size_t i) {
            std::uint8_t length = 1;
            std::uint8_t previous = kNoElement;
            for_each_element(order_.predecessors[i] & set, [&](std::size_t p) {
                if (chain_length_[p] >= length) {
                    length = static_cast<std::uint8_t>(chain_length_[p] + 1);
                    previous = static_cast<std::uint8_t>(p);
                }
            });
            chain_length_[i] = length;
            chain_previous_[i] = previous;
            if (length > chain_length_[end]) end = i;
        });
        const std::size_t begin = chains_.size();
        chains_.resize(begin + chain_length_[end]);
        for (std::size_t k = chains_.size(); k-- > begin;) {
            chains_[k] = static_cast<std::uint8_t>(end);
            end = chain_previous_[end];
        }
    }

    bool spend(std::size_t work) {
        work_ += work;
        if (work_ < kPollInterval) return true;
        work_ = 0;
        return !interrupt_();
    }

    static constexpr std::uint8_t kNoElement = 0xFF;

    const OrderMasks& order_;
    std::size_t max_coefficients_;
    InterruptPoll interrupt_;
    std::vector<Count> coefficients_;
    MaskMap<std::size_t> memo_;
    std::vector<std::uint8_t> chains_;  // the chains of the sets being summed, outermost first
    std::array<std::uint8_t, kMaxElements> chain_length_{};
    std::array<std::uint8_t, kMaxElements> chain_previous_{};
    std::uint64_t work_ = 0;
};

}  // namespace

KernelResult<std::optional<LayerSizes>> layer_sizes_by_polynomial(const OrderMasks& order,
                                                                  std::size_t max_coefficients,
                                                                  InterruptPoll interrupt) {
    PolynomialMemo memo(order, max_coefficients, interrupt);
    std::expected<LayerSizes, Stop> sizes = memo.layer_sizes();
    if (sizes) return std::move(*sizes);
    if (sizes.error() == Stop::interrupted) return std::unexpected(kInterrupted);
    return std::nullopt;
}

}  // namespace quorvane::ideals
