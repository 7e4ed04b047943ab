// Objects the module keeps between calls (interned names, its exception
// class). Each belongs to the interpreter lifetime that made it: an embedding
// application may finalize the interpreter and initialize another in the same
// process, and the new one must not reach objects of the old.
#pragma once

#include "py_ref.hpp"

#include <atomic>
#include <cstdint>

namespace quorvane::py {

class KeptObject {
public:
    // The kept object (borrowed), made by make() (a new reference, or nullptr
    // with an exception set) on its first use in this interpreter lifetime.
    template <class Make>
    PyObject* get(Make&& make) {
        const std::uint64_t lifetime = current_lifetime_.load(std::memory_order_relaxed);
        if (object_ == nullptr || made_in_ != lifetime) {
            object_ = make();
            made_in_ = lifetime;
        }
        return object_;
    }

    // Called once the interpreter is finalized: every kept object is made
    // afresh on its next use. The old ones are not released; their
    // interpreter, and its memory, are gone.
    static void forget_all() noexcept { current_lifetime_.fetch_add(1, std::memory_order_relaxed); }

private:
    static inline std::atomic<std::uint64_t> current_lifetime_{0};
    PyObject* object_ = nullptr;
    std::uint64_t made_in_ = 0;
};

}  // namespace quorvane::py
