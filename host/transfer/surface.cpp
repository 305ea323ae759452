#include "surface.h"

#include <algorithm>
#include <numeric>

namespace host {

void Surface::make_normals()
{
    normals = Positions::Zero(positions.rows(), 3);
    for (Eigen::Index t = 0; t < triangles.rows(); ++t) {
        Eigen::Vector3d const a = positions.row(triangles(t, 0)), b = positions.row(triangles(t, 1)),
                              c = positions.row(triangles(t, 2));
        // The cross product's length is twice the area: larger triangles weigh more.
        Eigen::RowVector3d const n = (b - a).cross(c - a).transpose();
        for (int k = 0; k < 3; ++k)
            normals.row(triangles(t, k)) += n;
    }
    // Vertices at one place (split along a seam of the texture or the
    // normals) share one normal: that of the surface there.
    std::vector<Eigen::Index> order(static_cast<std::size_t>(positions.rows()));
    std::iota(order.begin(), order.end(), Eigen::Index{0});
    auto less = [&](Eigen::Index a, Eigen::Index b) {
        for (int k = 0; k < 3; ++k)
            if (positions(a, k) != positions(b, k))
                return positions(a, k) < positions(b, k);
        return a < b;
    };
    std::sort(order.begin(), order.end(), less);
    for (std::size_t first = 0; first < order.size();) {
        std::size_t last = first + 1;
        while (last < order.size() && positions.row(order[last]) == positions.row(order[first]))
            ++last;
        if (last - first > 1) {
            Eigen::RowVector3d sum = Eigen::RowVector3d::Zero();
            for (std::size_t i = first; i < last; ++i)
                sum += normals.row(order[i]);
            for (std::size_t i = first; i < last; ++i)
                normals.row(order[i]) = sum;
        }
        first = last;
    }
    for (Eigen::Index v = 0; v < normals.rows(); ++v) {
        double const length = normals.row(v).norm();
        if (length > 0)
            normals.row(v) /= length;
    }
}

double Surface::diagonal() const
{
    if (positions.rows() == 0)
        return 0;
    return (positions.colwise().maxCoeff() - positions.colwise().minCoeff()).norm();
}

Eigen::Vector3d apply(vec3 const& p, mat4 const& m)
{
    Eigen::Vector3d out;
    for (int j = 0; j < 3; ++j)
        out[j] = double(p.x) * m.m[0][j] + double(p.y) * m.m[1][j] + double(p.z) * m.m[2][j] + m.m[3][j];
    return out;
}

Surface world_surface(Model_shape const& shape, bool bind_pose)
{
    Surface surface;
    surface.positions.resize(static_cast<Eigen::Index>(shape.vertices.size()), 3);
    mat4 const world = shape.world();
    for (std::size_t v = 0; v < shape.vertices.size(); ++v) {
        Model_vertex const& vertex = shape.vertices[v];
        bool const skinned = !bind_pose && !vertex.skin.bindings().empty();
        surface.positions.row(static_cast<Eigen::Index>(v)) = apply(vertex.position, skinned ? vertex.skin.matrix() : world).transpose();
    }
    surface.triangles.resize(static_cast<Eigen::Index>(shape.triangles.size() / 3), 3);
    for (std::size_t i = 0; i + 2 < shape.triangles.size(); i += 3)
        for (int k = 0; k < 3; ++k)
            surface.triangles(static_cast<Eigen::Index>(i / 3), k) = shape.triangles[i + static_cast<std::size_t>(k)];
    surface.make_normals();
    return surface;
}

Pieces connected_pieces(Surface const& surface)
{
    auto const n = static_cast<std::size_t>(surface.positions.rows());
    std::vector<std::uint32_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0u);
    auto find = [&](std::uint32_t v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    for (Eigen::Index t = 0; t < surface.triangles.rows(); ++t)
        for (int k = 1; k < 3; ++k) {
            std::uint32_t const a = find(surface.triangles(t, 0)), b = find(surface.triangles(t, k));
            if (a != b)
                parent[a < b ? b : a] = a < b ? a : b;  // the lower vertex stays the root
        }
    Pieces pieces;
    pieces.of.resize(n);
    std::vector<std::uint32_t> number(n, UINT32_MAX);
    for (std::size_t v = 0; v < n; ++v) {
        std::uint32_t const root = find(static_cast<std::uint32_t>(v));
        if (number[root] == UINT32_MAX)
            number[root] = pieces.count++;
        pieces.of[v] = number[root];
    }
    return pieces;
}

}  // namespace host
