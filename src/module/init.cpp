// Module creation and registration of the function table.
#include "py_ref.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "errors.hpp"
#include "function_table.hpp"

namespace quorvane::py {
namespace {

template <std::size_t I>
PyObject* entry_point(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_frame(kFunctions[I], args, nargs, kwnames);
}

// "name(a, b, c=None)\n--\n\n": CPython reads the text signature from it.
std::string text_signature(const FunctionRecord& function) {
    std::string doc = std::string(function.name) + '(';
    for (std::size_t i = 0; i < function.param_count; ++i) {
        if (i > 0) doc += ", ";
        doc += param_name(function.params[i]);
        if (i >= function.required) doc += "=None";
    }
    return doc + ")\n--\n\n";
}

struct MethodTable {
    std::array<std::string, kFunctions.size()> docs;
    std::array<PyMethodDef, kFunctions.size()> methods;
};

template <std::size_t... I>
MethodTable make_method_table(std::index_sequence<I...>) {
    MethodTable table{{text_signature(kFunctions[I])...}, {}};
    ((table.methods[I] = PyMethodDef{kFunctions[I].name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry_point<I>)),
                                     METH_FASTCALL | METH_KEYWORDS, table.docs[I].c_str()}),
     ...);
    return table;
}

// Method records must outlive every function object made from them.
MethodTable& method_table() {
    static MethodTable table = make_method_table(std::make_index_sequence<kFunctions.size()>());
    return table;
}

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_quorvane_rust", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* cached_module = nullptr;
std::atomic<std::int64_t> owning_interpreter{-1};

bool append_to_all(PyObject* module, PyObject* name) {
    static PyObject* all_name = PyUnicode_InternFromString("__all__");
    if (all_name == nullptr) return false;
    PyRef all = PyRef::steal(PyObject_GetAttr(module, all_name));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttr(module, all_name, all.get()) < 0) return false;
    }
    if (!PyList_Check(all.get()) || PyList_Append(all.get(), name) < 0) {
        PyErr_Clear();
        return raise_panic(kAllAppendMessage);
    }
    return true;
}

bool add_function(PyObject* module, PyObject* module_name, PyMethodDef& method) {
    PyRef function = PyRef::steal(PyCMethod_New(&method, module, module_name, nullptr));
    if (!function) return false;
    PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name || !append_to_all(module, name.get())) return false;
    return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

PyObject* create_module() {
    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) return nullptr;
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module.get()));
    if (!module_name) return nullptr;
    for (PyMethodDef& method : method_table().methods) {
        if (!add_function(module.get(), module_name.get(), method)) return nullptr;
    }
    return module.release();
}

PyObject* init() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1 && PyErr_Occurred()) return nullptr;
    std::int64_t expected = -1;
    if (!owning_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError, kSubinterpreterMessage);
        return nullptr;
    }
    if (cached_module == nullptr) cached_module = create_module();
    Py_XINCREF(cached_module);
    return cached_module;
}

}  // namespace
}  // namespace quorvane::py

PyMODINIT_FUNC PyInit__quorvane_rust() {
    try {
        return quorvane::py::init();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (...) {
        return quorvane::py::raise_panic("module initialisation failed");
    }
}
