#include "convert_to_native.hpp"

#include "errors.hpp"

#include <algorithm>
#include <cstdint>

namespace quorvane::py {
namespace {

// Only lists and tuples are trusted to report their length truthfully; any
// other sequence's length is a hint, capped so that a lying __len__ cannot
// make a small argument reserve a huge buffer.
constexpr Py_ssize_t kUntrustedCapacity = Py_ssize_t{1} << 16;

// Converting an item takes some tens of nanoseconds. Items are charged to
// the budget a batch at a time, which keeps the per-item count in a register.
constexpr std::uint64_t kUnitsPerItem = 32;
constexpr std::size_t kItemsPerCharge = 1024;

// Shared front of every sequence conversion: a str is refused, a
// non-sequence too, and the reported length (if any, and at most `kept`) is
// the capacity.
template <class Vector>
bool check_sequence(PyObject* object, Vector& out, std::size_t kept = SIZE_MAX) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, kStrToVec);
        return false;
    }
    if (!PySequence_Check(object)) return raise_cannot_convert(object, kSequenceTarget);
    Py_ssize_t size = PySequence_Size(object);
    if (size < 0) {
        PyErr_Clear();
        return true;
    }
    if (!PyList_CheckExact(object) && !PyTuple_CheckExact(object)) size = std::min(size, kUntrustedCapacity);
    out.reserve(std::min(static_cast<std::size_t>(size), kept));
    return true;
}

// Exact floats and ints convert without running Python code, so nothing can
// drop them from their list while they are read.
bool converts_without_python_code(PyObject* item) { return PyFloat_CheckExact(item) || PyLong_CheckExact(item); }

// Calls convert(item) for every item in iteration order; stops at the first
// false, or when the budget's poll raises. An exact list is walked by index,
// which is what its iterator does; a poll's signal handler may change the
// list, so its size is read afresh for every item.
template <class Convert>
bool for_each_item(PyObject* object, WorkBudget& budget, Convert&& convert) {
    std::size_t uncharged = 0;
    auto convert_and_charge = [&](PyObject* item) {
        if (!convert(item)) return false;
        if (++uncharged < kItemsPerCharge) return true;
        uncharged = 0;
        return !budget.charge(kItemsPerCharge * kUnitsPerItem);
    };
    if (PyList_CheckExact(object)) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
            PyObject* item = PyList_GET_ITEM(object, i);
            if (converts_without_python_code(item)) {
                if (!convert_and_charge(item)) return false;
                continue;
            }
            PyRef held = PyRef::borrow(item);
            if (!convert_and_charge(held.get())) return false;
        }
        return true;
    }
    if (PyTuple_CheckExact(object)) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(object); ++i) {
            if (!convert_and_charge(PyTuple_GET_ITEM(object, i))) return false;
        }
        return true;
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(object));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        if (!convert_and_charge(item.get())) return false;
    }
    return !PyErr_Occurred();
}

std::optional<double> to_native_number(PyObject* object) {
    if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> unsigned_from_long(PyObject* object) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(object);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::uint64_t>(value);
}

}  // namespace

std::optional<std::uint64_t> to_native_index(PyObject* object) {
    if (PyLong_Check(object)) return unsigned_from_long(object);
    PyRef index = PyRef::steal(PyNumber_Index(object));
    if (!index) return std::nullopt;
    return unsigned_from_long(index.get());
}

bool to_native_edges(PyObject* object, closure::CoverEdgeList& edges, WorkBudget& budget) {
    if (!check_sequence(object, edges)) return false;
    return for_each_item(object, budget, [&](PyObject* item) {
        if (!PyTuple_Check(item)) return static_cast<bool>(raise_cannot_convert(item, kTupleTarget));
        if (PyTuple_GET_SIZE(item) != 2) {
            PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd",
                         PyTuple_GET_SIZE(item));
            return false;
        }
        const std::optional<std::uint64_t> lower = to_native_index(PyTuple_GET_ITEM(item, 0));
        if (!lower) return false;
        const std::optional<std::uint64_t> upper = to_native_index(PyTuple_GET_ITEM(item, 1));
        if (!upper) return false;
        edges.emplace_back(*lower, *upper);
        return true;
    });
}

bool to_native_values(PyObject* object, ValueVector& values, WorkBudget& budget, std::size_t kept) {
    if (!check_sequence(object, values, kept)) return false;
    std::size_t room = kept;  // counted in a register, not read back from the vector
    return for_each_item(object, budget, [&](PyObject* item) {
        const std::optional<double> value = to_native_number(item);
        if (!value) return false;
        if (room > 0) {
            --room;
            values.push_back(*value);
        }
        return true;
    });
}

bool to_native_matrix(PyObject* object, ValueMatrix& matrix, WorkBudget& budget, std::size_t n) {
    const std::size_t kept = kept_for_length(n);
    if (!check_sequence(object, matrix, kept)) return false;
    ValueVector unkept;
    return for_each_item(object, budget, [&](PyObject* row) {
        ValueVector& values = matrix.size() < kept ? matrix.emplace_back() : unkept;
        unkept.clear();
        return to_native_values(row, values, budget, kept);
    });
}

bool to_native_items(PyObject* object, std::vector<PyRef>& items, WorkBudget& budget, std::size_t kept) {
    if (!check_sequence(object, items, kept)) return false;
    return for_each_item(object, budget, [&](PyObject* item) {
        if (items.size() < kept) items.push_back(PyRef::borrow(item));
        return true;
    });
}

}  // namespace quorvane::py
