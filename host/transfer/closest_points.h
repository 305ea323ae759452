// The closest point of a surface to any point in space: on its triangles,
// exactly, or on its vertices where it has no triangles.
#pragma once

#include <cstdint>
#include <memory>

#include "surface.h"

namespace host {

struct Closest_point {
    std::uint32_t corners[3] = {0, 0, 0};  // the vertices whose blend it is
    double weights[3] = {1, 0, 0};         // barycentric, summing to 1
    double distance = 0;
    Eigen::Vector3d normal = Eigen::Vector3d::Zero();  // the corners' normals blended, unit (zero without triangles)
};

class Closest_points {
public:
    // The surface must outlive this; it needs at least one vertex.
    explicit Closest_points(Surface const& surface);
    ~Closest_points();
    Closest_point find(Eigen::Vector3d const& query) const;

private:
    struct Index;
    Surface const& surface_;
    std::unique_ptr<Index> index_;
};

// The point of triangle abc closest to p, as barycentric weights of a, b and c.
Eigen::Vector3d closest_on_triangle(Eigen::Vector3d const& p, Eigen::Vector3d const& a, Eigen::Vector3d const& b,
                                    Eigen::Vector3d const& c);

}  // namespace host
