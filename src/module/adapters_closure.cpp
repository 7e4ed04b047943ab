#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../closure/principal_sizes.hpp"

namespace quorvane::py::adapters {

PyObject* principal_ideal_filter_sizes(CallArgs& call) {
    return with_edge_rows(call, [&](const ReachabilityRows& rows) {
        return finish(closure::principal_sizes(rows, call.interrupt), [](const closure::PrincipalSizes& sizes) {
            return to_python_tuple(to_python_list(sizes.ideal), to_python_list(sizes.filter));
        });
    });
}

PyObject* zeta_summary_data(CallArgs& call) {
    return with_edge_rows(call, [&](const ReachabilityRows& rows) {
        return finish(closure::principal_sizes(rows, call.interrupt), [](const closure::PrincipalSizes& sizes) {
            return to_python_tuple(to_python(closure::comparable_pairs(sizes)), to_python_list(sizes.ideal),
                                   to_python_list(sizes.filter));
        });
    });
}

}  // namespace quorvane::py::adapters
