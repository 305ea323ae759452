// The transfer room (host/transfer): skins carried from one mesh onto another
// by position. It uses the model room only; the command line uses it, the
// plug-in never does.
//
// A mesh as the transfer sees it: positions in world space, in double, its
// triangles, normals at its vertices, and its connected pieces.
#pragma once

#include <cstdint>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "scene_model.h"

namespace host {

using Positions = Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::RowMajor>;
using Triangles = Eigen::Matrix<std::uint32_t, Eigen::Dynamic, 3, Eigen::RowMajor>;

struct Surface {
    Positions positions;
    Triangles triangles;
    Positions normals;  // unit, area-weighted; zero at a vertex no triangle with an area touches

    // Builds the normals from the positions and triangles.
    void make_normals();
    // The diagonal of the box around the positions (0 for none).
    double diagonal() const;
};

// A polygon mesh's surface in world space: a host's scene puts each vertex
// where its skin (else its shape) puts it; with bind_pose (a glTF model),
// where its shape puts it, its skin not applied.
Surface world_surface(Model_shape const& shape, bool bind_pose);
// p · m for a point p as a row vector, in double.
Eigen::Vector3d apply(vec3 const& p, mat4 const& m);

// The connected pieces of a surface: vertices joined by triangles; a vertex
// that no triangle names is a piece of its own.
struct Pieces {
    std::vector<std::uint32_t> of;  // piece of each vertex, numbered in order of their first vertex
    std::uint32_t count = 0;
};
Pieces connected_pieces(Surface const& surface);

}  // namespace host
