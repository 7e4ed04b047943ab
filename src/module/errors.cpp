#include "errors.hpp"

#include "kept_object.hpp"

namespace quorvane::py {
namespace {

PyObject* panic_exception_type() noexcept {
    static KeptObject type;
    return type.get([] {
        return PyErr_NewExceptionWithDoc(
            "_quorvane_rust.PanicException",
            "An internal fault of the extension module; it is never an expected error of a call.",
            PyExc_BaseException, nullptr);
    });
}

PyRef qualified_name(PyObject* object) noexcept {
    PyRef name = PyRef::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!name) {
        PyErr_Clear();
        name = PyRef::steal(PyUnicode_FromString("<failed to extract type name>"));
    }
    return name;
}

}  // namespace

PyObject* get_raised_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr) PyException_SetTraceback(value, traceback);
    Py_DECREF(type);
    Py_XDECREF(traceback);
    return value;
#endif
}

void set_raised_exception(PyObject* exception) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception);
#else
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exception));
    Py_INCREF(type);
    PyErr_Restore(type, exception, PyException_GetTraceback(exception));
#endif
}

Raised raise_kernel_error(KernelError error) noexcept {
    if (!error.interrupted()) PyErr_SetString(PyExc_ValueError, error.message);
    return {};
}

Raised raise_panic(const char* message) noexcept {
    PyObject* type = panic_exception_type();
    if (type != nullptr) PyErr_SetString(type, message);
    return {};
}

Raised raise_cannot_convert(PyObject* object, const char* target) noexcept {
    PyRef name = qualified_name(object);
    if (name) PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
    return {};
}

void wrap_argument_error(const char* name) noexcept {
    PyRef original = PyRef::steal(get_raised_exception());
    if (!original || Py_TYPE(original.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        set_raised_exception(original.release());
        return;
    }
    PyRef wrapped = PyRef::steal(PyUnicode_FromFormat("argument '%s': %S", name, original.get()));
    if (wrapped) wrapped = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, wrapped.get()));
    if (!wrapped) return;
    PyException_SetCause(wrapped.get(), PyException_GetCause(original.get()));
    set_raised_exception(wrapped.release());
}

}  // namespace quorvane::py
