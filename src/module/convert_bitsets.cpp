#include "convert_bitsets.hpp"

#include <bit>
#include <cstring>
#include <vector>

#include "convert_to_python.hpp"
#include "errors.hpp"
#include "kept_object.hpp"
#include "long_digits.hpp"

namespace quorvane::py {
namespace {

PyObject* interned(const char* text, KeptObject& slot) {
    return slot.get([text] { return PyUnicode_InternFromString(text); });
}

// What the method protocol of one call needs: the method names (interned
// once per process) and the arguments, which depend on the row width.
struct Protocol {
    PyObject* less_than;
    PyObject* right_shift;
    PyObject* not_equal;
    PyObject* to_bytes;
    PyObject* little;
    PyRef zero;
    PyRef row_bits;
    PyRef row_bytes;
};

std::optional<Protocol> make_protocol(std::size_t words) {
    static KeptObject less_than, right_shift, not_equal, to_bytes, little;
    Protocol protocol{
        .less_than = interned("__lt__", less_than),
        .right_shift = interned("__rshift__", right_shift),
        .not_equal = interned("__ne__", not_equal),
        .to_bytes = interned("to_bytes", to_bytes),
        .little = interned("little", little),
        .zero = PyRef::steal(PyLong_FromLong(0)),
        .row_bits = PyRef::steal(PyLong_FromSize_t(words * kWordBits)),
        .row_bytes = PyRef::steal(PyLong_FromSize_t(words * sizeof(Word))),
    };
    const bool complete = protocol.less_than && protocol.right_shift && protocol.not_equal && protocol.to_bytes &&
                          protocol.little && protocol.zero && protocol.row_bits && protocol.row_bytes;
    if (!complete) return std::nullopt;
    return protocol;
}

// self.<name>(*args): the attribute lookup and call, without a bound method.
template <class... Args>
PyRef call_method(PyObject* self, PyObject* name, Args... args) {
    PyObject* const arguments[] = {self, args...};
    return PyRef::steal(PyObject_VectorcallMethod(name, arguments, 1 + sizeof...(Args), nullptr));
}

bool text_equals(PyObject* text, const char* ascii) {
    return PyUnicode_Check(text) && PyUnicode_CompareWithASCIIString(text, ascii) == 0;
}

std::optional<bool> is_numpy_bool_type(PyTypeObject* type) {
    PyRef name = PyRef::steal(PyType_GetName(type));
    if (!name) return std::nullopt;
    if (!text_equals(name.get(), "bool_") && !text_equals(name.get(), "bool")) return false;
    PyRef module = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    if (!module) return std::nullopt;
    return text_equals(module.get(), "numpy");
}

// A comparison result: a bool as is, numpy's bool through its truth slot,
// anything else (NotImplemented, say) refused.
std::optional<bool> to_native_truth(PyObject* result) {
    if (PyBool_Check(result)) return result == Py_True;
    PyTypeObject* type = Py_TYPE(result);
    const std::optional<bool> numpy_bool = is_numpy_bool_type(type);
    if (!numpy_bool) return std::nullopt;
    if (!*numpy_bool) {
        raise_cannot_convert(result, kBoolTarget);
        return std::nullopt;
    }
    const inquiry truth = type->tp_as_number == nullptr ? nullptr : type->tp_as_number->nb_bool;
    if (truth == nullptr) {
        PyErr_Format(PyExc_TypeError, kNoBoolConversionFormat, type);
        return std::nullopt;
    }
    const int value = truth(result);
    if (value < 0) return std::nullopt;
    return value != 0;
}

enum class RowOutcome { whole, misshapen, failed };

RowOutcome out_of_range() {
    raise_kernel_error(closure::kIndexOutOfRange);
    return RowOutcome::failed;
}

// Steps a and b of the protocol: x < 0, then x >> 64·W != 0.
RowOutcome check_range(PyObject* item, const Protocol& protocol) {
    PyRef negative = call_method(item, protocol.less_than, protocol.zero.get());
    if (!negative) return RowOutcome::failed;
    const std::optional<bool> is_negative = to_native_truth(negative.get());
    if (!is_negative) return RowOutcome::failed;
    if (*is_negative) return out_of_range();

    PyRef high = call_method(item, protocol.right_shift, protocol.row_bits.get());
    if (!high) return RowOutcome::failed;
    PyRef nonzero = call_method(high.get(), protocol.not_equal, protocol.zero.get());
    if (!nonzero) return RowOutcome::failed;
    const std::optional<bool> has_high_bits = to_native_truth(nonzero.get());
    if (!has_high_bits) return RowOutcome::failed;
    if (*has_high_bits) return out_of_range();
    return RowOutcome::whole;
}

RowOutcome decode_by_protocol(PyObject* item, const Protocol& protocol, std::span<Word> row) {
    if (const RowOutcome range = check_range(item, protocol); range != RowOutcome::whole) return range;
    PyRef bytes = call_method(item, protocol.to_bytes, protocol.row_bytes.get(), protocol.little);
    if (!bytes) return RowOutcome::failed;
    if (!PyBytes_Check(bytes.get())) {
        raise_cannot_convert(bytes.get(), kBytesTarget);
        return RowOutcome::failed;
    }
    // Only whole 8-byte groups count; a trailing partial group is ignored.
    static_assert(std::endian::native == std::endian::little, "the bytes are little-endian words");
    const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get()));
    if (size / sizeof(Word) != row.size()) return RowOutcome::misshapen;
    std::memcpy(row.data(), PyBytes_AS_STRING(bytes.get()), row.size_bytes());
    return RowOutcome::whole;
}

// For an int read in place the protocol's answers are those of its value: it
// fails exactly when the value is negative or needs more than the row's words.
RowOutcome check_int(PyObject* item, std::size_t words, std::size_t n, std::size_t i,
                           std::optional<KernelError>* row_error) {
    switch (check_successor_int(item, words * kWordBits, n, i, row_error)) {
        case WordsFit::fits:
            return RowOutcome::whole;
        case WordsFit::negative_or_too_wide:
            return out_of_range();
        case WordsFit::failed:
            break;
    }
    return RowOutcome::failed;
}

// An item that is not an exact int, read by the protocol into `row`. An int
// subclass whose methods told its own value is kept, its digits read in
// place from here on; any other item gives way to the int of the words.
RowOutcome decode_other(PyRef& item, const Protocol& protocol, std::span<Word> row, std::span<Word> scratch) {
    const RowOutcome outcome = decode_by_protocol(item.get(), protocol, row);
    if (outcome != RowOutcome::whole) return outcome;
    if (PyLong_Check(item.get()) && int_holds_words(item.get(), row, scratch)) return RowOutcome::whole;
    item = to_python_words(row, false);
    return item ? RowOutcome::whole : RowOutcome::failed;
}

}  // namespace

bool successor_count_matches(std::size_t n, std::span<const PyRef> items) noexcept {
    if (items.size() == n) return true;
    PyErr_SetString(PyExc_ValueError, kSuccessorCountMismatch);
    return false;
}

bool to_checked_successor_ints(std::size_t n, std::vector<PyRef>& items, InterruptPoll interrupt) {
    if (n == 0) return true;
    const std::size_t words = row_words(n);
    const std::optional<Protocol> protocol = make_protocol(words);
    if (!protocol) return false;
    std::vector<Word> row(words);
    std::vector<Word> scratch(words);
    // The first row that fails its checks, reported once every item is read.
    std::optional<KernelError> row_error;
    // Beyond its row's words, an item takes some tens of nanoseconds.
    constexpr std::uint64_t kUnitsPerItem = 32;
    WorkBudget budget(interrupt);
    for (std::size_t i = 0; i < n; ++i) {
        RowOutcome outcome = RowOutcome::whole;
        if (!PyLong_CheckExact(items[i].get())) outcome = decode_other(items[i], *protocol, row, scratch);
        if (outcome == RowOutcome::whole) {
            outcome = check_int(items[i].get(), words, n, i, row_error ? nullptr : &row_error);
        } else if (outcome == RowOutcome::misshapen && !row_error) {
            row_error = closure::kIndexOutOfRange;
        }
        if (outcome == RowOutcome::failed || budget.charge(words + kUnitsPerItem)) return false;
    }
    if (row_error) return raise_kernel_error(*row_error);
    return true;
}

void to_native_successor_rows(std::span<const PyRef> items, SuccessorRows& rows) noexcept {
    // Checked ints fit their rows.
    for (std::size_t i = 0; i < items.size(); ++i) (void)int_to_zeroed_words(items[i].get(), rows.row(i));
}

}  // namespace quorvane::py
