// Native results to new Python objects. Each returns an empty PyRef with an
// exception set on failure; partly built containers are released.
#pragma once

#include "py_ref.hpp"

#include <unistd.h>

#include <bit>
#include <cstdint>
#include <new>
#include <span>
#include <vector>

#include "../common/kernel_types.hpp"
#include "long_digits.hpp"

namespace quorvane::py {

inline PyRef to_python(std::uint64_t value) { return PyRef::steal(PyLong_FromUnsignedLongLong(value)); }
inline PyRef to_python(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }

inline PyRef to_python(Mask128 value) {
    const Word words[] = {static_cast<Word>(value), static_cast<Word>(value >> kWordBits)};
    return to_python_words(words, /*is_signed=*/false);
}

// A result of `slots` list entries that would not fit in this machine's
// physical memory is refused before it is built: built piece by piece, it
// would not fail an allocation but have the process killed once memory is gone.
inline void ensure_output_fits(std::size_t slots) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return;
    const std::size_t memory = checked_size(static_cast<std::size_t>(pages), static_cast<std::size_t>(page_size));
    if (checked_size(slots, sizeof(PyObject*)) > memory) throw std::bad_alloc();
}

// A list of exactly `count` items, item i made by make(i).
template <class Make>
PyRef to_python_list(std::size_t count, Make&& make) {
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
    return to_python_list(items.size(), [&](std::size_t i) { return to_python(items[i]); });
}

template <class T>
PyRef to_python_list(const std::vector<T>& items) {
    return to_python_list(std::span<const T>(items));
}

template <class T>
PyRef to_python_rows(const std::vector<std::vector<T>>& rows) {
    ensure_output_fits(checked_size(rows.size(), rows.size()));
    return to_python_list(rows.size(), [&](std::size_t i) { return to_python_list(rows[i]); });
}

// Dense float matrices repeat one value in long runs (a semiring's zero fills
// every pair that is not comparable), so a run shares one float object: the
// values are the same, to the bit, and most of the allocations are saved.
inline PyRef to_python_rows(const std::vector<std::vector<double>>& rows) {
    ensure_output_fits(checked_size(rows.size(), rows.size()));
    PyRef previous;
    double previous_value = 0.0;
    return to_python_list(rows.size(), [&](std::size_t i) {
        return to_python_list(rows[i].size(), [&](std::size_t j) {
            const double value = rows[i][j];
            if (!previous || std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(previous_value)) {
                previous = to_python(value);
                previous_value = value;
            }
            return PyRef::borrow(previous.get());
        });
    });
}

// A tuple of the items in order; empty if any item is empty.
template <class... Items>
PyRef to_python_tuple(Items&&... items) {
    if ((!items || ...)) return {};
    return PyRef::steal(PyTuple_Pack(sizeof...(Items), items.get()...));
}

}  // namespace quorvane::py
