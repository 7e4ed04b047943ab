#include "bounds.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "../chain_coordinates.hpp"

namespace quorvane::ideals {
namespace {

bool factorial_product_exceeds_u128(std::span<const std::size_t> level_size) noexcept {
    unsigned __int128 bound = 1;
    for (std::size_t size : level_size) {
        for (std::size_t factor = 2; factor <= size; ++factor) {
            if (__builtin_mul_overflow(bound, static_cast<unsigned __int128>(factor), &bound)) return true;
        }
    }
    return false;
}

}  // namespace

double factorial_down(std::size_t k) noexcept {
    double product = 1;
    for (std::size_t factor = 2; factor <= k; ++factor) product = times_down(product, static_cast<double>(factor));
    return product;
}

double hook_bound(const OrderMasks& order) noexcept {
    double above_product = 1;
    double below_product = 1;
    for (std::size_t x = 0; x < order.n; ++x) {
        above_product = times_up(above_product, static_cast<double>(element_count(order.at_or_above[x])));
        below_product = times_up(below_product, static_cast<double>(element_count(order.at_or_below[x])));
    }
    const double factorial = factorial_down(order.n);
    return std::max(divided_down(factorial, above_product), divided_down(factorial, below_product));
}

bool level_bound_exceeds_u128(const OrderMasks& order, Levels levels) noexcept {
    if (order.n <= kLargestFittingFactorial) return false;
    // Levels are below 128.
    std::array<std::uint8_t, kMaxElements> level{};
    std::array<std::size_t, kMaxElements> level_size{};
    const auto above = [&](std::size_t lower) { return static_cast<std::uint8_t>(level[lower] + 1); };
    if (levels == Levels::height) {
        for (std::size_t u = 0; u < order.n; ++u) {
            for_each_element(order.predecessors[u], [&](std::size_t l) { level[u] = std::max(level[u], above(l)); });
            ++level_size[level[u]];
        }
    } else {
        for (std::size_t l = order.n; l-- > 0;) {
            for_each_element(order.successors[l], [&](std::size_t u) { level[l] = std::max(level[l], above(u)); });
            ++level_size[level[l]];
        }
    }
    // Levels number at most n.
    return factorial_product_exceeds_u128(std::span(level_size).first(order.n));
}

bool chain_bound_fits_u128(const OrderMasks& order) noexcept {
    if (order.n <= kLargestFittingFactorial) return true;
    std::array<std::uint8_t, kMaxElements> chain_of{};
    std::array<std::size_t, kMaxElements> length{};
    std::size_t chains = 0;
    greedy_chains(
        order, [&](std::size_t p, std::size_t x) { ++length[chain_of[x] = chain_of[p]]; },
        [&](std::size_t x) {
            chain_of[x] = static_cast<std::uint8_t>(chains);
            ++length[chains++];
            return true;
        });
    return chain_lengths_fit_u128(order.n, std::span(length).first(chains));
}

bool chain_lengths_fit_u128(std::size_t n, std::span<const std::size_t> length) noexcept {
    // n! / ∏ length!, rounded up from factorials taken once: a few operations per chain.
    static const std::array<std::array<double, kMaxElements + 1>, 2> factorials = [] {
        std::array<std::array<double, kMaxElements + 1>, 2> table{};  // [0]: rounded down, [1]: up
        table[0][0] = table[1][0] = 1;
        for (std::size_t k = 1; k <= kMaxElements; ++k) {
            table[0][k] = times_down(table[0][k - 1], static_cast<double>(k));
            table[1][k] = times_up(table[1][k - 1], static_cast<double>(k));
        }
        return table;
    }();
    double parts = 1;
    for (std::size_t l : length) parts = times_down(parts, factorials[0][l]);
    return divided_up(factorials[1][n], parts) < kCountOverflowBound;
}

}  // namespace quorvane::ideals
