#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../closure/principal_sizes.hpp"

namespace quorvane::py::adapters {

PyObject* principal_ideal_filter_sizes(CallArgs& call) {
    return with_edge_rows(call, [](const ReachabilityRows& rows) {
        const closure::PrincipalSizes sizes = closure::principal_sizes(rows);
        return to_python_tuple(to_python_list(sizes.ideal), to_python_list(sizes.filter)).release();
    });
}

PyObject* zeta_summary_data(CallArgs& call) {
    return with_edge_rows(call, [](const ReachabilityRows& rows) {
        const std::uint64_t pairs = closure::comparable_pairs(rows);
        const closure::PrincipalSizes sizes = closure::principal_sizes(rows);
        return to_python_tuple(to_python(pairs), to_python_list(sizes.ideal), to_python_list(sizes.filter)).release();
    });
}

}  // namespace quorvane::py::adapters
