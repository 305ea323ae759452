// Skins back out to glTF: the model that from-gltf made a scene of, written
// again as .glb with the scene's vertex skins in place of its own.
#pragma once

#include <stdexcept>
#include <string>

#include "faults.h"
#include "gltf_weights.h"
#include "scene_model.h"

namespace host {

// A skin of the scene that glTF cannot carry: a joint that is not a joint of
// the mesh's glTF skin, a skin on a shape that is not a mesh's vertex.
class Inexpressible_skin : public host_error {
public:
    using host_error::host_error;
};

// What a write had to say of the skins it wrote: vertices bound twice to one
// joint (merged into one influence, their weights added), and, without
// normalize, vertices whose weights do not sum to 1 within the Khronos
// validator's tolerance (summed in float, 2e-7 for each weight that is not 0).
struct Gltf_skin_notes {
    std::size_t merged = 0, off_sum = 0;
    std::string first_merged, first_off_sum, first_limited, first_pruned;
    Weight_shaping_notes shaping;  // what the limit and the floor cost
};

// Writes model_path's model to out_path (.glb) with the vertex skins of the
// scene, which must be the one that from-gltf made of that model: as many
// JOINTS_n/WEIGHTS_n sets of four as the most influenced vertex needs, each
// vertex's weights shaped as `how` asks (summed in double). Throws
// Inexpressible_skin, or host_error when the scene is not the model's.
Gltf_skin_notes write_gltf_skins(Model_scene& scene, std::string const& model_path, std::string const& out_path,
                                 Gltf_weights const& how);

}  // namespace host
