// The ideal polynomial J(S) = sum over the ideals I of S of q^|I|, for the
// convex element sets S that the recursion meets. A disconnected S is the
// product of its components. In a connected S, an ideal either misses an
// element v, and then all of ↑v, or holds v and all of ↓v:
//     J(S) = J(S ∖ ↑v) + q^|S ∩ ↓v| · J(S ∖ ↓v).
// The pivot v is the element with the most comparable pairs through it,
// |S ∩ ↓v| · |S ∩ ↑v|: it shrinks both terms most and tends to break them
// into components. In an order of two levels, where that is the element
// with the most comparable elements, a finer measure of the work left
// chooses among those with about the most. Only connected sets are
// memoised, since the same components recur across many different
// disconnected sets, and only small ones, since large ones do not recur.
#include "methods.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "../../common/cpu_dispatch.hpp"
#include "../../common/work_budget.hpp"
#include "coefficient_arena.hpp"
#include "../mask_map.hpp"

namespace quorvane::ideals {
namespace {

// J(S) has 2^|S| ideals at most, so below 64 elements every coefficient and
// every partial sum fits in 64 bits.
using Narrow = std::uint64_t;
using Wide = Count;
constexpr bool fits_narrow(std::size_t elements) noexcept { return elements < 64; }
constexpr bool fits_half(std::size_t elements) noexcept { return elements < 32; }

// A memo slot of 32 bytes at up to 5/8 load, with the table doubling.
constexpr std::size_t kTableBytesPerEntry = 96;
// A memo that fills its table goes on to fill several times as many: the
// table grows fourfold while that, with the polynomials, stays within the
// memory budget, which halves the rehashes and the fresh pages of tables
// left behind.
constexpr std::size_t kMemoGrowth = 4;
// Sets of more elements are met once in every order measured: two paths of
// pivots seldom end at the same large set. They are not memoised, and their
// polynomials are kept only until their parent's is summed.
constexpr std::size_t kMostRecurring = 40;
constexpr bool recurs(std::size_t elements) noexcept { return elements <= kMostRecurring; }

// Work per element of a set computed: the pivot's counts, the search for
// components and the sums.
constexpr std::uint64_t kUnitsPerElement = 16;

// The polynomial of a set of `elements` elements: Narrow or Wide by its size.
struct Polynomial {
    const void* coefficients;
    std::size_t elements;
};

constexpr Narrow kOne = 1;

// q^shift · J(rest): the components of rest of three or more elements are
// the memo's, the smaller ones are counted.
struct Term {
    std::size_t shift = 0;
    std::size_t elements = 0;
    std::size_t singles = 0;
    std::size_t pairs = 0;  // two-element chains
    std::size_t components_end = 0;
};

// A connected set and elements comparable to it.
struct Component {
    Mask128 elements;
    Mask128 neighbours;
};

// A set whose polynomial is being summed: its terms' components are
// components_[first, end), those before `next` already known.
struct Frame {
    Mask128 set;  // empty for the whole poset, which is not memoised
    void* sum;    // Wide when `wide`, else Narrow
    bool wide;
    std::byte* passing_mark;  // the top of passing_ once its own polynomial is there
    std::size_t first;
    std::size_t next;
    std::array<Term, 2> terms;
    std::size_t term_count;

    std::size_t end() const noexcept { return terms[term_count - 1].components_end; }
};

class IdealPolynomials {
public:
    IdealPolynomials(const OrderMasks& order, std::size_t max_bytes, WorkBudget& budget)
        : order_(order), max_bytes_(max_bytes), budget_(budget), memo_(budget), narrow_scratch_(order.n + 1),
          wide_scratch_(order.n + 1), passing_(passing_bytes(order.n)) {
        for (std::size_t i = 0; i < order.n; ++i) {
            tables_->comparable[i] = order.at_or_below[i] | order.at_or_above[i];
            two_levels_ &= order.predecessors[i] == 0 || order.successors[i] == 0;
        }
        frames_.reserve(order.n + 1);
        parts_.reserve(order.n);
    }

    // Depth first over the sets met, with an explicit stack: each set's
    // components are looked up, and those not yet known are summed first.
    // Null when interrupted.
    std::optional<LayerSizes> layer_sizes() {
        LayerSizes sizes(order_.n + 1);
        frames_.push_back({.set = 0, .sum = sizes.data(), .wide = true, .passing_mark = passing_.mark(), .first = 0,
                           .next = 0, .terms = {split(order_.all, 0)}, .term_count = 1});
        factors_.resize(components_.size());
        for (;;) {
            Frame& frame = frames_.back();
            if (frame.next < frame.end()) {
                const Mask128 component = components_[frame.next];
                const std::size_t elements = element_count(component);
                const void* const* known = recurs(elements) ? memo_.find(component) : nullptr;
                if (known != nullptr) {
                    factors_[frame.next++] = {*known, elements};
                } else {
                    open(component);
                }
                continue;
            }
            if (!finish(frame)) return std::nullopt;
            passing_.release_to(frame.passing_mark);
            const Frame done = frame;
            frames_.pop_back();
            if (frames_.empty()) return sizes;
            Frame& parent = frames_.back();
            factors_[parent.next++] = remember(done.set, done.sum);
        }
    }

private:
    // A set of s elements holds its own polynomial and those of its terms'
    // components, of at most 2 (s - 1) elements, at most three of them
    // large: 3 s + 5 coefficients of at most 16 bytes, rounded up to 16
    // each. The sets held at once form a chain, each smaller than the one
    // before, below the whole poset, which holds at most n + 3.
    static std::size_t passing_bytes(std::size_t n) noexcept {
        if (recurs(n)) return 0;
        return (n - kMostRecurring + 1) * (3 * n + 5) * sizeof(Wide);
    }

    // Memoises the polynomial of a connected set where it may recur; returns
    // it as a factor.
    Polynomial remember(Mask128 set, void* sum) {
        const std::size_t elements = element_count(set);
        if (!recurs(elements)) return {sum, elements};
        if (memo_.full() && arena_.bytes() + memo_.size() * kMemoGrowth * kTableBytesPerEntry <= max_bytes_) {
            memo_.reserve(memo_.size() * kMemoGrowth);
        }
        *memo_.insert(set).first = sum;
        if (arena_.bytes() + memo_.size() * kTableBytesPerEntry > max_bytes_) throw std::bad_alloc();
        return {sum, elements};
    }

    // A set's polynomial, zeroed, Narrow or Wide by its size, in the arena
    // where it may recur.
    void* allocate_polynomial(std::size_t elements) {
        const auto allocate = [&](auto& storage) -> void* {
            if (fits_narrow(elements)) return storage.template allocate_zeroed<Narrow>(elements + 1);
            return storage.template allocate_zeroed<Wide>(elements + 1);
        };
        return recurs(elements) ? allocate(arena_) : allocate(passing_);
    }

    // Starts summing J(set) for a connected set of three or more elements
    // by its pivot's two terms.
    void open(Mask128 set) {
        const std::size_t elements = element_count(set);
        const bool wide = !fits_narrow(elements);
        void* sum = allocate_polynomial(elements);
        const std::size_t v = pivot(set);
        const Mask128 below = order_.at_or_below[v] & set;
        const Mask128 above = order_.at_or_above[v] & set;
        const std::size_t first = components_.size();
        const std::size_t shift = element_count(below);
        const std::array<Term, 2> terms = two_levels_ ? split_two_levels(set, v, shift)
                                                       : std::array{split(set & ~above, 0), split(set & ~below, shift)};
        frames_.push_back({.set = set, .sum = sum, .wide = wide, .passing_mark = passing_.mark(), .first = first,
                           .next = first, .terms = terms, .term_count = 2});
        factors_.resize(components_.size());
    }

    // Pushes the components of `rest` of three or more elements, and asks
    // the memo for them ahead of use.
    Term split(Mask128 rest, std::size_t shift) {
        Term term{.shift = shift, .elements = element_count(rest)};
        while (rest != 0) {
            const Mask128 component = component_of(lowest_element(rest), rest).elements;
            rest &= ~component;
            add_component(term, component);
        }
        term.components_end = components_.size();
        return term;
    }

    // In an order of two levels, one term loses the pivot v alone and keeps
    // its comparable elements, all of the other level and incomparable among
    // themselves; the other term, the core, loses them too. The components
    // of the first are those of the core joined through v's comparable
    // elements, so that one search serves both terms. `shift` is |S ∩ ↓v|,
    // which tells on which level v lies.
    std::array<Term, 2> split_two_levels(Mask128 set, std::size_t v, std::size_t shift) {
        const Mask128 joints = tables_->comparable[v] & set & ~element_bit(v);
        Mask128 unjoined = set & ~joints & ~element_bit(v);
        parts_.clear();
        for (Mask128 rest = unjoined; rest != 0;) {
            const Component part = component_of(lowest_element(rest), rest);
            rest &= ~part.elements;
            parts_.push_back({part.elements, part.neighbours & joints});
        }
        const bool v_lower = shift == 1;
        Term first{.shift = 0};
        Term second{.shift = shift};
        Term& core = v_lower ? first : second;
        Term& loose = v_lower ? second : first;
        core.elements = element_count(set) - 1 - element_count(joints);
        loose.elements = element_count(set) - 1;
        const auto split_core = [&] {
            for (const Component& part : parts_) add_component(core, part.elements);
            core.components_end = components_.size();
        };
        if (v_lower) split_core();
        // The set is connected, so every part touches one of v's comparable
        // elements, and those of them that touch no part are left alone.
        // The parts that touch the joined ones are joined in turn; once all
        // comparable elements left are joined, so are all parts left.
        Mask128 touched = 0;
        for (const Component& part : parts_) touched |= part.neighbours;
        loose.singles += element_count(joints & ~touched);
        for (Mask128 left = touched; left != 0;) {
            Mask128 joined = element_bit(lowest_element(left));
            Mask128 component = 0;
            for (Mask128 before = 0; before != joined && joined != left;) {
                before = joined;
                for (const Component& part : parts_) {
                    const Mask128 hit = (part.neighbours & joined) != 0 ? ~Mask128{0} : 0;
                    component |= part.elements & hit;
                    joined |= part.neighbours & hit;
                }
            }
            if (joined == left) component = unjoined;
            unjoined &= ~component;
            left &= ~joined;
            add_component(loose, component | joined);
        }
        loose.components_end = components_.size();
        if (!v_lower) split_core();
        return {first, second};
    }

    // Counts a component of a term of one or two elements, or pushes a
    // larger one and asks the memo for it ahead of use.
    void add_component(Term& term, Mask128 component) {
        const std::size_t size = element_count(component);
        if (size == 1) {
            ++term.singles;
        } else if (size == 2) {
            ++term.pairs;
        } else {
            memo_.prefetch(component);
            components_.push_back(component);
        }
    }

    // Adds the frame's terms into its sum, their factors all known, and
    // drops its components; false when interrupted. Nothing else runs while
    // a frame finishes, so one scratch buffer serves every frame.
    bool finish(const Frame& frame) {
        std::size_t begin = frame.first;
        std::uint64_t elements = 0;
        for (const Term& term : std::span(frame.terms.data(), frame.term_count)) {
            const std::span<Polynomial> factors(factors_.data() + begin, term.components_end - begin);
            if (frame.wide) {
                add_product(static_cast<Wide*>(frame.sum) + term.shift, factors, term);
            } else {
                add_product(static_cast<Narrow*>(frame.sum) + term.shift, factors, term);
            }
            begin = term.components_end;
            elements += term.elements;
        }
        components_.resize(frame.first);
        factors_.resize(frame.first);
        return !budget_.charge(elements * kUnitsPerElement);
    }

    // target += the product of the factors and of the term's single elements
    // and pairs. The largest factor goes last, multiplied straight into the
    // target by the product of all the others, which is small.
    template <class T>
    void add_product(T* target, std::span<Polynomial> factors, const Term& term) {
        Polynomial largest{&kOne, 0};
        if (!factors.empty()) {
            Polynomial* chosen = &factors.front();
            for (Polynomial& factor : factors) {
                if (factor.elements > chosen->elements) chosen = &factor;
            }
            std::swap(*chosen, factors.back());
            largest = factors.back();
            factors = factors.first(factors.size() - 1);
        }
        if (fits_narrow(term.elements - largest.elements)) {
            Narrow* rest = narrow_scratch_.data();
            add_convolution(target, largest, rest, product_of_rest(rest, factors, term));
        } else if constexpr (std::is_same_v<T, Wide>) {
            Wide* rest = wide_scratch_.data();
            add_convolution(target, largest, rest, product_of_rest(rest, factors, term));
        }
    }

    // The product of the factors and the term's singles and pairs; returns its degree.
    template <class P>
    static std::size_t product_of_rest(P* product, std::span<const Polynomial> factors, const Term& term) {
        product[0] = 1;
        std::size_t degree = 0;
        for (const Polynomial& factor : factors) degree = with_width<P>(factor, [&](const auto* coefficients) {
            if (degree == 0) {  // the product so far is 1
                copy_coefficients(product, coefficients, factor.elements + 1);
                return factor.elements;
            }
            return multiply(product, degree, coefficients, factor.elements);
        });
        for (std::size_t k = 0; k < term.singles; ++k) degree = multiply_by_single(product, degree);
        for (std::size_t k = 0; k < term.pairs; ++k) degree = multiply_by_pair(product, degree);
        return degree;
    }

    // target[i + j] += factor[i] · other[j], the inner loop running along the
    // larger polynomial. Below 32 elements on both sides every coefficient
    // fits 32 bits, and the products are taken 32 by 32 bits, which vector
    // units do four or eight at a time.
    template <class T, class P>
    static void add_convolution(T* target, const Polynomial& factor, const P* other, std::size_t other_degree) {
        with_width<T>(factor, [&]<class F>(const F* coefficients) {
            if constexpr (std::is_same_v<T, Narrow> && std::is_same_v<P, Narrow>) {
                if (fits_half(factor.elements) && fits_half(other_degree)) {
                    return convolve<std::uint32_t>(target, coefficients, factor.elements, other, other_degree);
                }
            }
            return convolve<T>(target, coefficients, factor.elements, other, other_degree);
        });
    }

    // The convolution with each product taken over operands of type M.
    template <class M, class T, class F, class P>
    static int convolve(T* target, const F* factor, std::size_t degree, const P* other, std::size_t other_degree) {
        for (std::size_t j = 0; j <= other_degree; ++j) {
            const T c = static_cast<M>(other[j]);
            T* out = target + j;
            for (std::size_t i = 0; i <= degree; ++i) out[i] += static_cast<T>(static_cast<M>(factor[i])) * c;
        }
        return 0;
    }

    // Calls use(coefficients) with the polynomial's coefficients as Narrow or
    // Wide; a polynomial meant for a Narrow product is always Narrow.
    template <class T, class Use>
    static auto with_width(const Polynomial& polynomial, Use&& use) {
        if constexpr (std::is_same_v<T, Wide>) {
            if (!fits_narrow(polynomial.elements)) return use(static_cast<const Wide*>(polynomial.coefficients));
        }
        return use(static_cast<const Narrow*>(polynomial.coefficients));
    }

    // Copies a factor's coefficients. A plain loop would become a call of
    // the library's copy, which costs more than copying a few: up to this
    // many are copied in line, two at a time.
    static constexpr std::size_t kInlineCopy = 8;
    template <class P, class F>
    static void copy_coefficients(P* to, const F* from, std::size_t count) {
        if (count > kInlineCopy) {
            std::copy_n(from, count, to);
            return;
        }
        std::size_t i = 0;
        for (; i + 2 <= count; i += 2) {
            const P first = from[i];
            const P second = from[i + 1];
            to[i] = first;
            to[i + 1] = second;
        }
        if (i < count) to[i] = from[i];
    }

    // Multiplies the product in place, highest degree first, so that each
    // coefficient is read before it is overwritten; returns the new degree.
    // Every partial sum is at most a count of ideals of the product's set.
    template <class P, class F>
    static std::size_t multiply(P* product, std::size_t degree, const F* factor, std::size_t factor_degree) {
        for (std::size_t i = degree + factor_degree + 1; i-- > 0;) {
            const std::size_t j_low = i > degree ? i - degree : 0;
            const std::size_t j_high = i < factor_degree ? i : factor_degree;
            P total = 0;
            for (std::size_t j = j_low; j <= j_high; ++j) total += product[i - j] * static_cast<P>(factor[j]);
            product[i] = total;
        }
        return degree + factor_degree;
    }

    // Times 1 + q, the polynomial of a single element.
    template <class P>
    static std::size_t multiply_by_single(P* product, std::size_t degree) {
        product[degree + 1] = product[degree];
        for (std::size_t i = degree; i > 0; --i) product[i] += product[i - 1];
        return degree + 1;
    }

    // Times 1 + q + q^2, the polynomial of a two-element chain.
    template <class P>
    static std::size_t multiply_by_pair(P* product, std::size_t degree) {
        product[degree + 2] = product[degree];
        product[degree + 1] = degree > 0 ? product[degree] + product[degree - 1] : product[degree];
        for (std::size_t i = degree; i > 1; --i) product[i] += product[i - 1] + product[i - 2];
        if (degree > 0) product[1] += product[0];
        return degree + 2;
    }

    std::size_t pivot(Mask128 set) noexcept {
        return two_levels_ ? pivot_of_two_levels(set) : pivot_of_most_pairs(set);
    }

    // Ties, common in sparse and regular orders, go to the element whose
    // comparable elements have the most comparable elements themselves: its
    // terms lose the most comparable pairs.
    std::size_t pivot_of_most_pairs(Mask128 set) noexcept {
        std::size_t best_pairs = 0;
        for_each_element(set, [&](std::size_t x) {
            const std::size_t below = element_count(order_.at_or_below[x] & set);
            const std::size_t above = element_count(order_.at_or_above[x] & set);
            tables_->pairs[x] = below * above;
            tables_->degrees[x] = below + above;
            best_pairs = std::max(best_pairs, tables_->pairs[x]);
        });
        std::size_t best = 0;
        std::size_t best_reach = 0;
        for_each_element(set, [&](std::size_t x) {
            if (tables_->pairs[x] != best_pairs) return;
            std::size_t reach = 0;
            for_each_element(tables_->comparable[x] & set, [&](std::size_t y) { reach += tables_->degrees[y]; });
            if (reach > best_reach) {
                best = x;
                best_reach = reach;
            }
        });
        return best;
    }

    // In an order of two levels one term loses the pivot alone, the other the
    // pivot and all its comparable elements. An element weighs by its number
    // of comparable elements, from nothing for an isolated one, which splits
    // off for free, to one at four or more: a set's weight measures the work
    // left in it. Of the elements with the most comparable elements (or one
    // fewer, where the most is four or more), the pivot is the one whose terms
    // lose the most weight, to first order, by the product of the two losses:
    // a lopsided split leaves one term with nearly all the work.
    std::size_t pivot_of_two_levels(Mask128 set) noexcept {
        // By the number of comparable elements but itself, up to 5 and more.
        static constexpr std::size_t kClasses = 6;
        static constexpr std::array<std::uint32_t, kClasses> kWeight{0, 1, 4, 8, 10, 10};
        // What an element's weight drops by as it loses one comparable element.
        static constexpr std::array<std::uint32_t, kClasses> kWeightDrop{0, 1, 3, 4, 2, 0};
        std::size_t most = 0;
        for_each_element_bit(set, [&](std::size_t x, Mask128 bit) {
            const std::size_t others = element_count(tables_->comparable[x] & set) - 1;
            tables_->with_others[others] |= bit;
            most = std::max(most, others);
        });
        const Mask128 candidates = tables_->with_others[most] | (most >= 4 ? tables_->with_others[most - 1] : 0);
        // The elements of each class, which weigh the candidates' comparable
        // elements by counts rather than one by one.
        std::array<Mask128, kClasses> classes{};
        for (std::size_t others = 0; others <= most; ++others) {
            classes[std::min(others, kClasses - 1)] |= std::exchange(tables_->with_others[others], 0);
        }
        std::size_t best = 0;
        std::uint64_t best_loss = 0;
        for_each_element(candidates, [&](std::size_t x) {
            const Mask128 comparable = tables_->comparable[x] & set;
            std::uint32_t drops = 0;
            std::uint32_t weights = 0;
            for (std::size_t k = 1; k < kClasses; ++k) {
                const auto count = static_cast<std::uint32_t>(element_count(comparable & classes[k]));
                drops += kWeightDrop[k] * count;
                weights += kWeight[k] * count;
            }
            const std::size_t own = std::min(element_count(comparable) - 1, kClasses - 1);
            const std::uint64_t alone = kWeight[own] + drops - kWeightDrop[own];
            const std::uint64_t loss = alone * weights;
            if (loss > best_loss) {
                best = x;
                best_loss = loss;
            }
        });
        return best;
    }

    // The connected component of x within the convex `set`, and the
    // elements comparable to it outside the set.
    Component component_of(std::size_t x, Mask128 set) const noexcept {
        Mask128 component = tables_->comparable[x] & set;
        Mask128 neighbours = tables_->comparable[x];
        for (Mask128 frontier = component & ~element_bit(x); frontier != 0;) {
            Mask128 reached = 0;
            for_each_element(frontier, [&](std::size_t y) { reached |= tables_->comparable[y]; });
            neighbours |= reached;
            frontier = reached & set & ~component;
            component |= frontier;
        }
        return {component, neighbours & ~set};
    }

    const OrderMasks& order_;
    std::size_t max_bytes_;
    WorkBudget& budget_;
    // Per element; 7 KB, on the heap.
    struct ElementTables {
        std::array<Mask128, kMaxElements> comparable{};
        // The pivot's counts for each element of the set at hand: comparable
        // pairs through it, and comparable elements (itself twice).
        std::array<std::size_t, kMaxElements> pairs{};
        std::array<std::size_t, kMaxElements> degrees{};
        // The elements of the set at hand by their number of comparable
        // elements but themselves, for the pivot; all empty between its calls.
        std::array<Mask128, kMaxElements> with_others{};
    };
    const std::unique_ptr<ElementTables> tables_ = std::make_unique<ElementTables>();
    // In an order of two levels: no element has both a predecessor and a
    // successor.
    bool two_levels_ = true;
    CoefficientArena arena_;
    MaskMap<const void*> memo_;
    std::vector<Frame> frames_;
    // The components of the terms being summed, outermost first, and their polynomials.
    std::vector<Mask128> components_;
    // The core's components and the pivot's comparable elements they touch.
    std::vector<Component> parts_;
    std::vector<Polynomial> factors_;
    std::vector<Narrow> narrow_scratch_;
    std::vector<Wide> wide_scratch_;
    // The polynomials of the sets that do not recur: each set's own, then
    // those of its components until it is summed.
    CoefficientStack passing_;
};

}  // namespace

// Flattened, so that each CPU level's variant holds the whole recursion
// compiled for that level (its bit counts above all), not calls into the
// baseline's copy.
QUORVANE_DISPATCHED [[gnu::flatten]] KernelResult<LayerSizes> layer_sizes_by_polynomial(const OrderMasks& order,
                                                                                       std::size_t max_bytes,
                                                                                       InterruptPoll interrupt) {
    return interruptible(interrupt, [&](WorkBudget& budget) -> KernelResult<LayerSizes> {
        IdealPolynomials polynomials(order, max_bytes, budget);
        std::optional<LayerSizes> sizes = polynomials.layer_sizes();
        if (!sizes) return std::unexpected(kInterrupted);
        return std::move(*sizes);
    });
}

}  // namespace quorvane::ideals
