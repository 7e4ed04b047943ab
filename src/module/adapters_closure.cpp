#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../closure/chain_sizes.hpp"
#include "../closure/column_blocks.hpp"
#include "../closure/principal_sizes.hpp"

namespace quorvane::py::adapters {
namespace {

// The sizes from the whole rows; past the budget over chain coordinates where
// the order is narrow enough, else a block of the rows' columns at a time.
template <class ToPython>
PyObject* sizes_adapter(CallArgs& call, ToPython&& to_python) {
    return with_edge_order(
        call,
        [&](const ReachabilityRows& rows) { return finish(closure::principal_sizes(rows, call.interrupt), to_python); },
        [&](closure::SuccessorLists& order, std::size_t budget) -> PyObject* {
            order.list_entering_edges();
            KernelResult<std::optional<closure::PrincipalSizes>> narrow = closure::principal_sizes_by_chains(
                order, closure::kMaxCoordinateChains, closure::picture_bytes(budget), call.interrupt);
            if (!narrow) return raise_kernel_error(narrow.error());
            if (*narrow) return to_python(**narrow).release();
            const std::size_t columns = block_columns_within(call.n, budget);
            return finish(closure::principal_sizes_by_blocks(order, columns, call.interrupt), to_python);
        });
}

}  // namespace

PyObject* principal_ideal_filter_sizes(CallArgs& call) {
    return sizes_adapter(call, [](const closure::PrincipalSizes& sizes) {
        return to_python_tuple(to_python_list(sizes.ideal), to_python_list(sizes.filter));
    });
}

PyObject* zeta_summary_data(CallArgs& call) {
    return sizes_adapter(call, [](const closure::PrincipalSizes& sizes) {
        return to_python_tuple(to_python(closure::comparable_pairs(sizes)), to_python_list(sizes.ideal),
                               to_python_list(sizes.filter));
    });
}

}  // namespace quorvane::py::adapters
