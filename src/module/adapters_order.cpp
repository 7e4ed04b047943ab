#include "adapters.hpp"

#include <optional>
#include <span>
#include <vector>

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../closure/chain_cover.hpp"
#include "../closure/column_blocks.hpp"
#include "../closure/interval_summary.hpp"
#include "../closure/mobius.hpp"
#include "../closure/width.hpp"
#include "../closure/zeta.hpp"

namespace quorvane::py::adapters {
namespace {

// Dense rows of ints. The zeros, most of the matrix, are all the interpreter's
// one cached zero. The rows can take longer than the kernel, so they poll too.
PyRef mobius_to_python(const closure::MobiusMatrix& mu, InterruptPoll interrupt) {
    const PyRef zero = PyRef::steal(PyLong_FromLong(0));
    if (!zero) return {};
    std::size_t entry = 0;
    std::size_t wide = 0;
    auto entry_to_python = [&]() -> PyRef {
        const std::size_t k = entry++;
        if (wide < mu.wide_entries.size() && mu.wide_entries[wide] == k) {
            const std::size_t first_word = wide++ * mu.wide_words;
            return to_python_words(std::span<const Word>(mu.wide_values).subspan(first_word, mu.wide_words),
                                   /*is_signed=*/true);
        }
        return PyRef::steal(PyLong_FromLongLong(static_cast<long long>(mu.values[k])));
    };
    WorkBudget budget(interrupt);
    const std::size_t n = mu.size;
    return to_python_rows(n, budget, [&](std::size_t x) -> PyRef {
        // Zeros in one fill of the whole row, then the entries over theirs:
        // one long fill costs less than a short one per run of zeros, and the
        // row is a complete list of ints all along.
        PyRef row = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(n)));
        if (!row) return row;
        fill_list_slots(row.get(), 0, n, zero.get());
        while (entry < mu.row_end[x]) {
            const std::size_t y = mu.columns[entry];
            PyRef item = entry_to_python();
            if (!item) return {};
            PyList_SET_ITEM(row.get(), static_cast<Py_ssize_t>(y), item.release());
            Py_DECREF(zero.get());  // the reference of the zero it replaces
        }
        return row;
    });
}

PyRef interval_summary_to_python(const closure::IntervalSummary& summary) {
    PyRef histogram = to_python_list(summary.histogram.size(), [&](std::size_t i) {
        const auto& [size, count] = summary.histogram[i];
        return to_python_tuple(to_python(size), to_python(count));
    });
    return to_python_tuple(to_python(summary.intervals), to_python(summary.trivial), to_python(summary.proper),
                           to_python(summary.two_element), to_python(summary.min_size), to_python(summary.max_size),
                           to_python(summary.mean_size), std::move(histogram));
}

// The sums from the whole rows, or a block of their columns at a time.
template <class Transform>
PyObject* zeta_adapter(CallArgs& call, Transform&& transform, bool strict) {
    if (!one_value_per_element(call, closure::kValueCountMismatch)) return nullptr;
    const std::span<const double> values(call.values);
    const auto to_python_sums = [](const std::vector<double>& sums) { return to_python_list(sums); };
    return with_edge_order(
        call,
        [&](const ReachabilityRows& rows) { return finish(transform(rows, values, call.interrupt), to_python_sums); },
        [&](const closure::SuccessorLists& order, std::size_t budget) {
            const std::size_t columns = block_columns_within(call.n, budget);
            return finish(closure::zeta_sums_by_blocks(order, values, strict, columns, call.interrupt),
                          to_python_sums);
        });
}

}  // namespace

PyObject* zeta_transform_data(CallArgs& call) { return zeta_adapter(call, closure::zeta_transform, false); }

PyObject* strict_zeta_transform_data(CallArgs& call) {
    return zeta_adapter(call, closure::strict_zeta_transform, true);
}

// The fewest chains that cover the order, found along its edges; or, where
// the rows fit and those chains take longer than a trial allows, a largest
// antichain from the rows.
PyObject* width_data(CallArgs& call) {
    const auto width_from_rows = [&](const ReachabilityRows& rows) {
        return finish(closure::width(rows, call.interrupt), [](std::uint64_t width) { return to_python(width); });
    };
    const bool rows_fit = closure::dense_rows_fit(call.n, memory_budget(call));
    const std::uint64_t max_work = rows_fit ? closure::chain_trial_work(call.n) : ~std::uint64_t{0};
    if (max_work == 0) return with_edge_rows(call, width_from_rows);
    {
        std::optional<closure::SuccessorLists> order = edge_lists(call);
        if (!order) return nullptr;
        if (!rows_fit) call.edges = {};
        order->list_entering_edges();
        KernelResult<std::optional<std::uint64_t>> width = closure::width_by_chain_cover(*order, max_work, call.interrupt);
        if (!width) return raise_kernel_error(width.error());
        if (*width) return to_python(**width).release();
    }
    return with_edge_rows(call, width_from_rows);
}

PyObject* interval_summary_data(CallArgs& call) {
    return with_edge_rows(call, [&](const ReachabilityRows& rows) {
        return finish(closure::interval_summary(rows, call.interrupt), interval_summary_to_python);
    });
}

PyObject* mobius_matrix_data(CallArgs& call) {
    // The n × n result depends on n alone, so one too large for memory is
    // refused before any work; errors in the edges are still reported first.
    if (const std::optional<KernelError> error = closure::first_edge_error(call.n, call.edges)) {
        return raise_kernel_error(*error);
    }
    ensure_output_fits(checked_size(call.n, call.n));
    return with_edge_rows(call, [&](const ReachabilityRows& rows) {
        return finish(closure::mobius_matrix(rows, call.interrupt),
                      [&](const closure::MobiusMatrix& mu) { return mobius_to_python(mu, call.interrupt); });
    });
}

}  // namespace quorvane::py::adapters
