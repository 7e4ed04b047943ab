// Native results to new Python objects. Each returns an empty PyRef with an
// exception set on failure; partly built containers are released.
#pragma once

#include "py_ref.hpp"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>
#include <span>
#include <vector>

#include "../common/kernel_types.hpp"
#include "../common/work_budget.hpp"
#include "long_digits.hpp"

namespace quorvane::py {

inline PyRef to_python(std::uint64_t value) { return PyRef::steal(PyLong_FromUnsignedLongLong(value)); }
inline PyRef to_python(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }

inline PyRef to_python(Mask128 value) {
    const Word words[] = {static_cast<Word>(value), static_cast<Word>(value >> kWordBits)};
    return to_python_words(words, /*is_signed=*/false);
}

// A result of `bytes` that would not fit in this machine's physical memory is
// refused before it is built: built piece by piece, it would not fail an
// allocation but have the process killed once memory is gone.
inline void ensure_memory_fits(std::size_t bytes) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return;
    const std::size_t memory = checked_size(static_cast<std::size_t>(pages), static_cast<std::size_t>(page_size));
    if (bytes > memory) throw std::bad_alloc();
}

// The same for a result of `slots` list entries.
inline void ensure_output_fits(std::size_t slots) { ensure_memory_fits(checked_size(slots, sizeof(PyObject*))); }

// A list of `count` numbers, number i made by make(i). The list is filled in
// place: making an int or a float runs no Python code and starts no garbage
// collection, so nothing can see the list while slots are still empty. For
// the same reason nothing here polls for interrupts.
template <class MakeNumber>
PyRef to_python_list_of_numbers(std::size_t count, MakeNumber&& make) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!list) return list;
    for (std::size_t i = 0; i < count; ++i) {
        PyRef item = make(i);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    return list;
}

template <class T>
PyRef to_python_list(std::span<const T> items) {
    return to_python_list_of_numbers(items.size(), [&](std::size_t i) { return to_python(items[i]); });
}

template <class T>
PyRef to_python_list(const std::vector<T>& items) {
    return to_python_list(std::span<const T>(items));
}

// A list of `count` items of any kind, item i made by make(i), which may
// poll for interrupts between items. Every item is made before the list
// exists: a signal handler or a garbage collection that runs meanwhile
// (and can reach every tracked object) must never find a list with empty slots.
template <class Make>
PyRef to_python_list(std::size_t count, Make&& make) {
    std::vector<PyRef> items;
    items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        items.push_back(make(i));
        if (!items.back()) return {};
    }
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!list) return list;
    for (std::size_t i = 0; i < count; ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), items[i].release());
    }
    return list;
}

// Rows of a matrix, each made by make_row(i). A row is whole before the
// budget is charged for it, so its poll never meets a half-built object.
template <class MakeRow>
PyRef to_python_rows(std::size_t count, WorkBudget& budget, MakeRow&& make_row) {
    return to_python_list(count, [&](std::size_t i) {
        PyRef row = make_row(i);
        if (row && budget.charge(static_cast<std::uint64_t>(PyList_GET_SIZE(row.get())) + 1)) return PyRef();
        return row;
    });
}

// Slots [begin, end) of a new list, all `item`. The references are taken in
// one step: an increment per slot would chain every store on the one count.
inline void fill_list_slots(PyObject* list, std::size_t begin, std::size_t end, PyObject* item) noexcept {
    PyObject** slots = reinterpret_cast<PyListObject*>(list)->ob_item;
    std::fill(slots + begin, slots + end, item);
    Py_SET_REFCNT(item, Py_REFCNT(item) + static_cast<Py_ssize_t>(end - begin));
}

// Dense float matrices repeat one value in long runs (a semiring's zero fills
// every pair that is not comparable), so a run shares one float object: the
// values are the same, to the bit, and most of the allocations are saved.
inline PyRef to_python_rows(const std::vector<std::vector<double>>& rows, WorkBudget& budget) {
    ensure_output_fits(checked_size(rows.size(), rows.size()));
    PyRef previous;
    std::uint64_t previous_bits = 0;
    return to_python_rows(rows.size(), budget, [&](std::size_t i) -> PyRef {
        const std::vector<double>& values = rows[i];
        PyRef row = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
        if (!row) return row;
        for (std::size_t j = 0; j < values.size();) {
            const std::uint64_t bits = std::bit_cast<std::uint64_t>(values[j]);
            if (!previous || bits != previous_bits) {
                previous = to_python(values[j]);
                if (!previous) return {};
                previous_bits = bits;
            }
            std::size_t end = j + 1;
            while (end < values.size() && std::bit_cast<std::uint64_t>(values[end]) == bits) ++end;
            fill_list_slots(row.get(), j, end, previous.get());
            j = end;
        }
        return row;
    });
}

// Row i as the ascending list of its set bit positions.
PyRef to_python_index_lists(const BitMatrix& rows, WorkBudget& budget);

// A tuple of the items in order; empty if any item is empty.
template <class... Items>
PyRef to_python_tuple(Items&&... items) {
    if ((!items || ...)) return {};
    return PyRef::steal(PyTuple_Pack(sizeof...(Items), items.get()...));
}

}  // namespace quorvane::py
