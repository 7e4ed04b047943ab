#include "adapter_support.hpp"

#include "kept_object.hpp"

namespace quorvane::py {

std::size_t memory_budget(const CallArgs& call) {
    static KeptObject name_slot;
    PyObject* name = name_slot.get([] { return PyUnicode_InternFromString("_memory_budget"); });
    PyObject* attributes = call.module != nullptr ? PyModule_GetDict(call.module) : nullptr;
    if (name == nullptr || attributes == nullptr) {
        PyErr_Clear();
        return closure::kMemoryBudgetBytes;
    }
    PyObject* set = PyDict_GetItemWithError(attributes, name);
    if (set == nullptr || !PyLong_CheckExact(set)) {
        PyErr_Clear();
        return closure::kMemoryBudgetBytes;
    }
    const std::size_t budget = PyLong_AsSize_t(set);
    if (budget == static_cast<std::size_t>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return closure::kMemoryBudgetBytes;
    }
    return budget;
}

}  // namespace quorvane::py
