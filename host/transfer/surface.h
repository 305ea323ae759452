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

// The connected pieces of a surface: vertices joined by triangles; a vertex
// that no triangle names is a piece of its own.
struct Pieces {
    std::vector<std::uint32_t> of;  // piece of each vertex, numbered in order of their first vertex
    std::uint32_t count = 0;
};
Pieces connected_pieces(Surface const& surface);

}  // namespace host
