#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../incidence/convolution.hpp"

namespace quorvane::py::adapters {
namespace {

using Convolution = KernelResult<incidence::IncidenceMatrix> (*)(const ReachabilityRows&,
                                                                 const incidence::IncidenceMatrix&,
                                                                 const incidence::IncidenceMatrix&, InterruptPoll);

// What an edge-form function and its bitset twin do once the rows are closed.
template <Convolution convolution>
auto convolve(CallArgs& call) {
    return [&call](const ReachabilityRows& rows) {
        return finish(convolution(rows, call.left, call.right, call.interrupt),
                      [&call](const incidence::IncidenceMatrix& result) {
                          WorkBudget budget(call.interrupt);
                          return to_python_rows(result, budget);
                      });
    };
}

}  // namespace

PyObject* sum_product_convolution_data(CallArgs& call) {
    return with_edge_rows(call, convolve<incidence::sum_product_convolution>(call));
}

PyObject* sum_product_convolution_bitset_data(CallArgs& call) {
    return with_successor_rows(call, convolve<incidence::sum_product_convolution>(call));
}

PyObject* max_plus_convolution_data(CallArgs& call) {
    return with_edge_rows(call, convolve<incidence::max_plus_convolution>(call));
}

PyObject* max_plus_convolution_bitset_data(CallArgs& call) {
    return with_successor_rows(call, convolve<incidence::max_plus_convolution>(call));
}

PyObject* min_plus_convolution_data(CallArgs& call) {
    return with_edge_rows(call, convolve<incidence::min_plus_convolution>(call));
}

PyObject* min_plus_convolution_bitset_data(CallArgs& call) {
    return with_successor_rows(call, convolve<incidence::min_plus_convolution>(call));
}

PyObject* max_min_convolution_data(CallArgs& call) {
    return with_edge_rows(call, convolve<incidence::max_min_convolution>(call));
}

PyObject* max_min_convolution_bitset_data(CallArgs& call) {
    return with_successor_rows(call, convolve<incidence::max_min_convolution>(call));
}

}  // namespace quorvane::py::adapters
