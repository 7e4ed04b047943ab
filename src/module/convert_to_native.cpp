#include "convert_to_native.hpp"

#include "errors.hpp"

#include <algorithm>

namespace quorvane::py {
namespace {

// Only lists and tuples are trusted to report their length truthfully; any
// other sequence's length is a hint, capped so that a lying __len__ cannot
// make a small argument reserve a huge buffer.
constexpr Py_ssize_t kUntrustedCapacity = Py_ssize_t{1} << 16;

// Shared front of every sequence conversion: a str is refused, a
// non-sequence too, and the reported length (if any) is the capacity.
template <class Vector>
bool check_sequence(PyObject* object, Vector& out) {
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
    out.reserve(static_cast<std::size_t>(size));
    return true;
}

// Exact floats and ints convert without running Python code, so nothing can
// drop them from their list while they are read.
bool converts_without_python_code(PyObject* item) { return PyFloat_CheckExact(item) || PyLong_CheckExact(item); }

// Calls convert(item) for every item in iteration order; stops at the first
// false. An exact list is walked by index, which is what its iterator does.
template <class Convert>
bool for_each_item(PyObject* object, Convert&& convert) {
    if (PyList_CheckExact(object)) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
            PyObject* item = PyList_GET_ITEM(object, i);
            if (converts_without_python_code(item)) {
                if (!convert(item)) return false;
                continue;
            }
            PyRef held = PyRef::borrow(item);
            if (!convert(held.get())) return false;
        }
        return true;
    }
    if (PyTuple_CheckExact(object)) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(object); ++i) {
            if (!convert(PyTuple_GET_ITEM(object, i))) return false;
        }
        return true;
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(object));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        if (!convert(item.get())) return false;
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

bool to_native_edges(PyObject* object, closure::CoverEdgeList& edges) {
    if (!check_sequence(object, edges)) return false;
    return for_each_item(object, [&](PyObject* item) {
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

bool to_native_values(PyObject* object, ValueVector& values) {
    if (!check_sequence(object, values)) return false;
    return for_each_item(object, [&](PyObject* item) {
        const std::optional<double> value = to_native_number(item);
        if (!value) return false;
        values.push_back(*value);
        return true;
    });
}

bool to_native_matrix(PyObject* object, ValueMatrix& matrix) {
    if (!check_sequence(object, matrix)) return false;
    return for_each_item(object, [&](PyObject* row) { return to_native_values(row, matrix.emplace_back()); });
}

bool to_native_items(PyObject* object, std::vector<PyRef>& items) {
    if (!check_sequence(object, items)) return false;
    return for_each_item(object, [&](PyObject* item) {
        items.push_back(PyRef::borrow(item));
        return true;
    });
}

}  // namespace quorvane::py
