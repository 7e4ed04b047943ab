#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../ideals/ideals.hpp"

namespace quorvane::py::adapters {

PyObject* linear_extension_count_data(CallArgs& call) {
    return finish(ideals::linear_extension_count(call.n, call.edges, call.max_states, call.interrupt),
                  [](ideals::Count count) { return to_python(count); });
}

PyObject* lattice_layer_sizes(CallArgs& call) {
    return finish(ideals::lattice_layer_sizes(call.n, call.edges, call.interrupt),
                  [](const std::vector<ideals::Count>& sizes) { return to_python_list(sizes); });
}

}  // namespace quorvane::py::adapters
