#include "frame.hpp"

#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "errors.hpp"

namespace quorvane::py {
namespace {

using Slots = std::array<PyObject*, kMaxParams>;

// Binding failures, worded as CPython words its own.
Raised too_many_positional(const FunctionRecord& function, Py_ssize_t given) {
    const char* verb = given == 1 ? "was" : "were";
    if (function.required == function.param_count) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zd %s given", function.name,
                     function.param_count, given, verb);
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given", function.name,
                     function.required, function.param_count, given, verb);
    }
    return {};
}

Raised missing_required(const FunctionRecord& function, const Slots& slots) {
    std::size_t missing = 0;
    for (std::size_t i = 0; i < function.required; ++i) missing += slots[i] == nullptr;
    std::string names;
    std::size_t listed = 0;
    for (std::size_t i = 0; i < function.required; ++i) {
        if (slots[i] != nullptr) continue;
        if (listed > 0) {
            if (missing >= 3) names += ',';
            names += listed + 1 == missing ? " and " : " ";
        }
        names += '\'';
        names += param_name(function.params[i]);
        names += '\'';
        ++listed;
    }
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional %s: %s", function.name, missing,
                 missing == 1 ? "argument" : "arguments", names.c_str());
    return {};
}

bool bind(const FunctionRecord& function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Slots& slots) {
    const std::size_t positional = static_cast<std::size_t>(nargs);
    for (std::size_t i = 0; i < positional && i < function.param_count; ++i) slots[i] = args[i];
    if (positional > function.param_count) return too_many_positional(function, nargs);

    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
        Py_ssize_t length = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &length);
        if (utf8 == nullptr) PyErr_Clear();
        const std::string_view key = utf8 == nullptr ? std::string_view() : std::string_view(utf8, static_cast<std::size_t>(length));
        std::size_t match = function.param_count;
        for (std::size_t i = 0; utf8 != nullptr && i < function.param_count; ++i) {
            if (key == param_name(function.params[i])) {
                match = i;
                break;
            }
        }
        if (match == function.param_count) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function.name, keyword);
            return false;
        }
        if (slots[match] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", function.name, keyword);
            return false;
        }
        slots[match] = args[nargs + k];
    }

    if (positional < function.required) {
        for (std::size_t i = positional; i < function.required; ++i) {
            if (slots[i] == nullptr) return missing_required(function, slots);
        }
    }
    return true;
}

bool convert_index_into(PyObject* object, std::size_t& out) {
    const std::optional<std::uint64_t> value = to_native_index(object);
    if (value) out = *value;
    return value.has_value();
}

// `num_elements` comes first in every signature, so the lengths that depend
// on it are known when the sequences are converted.
bool convert(Param param, PyObject* object, CallArgs& call, WorkBudget& budget) {
    switch (param) {
        case Param::num_elements: return convert_index_into(object, call.n);
        case Param::cover_edges: return to_native_edges(object, call.edges, budget);
        case Param::cover_successors: return to_native_items(object, call.successors, budget, kept_for_length(call.n));
        case Param::values:
        case Param::element_scores: return to_native_values(object, call.values, budget, kept_for_length(call.n));
        case Param::left_values: return to_native_matrix(object, call.left, budget, call.n);
        case Param::right_values: return to_native_matrix(object, call.right, budget, call.n);
        case Param::max_states:
            if (object == nullptr || object == Py_None) return true;
            call.max_states.emplace();
            return convert_index_into(object, *call.max_states);
    }
    return raise_panic("unknown parameter kind");
}

bool poll_signals(void*) { return PyErr_CheckSignals() != 0; }

PyObject* run(const FunctionRecord& function, PyObject* module, PyObject* const* args, Py_ssize_t nargs,
              PyObject* kwnames) {
    Slots slots{};
    if (!bind(function, args, nargs, kwnames, slots)) return nullptr;
    CallArgs call;
    call.interrupt = InterruptPoll{poll_signals, nullptr};
    call.module = module;
    WorkBudget budget(call.interrupt);
    for (std::size_t i = 0; i < function.param_count; ++i) {
        if (!convert(function.params[i], slots[i], call, budget)) {
            wrap_argument_error(param_name(function.params[i]));
            return nullptr;
        }
    }
    return function.run(call);
}

PyObject* run_caught(const FunctionRecord& function, PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    PyObject* result = nullptr;
    try {
        result = run(function, module, args, nargs, kwnames);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        PyErr_Clear();
        return raise_panic(fault.what());
    } catch (...) {
        PyErr_Clear();
        return raise_panic("unknown internal fault");
    }
    if (result == nullptr && !PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    return result;
}

}  // namespace

const char* param_name(Param param) noexcept {
    switch (param) {
        case Param::num_elements: return "num_elements";
        case Param::cover_edges: return "cover_edges";
        case Param::cover_successors: return "cover_successors";
        case Param::values: return "values";
        case Param::element_scores: return "element_scores";
        case Param::left_values: return "left_values";
        case Param::right_values: return "right_values";
        case Param::max_states: return "max_states";
    }
    return "?";
}

// A signal handler that calls the module runs inside the poll of the call it
// interrupted, so calls can nest. CPython's recursion guard, entered before
// anything else happens and as CPython enters it for a call into C, ends deep
// nesting in RecursionError while the stack still has room.
PyObject* call_frame(const FunctionRecord& function, PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    if (Py_EnterRecursiveCall(" while calling a Python object") != 0) return nullptr;
    PyObject* const result = run_caught(function, module, args, nargs, kwnames);
    Py_LeaveRecursiveCall();
    return result;
}

}  // namespace quorvane::py
