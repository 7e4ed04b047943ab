// Module creation and registration of the function table.
#include "py_ref.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "errors.hpp"
#include "function_table.hpp"
#include "kept_object.hpp"

namespace quorvane::py {
namespace {

template <std::size_t I>
PyObject* entry_point(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_frame(kFunctions[I], module, args, nargs, kwnames);
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

// The module of this interpreter lifetime (a strong reference) and the
// interpreter that imported it.
PyObject* cached_module = nullptr;
std::atomic<std::int64_t> owning_interpreter{-1};

// Runs once the interpreter is finalized (Py_AtExit), so that a later
// interpreter of this process imports afresh. The cached module went with its
// interpreter: it is forgotten, not released.
void forget_interpreter() {
    cached_module = nullptr;
    owning_interpreter.store(-1);
    KeptObject::forget_all();
}

bool append_to_all(PyObject* module, PyObject* name) {
    static KeptObject all_name_slot;
    PyObject* all_name = all_name_slot.get([] { return PyUnicode_InternFromString("__all__"); });
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

// A sub-interpreter may refuse single-phase modules such as this one, and
// CPython tells only after this init function has run. The same check, made
// first through a throwaway module that declares itself unfit for
// sub-interpreters, keeps a refused import from claiming the module.
bool interpreter_accepts_this_module() {
#if PY_VERSION_HEX >= 0x030C0000
    if (PyInterpreterState_Get() == PyInterpreterState_Main()) return true;
    static PyModuleDef_Slot probe_slots[] = {
        {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
        {0, nullptr},
    };
    static PyModuleDef probe = {
        PyModuleDef_HEAD_INIT, module_definition.m_name, nullptr, 0, nullptr, probe_slots, nullptr, nullptr, nullptr,
    };
    // All the check reads of the import's description is the module's name.
    PyRef description = PyRef::steal(PyModule_New(module_definition.m_name));
    PyRef name = description ? PyRef::steal(PyModule_GetNameObject(description.get())) : PyRef();
    if (!name || PyObject_SetAttrString(description.get(), "name", name.get()) < 0) return false;
    return static_cast<bool>(PyRef::steal(PyModule_FromDefAndSpec(&probe, description.get())));
#else
    return true;  // before 3.12 every interpreter loads single-phase modules
#endif
}

PyObject* init() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1 && PyErr_Occurred()) return nullptr;
    const std::int64_t owner = owning_interpreter.load();
    if (owner == id) return Py_NewRef(cached_module);
    if (owner != -1) {
        PyErr_SetString(PyExc_ImportError, kSubinterpreterMessage);
        return nullptr;
    }
    // Only an import that completes claims the module.
    if (!interpreter_accepts_this_module()) return nullptr;
    PyRef module = PyRef::steal(create_module());
    if (!module) return nullptr;
    if (Py_AtExit(forget_interpreter) < 0) {
        PyErr_SetString(PyExc_ImportError, kExitHookMessage);
        return nullptr;
    }
    std::int64_t unclaimed = -1;
    if (!owning_interpreter.compare_exchange_strong(unclaimed, id)) {
        PyErr_SetString(PyExc_ImportError, kSubinterpreterMessage);
        return nullptr;
    }
    cached_module = Py_NewRef(module.get());
    return module.release();
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
