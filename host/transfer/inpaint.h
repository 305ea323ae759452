// Weights for the vertices that matched nothing, found by inpainting: the
// matched rows held fixed, the rest chosen to minimise a smoothness energy
// over the mesh, trace(Wᵀ Q W) with Q = -L + L M⁻¹ L, L the cotangent
// Laplacian and M the lumped mass (Abdrashitov et al., "Robust Skin Weights
// Transfer via Weight Inpainting", 2023). Q reproduces linear functions away
// from the mesh's border.
#pragma once

#include <string>
#include <vector>

#include <Eigen/Core>

#include "surface.h"

namespace host {

using Weight_rows = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

struct Inpaint_times {
    double build = 0, factor = 0, solve = 0;  // seconds
};

// The solver the build found: "CHOLMOD" or "Eigen's SimplicialLDLT".
std::string inpaint_solver();

// Fills the rows of weights whose `known` is false (known rows are left as
// they are). Every piece of the surface with an unknown vertex must hold a
// known one, else the system has no one solution: throws std::runtime_error,
// as it does when the factorisation fails.
void inpaint(Surface const& surface, std::vector<char> const& known, Weight_rows& weights, Inpaint_times* times = nullptr);

}  // namespace host
