// The ideal polynomial J(S) = sum over the ideals I of S of q^|I|, for the
// convex element sets S that the recursion meets. A disconnected S is the
// product of its components. In a connected S, an ideal either misses an
// element v, and then all of ↑v, or holds v and all of ↓v:
//     J(S) = J(S ∖ ↑v) + q^|S ∩ ↓v| · J(S ∖ ↓v).
// The element comparable to the most others shrinks both terms most and
// tends to break them into components. Only connected sets are memoised:
// the components recur across many different disconnected sets.
#include "layer_methods.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "coefficient_arena.hpp"
#include "mask_map.hpp"

namespace quorvane::ideals {
namespace {

// J(S) has at most 2^|S| ideals in all, so below 64 elements every
// coefficient and every partial sum fits in 64 bits.
using Narrow = std::uint64_t;
using Wide = Count;
constexpr bool fits_narrow(std::size_t elements) noexcept { return elements < 64; }

// A memo slot of 32 bytes at up to 5/8 load, with the table doubling.
constexpr std::size_t kTableBytesPerEntry = 96;
constexpr std::uint64_t kPollInterval = std::uint64_t{1} << 22;

struct Factor {
    const void* coefficients;  // Narrow or Wide, by the element count
    std::size_t elements;
};

class IdealPolynomials {
public:
    IdealPolynomials(const OrderMasks& order, std::size_t max_bytes, InterruptPoll interrupt)
        : order_(order), max_bytes_(max_bytes), interrupt_(interrupt),
          narrow_scratch_(order.n + 1), wide_scratch_(order.n + 1) {
        for (std::size_t i = 0; i < order.n; ++i) comparable_[i] = order.at_or_below[i] | order.at_or_above[i];
    }

    // Null when interrupted.
    std::optional<LayerSizes> layer_sizes() {
        LayerSizes sizes(order_.n + 1);
        if (!add_term(order_.all, 0, sizes.data())) return std::nullopt;
        return sizes;
    }

private:
    // J(set) of a connected set of at least three elements; null when interrupted.
    // Each call removes at least the pivot, so the recursion is at most n deep.
    const void* connected(Mask128 set) {
        if (const void* const* known = memo_.find(set)) return *known;
        const std::size_t elements = element_count(set);
        return fits_narrow(elements) ? sum_over_pivot<Narrow>(set, elements) : sum_over_pivot<Wide>(set, elements);
    }

    template <class T>
    const void* sum_over_pivot(Mask128 set, std::size_t elements) {
        T* sum = arena_.allocate_zeroed<T>(elements + 1);
        const std::size_t pivot = most_comparable(set);
        const Mask128 below = order_.at_or_below[pivot] & set;
        const Mask128 above = order_.at_or_above[pivot] & set;
        if (!add_term(set & ~above, 0, sum) || !add_term(set & ~below, element_count(below), sum)) return nullptr;
        *memo_.insert(set).first = sum;
        if (arena_.bytes() + memo_.size() * kTableBytesPerEntry > max_bytes_) throw std::bad_alloc();
        return sum;
    }

    // sum += q^shift · J(rest) for a convex `rest`; false when interrupted.
    // The components' polynomials are all found before any is multiplied, so
    // that one scratch buffer serves every level of the recursion.
    template <class T>
    bool add_term(Mask128 rest, std::size_t shift, T* sum) {
        const std::size_t first = components_.size();
        std::size_t singles = 0;
        std::size_t pairs = 0;
        std::size_t elements = 0;
        while (rest != 0) {
            const Mask128 component = component_of(lowest_element(rest), rest);
            rest &= ~component;
            const std::size_t size = element_count(component);
            elements += size;
            if (size == 1) {
                ++singles;
            } else if (size == 2) {
                ++pairs;  // a two-element chain
            } else {
                memo_.prefetch(component);
                components_.push_back(component);
            }
        }
        factors_.resize(components_.size());
        for (std::size_t k = first; k < components_.size(); ++k) {
            const void* coefficients = connected(components_[k]);
            if (coefficients == nullptr) return false;
            factors_[k] = {coefficients, element_count(components_[k])};
        }
        const std::span<const Factor> factors(factors_.data() + first, components_.size() - first);
        if (factors.size() == 1 && singles == 0 && pairs == 0) {
            add_shifted(sum + shift, factors[0]);
        } else {
            T* product = scratch<T>();
            product[0] = 1;
            std::size_t degree = 0;
            for (const Factor& factor : factors) degree = multiply(product, degree, factor);
            for (; singles > 0; --singles) degree = multiply_by_single(product, degree);
            for (; pairs > 0; --pairs) degree = multiply_by_pair(product, degree);
            add_all(sum + shift, product, elements);
        }
        components_.resize(first);
        factors_.resize(first);
        return spend(elements * (factors.size() + 1));
    }

    // Multiplies the product in place, highest degree first, so that each
    // coefficient is read before it is overwritten; returns the new degree.
    // Every partial sum is at most a count of ideals of the product's set.
    template <class T>
    std::size_t multiply(T* product, std::size_t degree, const Factor& factor) {
        if constexpr (std::is_same_v<T, Wide>) {
            if (!fits_narrow(factor.elements)) {
                return multiply_by(product, degree, static_cast<const Wide*>(factor.coefficients), factor.elements);
            }
        }
        return multiply_by(product, degree, static_cast<const Narrow*>(factor.coefficients), factor.elements);
    }

    template <class T, class F>
    static std::size_t multiply_by(T* product, std::size_t degree, const F* factor, std::size_t factor_degree) {
        for (std::size_t i = degree + factor_degree + 1; i-- > 0;) {
            const std::size_t j_low = i > degree ? i - degree : 0;
            const std::size_t j_high = i < factor_degree ? i : factor_degree;
            T total = 0;
            for (std::size_t j = j_low; j <= j_high; ++j) total += product[i - j] * factor[j];
            product[i] = total;
        }
        return degree + factor_degree;
    }

    // Times 1 + q, the polynomial of a single element.
    template <class T>
    static std::size_t multiply_by_single(T* product, std::size_t degree) {
        product[degree + 1] = product[degree];
        for (std::size_t i = degree; i > 0; --i) product[i] += product[i - 1];
        return degree + 1;
    }

    // Times 1 + q + q^2, the polynomial of a two-element chain.
    template <class T>
    static std::size_t multiply_by_pair(T* product, std::size_t degree) {
        product[degree + 2] = product[degree];
        product[degree + 1] = degree > 0 ? product[degree] + product[degree - 1] : product[degree];
        for (std::size_t i = degree; i > 1; --i) product[i] += product[i - 1] + product[i - 2];
        if (degree > 0) product[1] += product[0];
        return degree + 2;
    }

    template <class T>
    static void add_shifted(T* target, const Factor& factor) {
        if constexpr (std::is_same_v<T, Wide>) {
            if (!fits_narrow(factor.elements)) {
                return add_all(target, static_cast<const Wide*>(factor.coefficients), factor.elements);
            }
        }
        add_all(target, static_cast<const Narrow*>(factor.coefficients), factor.elements);
    }

    template <class T, class F>
    static void add_all(T* target, const F* source, std::size_t degree) {
        for (std::size_t j = 0; j <= degree; ++j) target[j] += source[j];
    }

    template <class T>
    T* scratch() {
        if constexpr (std::is_same_v<T, Wide>) {
            return wide_scratch_.data();
        } else {
            return narrow_scratch_.data();
        }
    }

    std::size_t most_comparable(Mask128 set) const noexcept {
        std::size_t best = lowest_element(set);
        std::size_t best_count = 0;
        for_each_element(set, [&](std::size_t x) {
            const std::size_t count = element_count(comparable_[x] & set);
            if (count > best_count) {
                best = x;
                best_count = count;
            }
        });
        return best;
    }

    // The connected component of x within the convex `set`.
    Mask128 component_of(std::size_t x, Mask128 set) const noexcept {
        Mask128 component = comparable_[x] & set;
        for (Mask128 frontier = component & ~element_bit(x); frontier != 0;) {
            Mask128 reached = 0;
            for_each_element(frontier, [&](std::size_t y) { reached |= comparable_[y]; });
            frontier = reached & set & ~component;
            component |= frontier;
        }
        return component;
    }

    bool spend(std::uint64_t work) {
        work_ += work;
        if (work_ < kPollInterval) return true;
        work_ = 0;
        return !interrupt_();
    }

    const OrderMasks& order_;
    std::size_t max_bytes_;
    InterruptPoll interrupt_;
    std::array<Mask128, kMaxElements> comparable_{};
    CoefficientArena arena_;
    MaskMap<const void*> memo_;
    // The components of the terms being summed, outermost first, and their polynomials.
    std::vector<Mask128> components_;
    std::vector<Factor> factors_;
    std::vector<Narrow> narrow_scratch_;
    std::vector<Wide> wide_scratch_;
    std::uint64_t work_ = 0;
};

}  // namespace

KernelResult<LayerSizes> layer_sizes_by_polynomial(const OrderMasks& order, std::size_t max_bytes,
                                                   InterruptPoll interrupt) {
    IdealPolynomials polynomials(order, max_bytes, interrupt);
    std::optional<LayerSizes> sizes = polynomials.layer_sizes();
    if (!sizes) return std::unexpected(kInterrupted);
    return std::move(*sizes);
}

}  // namespace quorvane::ideals
