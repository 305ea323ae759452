// What an engine takes of a vertex's weights: at most K influences, none
// below a floor, and weights as floats or as normalised unsigned shorts or
// bytes that sum exactly to 65535 or 255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct Gltf_weights {
    enum class Form { floats, u16, u8 };
    bool normalize = false;           // each vertex's weights divided by their sum
    std::size_t max_influences = 0;   // 0: as many as the vertex has
    double prune = 0;                 // weights below this are dropped
    Form form = Form::floats;
};

// What shaping cost, over all vertices.
struct Weight_shaping_notes {
    std::size_t limited = 0;       // vertices that lost influences to the limit
    double largest_limited = 0;    // the largest weight the limit dropped (of the vertex's sum)
    std::size_t pruned = 0;        // vertices that lost weights below the floor
    std::size_t kept_largest = 0;  // vertices whose every weight was below the floor: the largest kept
};

// One vertex's influences (slot, weight), each slot once, weights finite and
// not negative with a sum above 0: pruned, limited (the largest kept, ties
// to the lower slot), and divided by their sum where anything was dropped,
// where normalize asks, or where the weights are quantised.
void shape_influences(std::vector<std::pair<std::size_t, double>>& influences, Gltf_weights const& how,
                      Weight_shaping_notes& notes);

// Weights that sum to 1 as integers that sum exactly to total: each the
// floor of its share, and the steps left to the largest remainders (ties to
// the earlier weight), so that each is within one step of its exact value.
std::vector<std::uint32_t> quantise_weights(std::vector<double> const& weights, std::uint32_t total);
// The same for n weights into out, with no allocation once the thread's
// scratch has grown to the largest n: a model has a call per vertex.
void quantise_weights(double const* weights, std::size_t n, std::uint32_t total, std::uint32_t* out);

}  // namespace host
