// Within a module M the elements can be ordered independently of everything
// else, so e(P) = e(M) · e(P with M made a chain). Along the modular
// decomposition this gives: at a parallel node the multinomial coefficient of
// the part sizes, at a series node nothing, and at a prime node the count of
// the node with each part made a chain; the count is the product of these
// factors and those of the parts. Every factor is at least 1, so each is at
// most the count, and an overflowing factor or product proves overflow.
#include "methods.hpp"

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "bounds.hpp"
#include "module_split.hpp"

namespace quorvane::ideals {
namespace {

// C(total, part) = C(total, total - part) by Pascal's rule; below 129 rows
// every entry fits. Only the entries up to the smaller of the two are read:
// the column stays small, and small calls have many parts.
Count binomial(std::size_t total, std::size_t part) {
    part = std::min(part, total - part);
    std::array<Count, kMaxElements / 2 + 1> column;
    std::fill_n(column.begin(), part + 1, Count{0});
    column[0] = 1;
    for (std::size_t row = 1; row <= total; ++row) {
        for (std::size_t k = row < part ? row : part; k > 0; --k) column[k] += column[k - 1];
    }
    return column[part];
}

bool multiply(Count& product, Count factor) noexcept { return !__builtin_mul_overflow(product, factor, &product); }

}  // namespace

KernelResult<Count> count_by_decomposition(const OrderMasks& order, bool fits, InterruptPoll interrupt) {
    Count exact = 1;
    std::vector<OrderMasks> prime_factors;
    for (std::vector<Mask128> modules{order.all}; !modules.empty();) {
        const Mask128 set = modules.back();
        modules.pop_back();
        if (element_count(set) < 2) continue;
        ModuleSplit split = split_into_modules(order, set);
        if (split.node == ModuleNode::parallel) {
            std::size_t placed = 0;
            for (Mask128 part : split.parts) {
                placed += element_count(part);
                if (!multiply(exact, binomial(placed, element_count(part)))) return std::unexpected(kCountOverflow);
            }
        } else if (split.node == ModuleNode::prime) {
            // A prime order without larger modules is swept as it is. Each
            // factor is built in its place: the masks take 8 KB.
            if (set == order.all && split.parts.size() == order.n) {
                prime_factors.push_back(order);
            } else {
                chained_order(order, set, split.parts, prime_factors.emplace_back());
            }
        }
        modules.insert(modules.end(), split.parts.begin(), split.parts.end());
    }

    // Cheap bounds on every factor first: one sweep must not run long while
    // the others already prove overflow.
    std::vector<double> lower(prime_factors.size(), 1.0);
    if (!fits) {
        double whole = count_down(exact);
        for (std::size_t f = 0; f < prime_factors.size(); ++f) {
            lower[f] = hook_bound(prime_factors[f]);
            whole = times_down(whole, lower[f]);
        }
        if (whole >= kCountOverflowBound) return std::unexpected(kCountOverflow);
    }

    std::vector<std::size_t> by_size(prime_factors.size());
    std::iota(by_size.begin(), by_size.end(), std::size_t{0});
    std::ranges::sort(by_size, {}, [&](std::size_t f) { return prime_factors[f].n; });
    for (std::size_t k = 0; k < by_size.size(); ++k) {
        double known = count_down(exact);
        for (std::size_t later = k + 1; later < by_size.size(); ++later) known = times_down(known, lower[by_size[later]]);
        const OrderMasks& prime = prime_factors[by_size[k]];
        KernelResult<std::optional<Count>> factor = count_by_coordinates(prime, fits, interrupt);
        if (factor && !*factor) factor = count_by_sweep(prime, {~std::uint64_t{0}, known, fits}, interrupt);
        if (!factor) return std::unexpected(factor.error());
        if (!multiply(exact, **factor)) return std::unexpected(kCountOverflow);
    }
    return exact;
}

}  // namespace quorvane::ideals
