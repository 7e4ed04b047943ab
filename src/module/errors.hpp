// Exception classes, fixed message texts and the raising helpers of the surface.
#pragma once

#include "py_ref.hpp"

#include "../common/kernel_types.hpp"

namespace quorvane::py {

inline constexpr const char kStrToVec[] = "Can't extract `str` to `Vec`";
inline constexpr const char kSequenceTarget[] = "Sequence";
inline constexpr const char kTupleTarget[] = "PyTuple";
inline constexpr const char kBoolTarget[] = "PyBool";
inline constexpr const char kBytesTarget[] = "PyBytes";
inline constexpr const char kSuccessorCountMismatch[] = "cover successor bitset count must match the element count";
inline constexpr const char kNoBoolConversionFormat[] = "object of type '%S' does not define a '__bool__' conversion";
inline constexpr const char kSubinterpreterMessage[] =
    "_quorvane_rust cannot be imported into more than one interpreter per process";
inline constexpr const char kExitHookMessage[] = "_quorvane_rust could not register its interpreter exit hook";
inline constexpr const char kAllAppendMessage[] = "could not append __name__ to __all__";

// Python < 3.12 has no single-object error state; these stand in for it.
PyObject* get_raised_exception() noexcept;
void set_raised_exception(PyObject* exception) noexcept;

// What the raising helpers return, so that a failure reads `return raise_...;`
// both where failure is a null object and where it is false.
struct Raised {
    operator bool() const noexcept { return false; }
    template <class T>
    operator T*() const noexcept { return nullptr; }
};

Raised raise_kernel_error(KernelError error) noexcept;
Raised raise_panic(const char* message) noexcept;

// "'<qualname>' object cannot be converted to '<target>'" as TypeError.
Raised raise_cannot_convert(PyObject* object, const char* target) noexcept;

// If the pending exception is exactly TypeError, replaces it by
// "argument '<name>': <message>", keeping its __cause__.
void wrap_argument_error(const char* name) noexcept;

}  // namespace quorvane::py
