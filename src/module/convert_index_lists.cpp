#include "convert_to_python.hpp"

#include "../common/bit_count.hpp"

namespace quorvane::py {

PyRef to_python_index_lists(const BitMatrix& rows, WorkBudget& budget) {
    const std::size_t n = rows.size();
    std::vector<std::size_t> lengths(n);
    std::size_t entries = n;
    for (std::size_t i = 0; i < n; ++i) {
        lengths[i] = count_bits(rows.row(i));
        entries += lengths[i];
        if (budget.charge(rows.words())) return {};
    }
    ensure_output_fits(entries);
    // Each index int is made once and shared by every list that holds it, so
    // filling a list makes no object at all.
    std::vector<PyRef> indices(n);
    for (std::size_t j = 0; j < n; ++j) {
        indices[j] = to_python(std::uint64_t{j});
        if (!indices[j]) return {};
    }
    return to_python_rows(n, budget, [&](std::size_t i) {
        const std::span<const Word> row = rows.row(i);
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(lengths[i])));
        if (!list) return list;
        Py_ssize_t slot = 0;
        for_each_bit(row, 0, [&](std::size_t j) { PyList_SET_ITEM(list.get(), slot++, Py_NewRef(indices[j].get())); });
        return list;
    });
}

}  // namespace quorvane::py
