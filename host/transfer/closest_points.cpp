#include "closest_points.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include <nanoflann.hpp>

namespace host {

// The regions of the triangle tried in turn (Ericson, Real-Time Collision
// Detection, 5.1.5): a vertex, an edge, or the inside.
Eigen::Vector3d closest_on_triangle(Eigen::Vector3d const& p, Eigen::Vector3d const& a, Eigen::Vector3d const& b,
                                    Eigen::Vector3d const& c)
{
    Eigen::Vector3d const ab = b - a, ac = c - a, ap = p - a;
    double const d1 = ab.dot(ap), d2 = ac.dot(ap);
    if (d1 <= 0 && d2 <= 0)
        return {1, 0, 0};
    Eigen::Vector3d const bp = p - b;
    double const d3 = ab.dot(bp), d4 = ac.dot(bp);
    if (d3 >= 0 && d4 <= d3)
        return {0, 1, 0};
    double const vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        double const v = d1 / (d1 - d3);
        return {1 - v, v, 0};
    }
    Eigen::Vector3d const cp = p - c;
    double const d5 = ab.dot(cp), d6 = ac.dot(cp);
    if (d6 >= 0 && d5 <= d6)
        return {0, 0, 1};
    double const vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        double const w = d2 / (d2 - d6);
        return {1 - w, 0, w};
    }
    double const va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        double const w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        return {0, 1 - w, w};
    }
    double const sum = va + vb + vc;
    if (!(sum > 0)) {
        // A triangle without area: its closest edge point, each edge tried.
        Eigen::Vector3d best{1, 0, 0};
        double best_distance = (p - a).squaredNorm();
        Eigen::Vector3d const* corner[3] = {&a, &b, &c};
        for (int e = 0; e < 3; ++e) {
            Eigen::Vector3d const& from = *corner[e];
            Eigen::Vector3d const& to = *corner[(e + 1) % 3];
            double const length = (to - from).squaredNorm();
            double const t = length > 0 ? std::clamp((p - from).dot(to - from) / length, 0.0, 1.0) : 0.0;
            double const d = (from + t * (to - from) - p).squaredNorm();
            if (d < best_distance) {
                best_distance = d;
                best = Eigen::Vector3d::Zero();
                best[e] = 1 - t;
                best[(e + 1) % 3] = t;
            }
        }
        return best;
    }
    double const v = vb / sum, w = vc / sum;
    return {1 - v - w, v, w};
}

namespace {

// The points a tree holds: the triangles' centres, or the vertices.
struct Centres {
    Positions points;
    std::vector<std::uint32_t> triangles;  // the triangle of each centre
    std::size_t kdtree_get_point_count() const { return static_cast<std::size_t>(points.rows()); }
    double kdtree_get_pt(std::size_t i, std::size_t d) const { return points(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(d)); }
    template <class Box>
    bool kdtree_get_bbox(Box&) const
    {
        return false;
    }
};

using Tree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Centres>, Centres, 3, std::uint32_t>;

// A search that keeps the triangle nearest so far, measured exactly, and
// asks a tree only for centres that could hold a nearer one: no point of a
// triangle lies farther from its centre than the tree's reach.
class Nearest_triangle {
public:
    Nearest_triangle(Surface const& surface, Eigen::Vector3d const& query) : surface_(surface), query_(query) {}
    // The next tree searched: its triangles, and their farthest reach from their centres.
    void search(std::vector<std::uint32_t> const& triangles, double reach)
    {
        triangles_ = &triangles;
        reach_ = reach;
    }
    bool full() const { return true; }
    double worstDist() const
    {
        if (best_ == std::numeric_limits<double>::infinity())
            return best_;
        double const r = std::sqrt(best_) + reach_;
        return r * r;
    }
    bool addPoint(double, std::uint32_t centre)
    {
        std::uint32_t const triangle = (*triangles_)[centre];
        auto const t = static_cast<Eigen::Index>(triangle);
        Eigen::Vector3d const a = surface_.positions.row(surface_.triangles(t, 0)), b = surface_.positions.row(surface_.triangles(t, 1)),
                              c = surface_.positions.row(surface_.triangles(t, 2));
        Eigen::Vector3d const w = closest_on_triangle(query_, a, b, c);
        double const d = (w[0] * a + w[1] * b + w[2] * c - query_).squaredNorm();
        // Equal distances keep the lower triangle, whatever order the tree visits them in.
        if (d < best_ || (d == best_ && triangle < triangle_)) {
            best_ = d;
            triangle_ = triangle;
            weights_ = w;
        }
        return true;
    }

    double best_ = std::numeric_limits<double>::infinity();
    std::uint32_t triangle_ = UINT32_MAX;
    Eigen::Vector3d weights_{1, 0, 0};

private:
    Surface const& surface_;
    Eigen::Vector3d query_;
    std::vector<std::uint32_t> const* triangles_ = nullptr;
    double reach_ = 0;
};

}  // namespace

// Triangles in groups by size (their reach within a factor of two), a tree
// each: one large triangle would otherwise widen every search of the
// small ones around it.
struct Closest_points::Index {
    struct Group {
        Centres centres;
        double reach = 0;  // the largest distance from a centre to its corners
        std::unique_ptr<Tree> tree;
    };
    std::vector<Group> groups;  // the smallest first
};

Closest_points::Closest_points(Surface const& surface) : surface_(surface), index_(std::make_unique<Index>())
{
    if (surface.positions.rows() == 0)
        throw std::invalid_argument("a surface without vertices has no closest point");
    auto& groups = index_->groups;
    if (surface.triangles.rows() == 0) {
        groups.emplace_back().centres.points = surface.positions;
    } else {
        std::vector<std::pair<int, std::uint32_t>> sizes;  // (group, triangle)
        sizes.reserve(static_cast<std::size_t>(surface.triangles.rows()));
        std::vector<double> reach(static_cast<std::size_t>(surface.triangles.rows()));
        for (Eigen::Index t = 0; t < surface.triangles.rows(); ++t) {
            Eigen::RowVector3d const a = surface.positions.row(surface.triangles(t, 0)),
                                     b = surface.positions.row(surface.triangles(t, 1)),
                                     c = surface.positions.row(surface.triangles(t, 2));
            Eigen::RowVector3d const centre = (a + b + c) / 3;
            double const r = std::max({(a - centre).norm(), (b - centre).norm(), (c - centre).norm()});
            reach[static_cast<std::size_t>(t)] = r;
            int exponent = 0;
            if (r > 0 && std::isfinite(r))
                std::frexp(r, &exponent);
            sizes.emplace_back(r > 0 && std::isfinite(r) ? exponent : INT32_MIN, static_cast<std::uint32_t>(t));
        }
        std::sort(sizes.begin(), sizes.end());
        for (std::size_t i = 0; i < sizes.size();) {
            Index::Group& group = groups.emplace_back();
            std::size_t end = i;
            while (end < sizes.size() && sizes[end].first == sizes[i].first)
                ++end;
            group.centres.points.resize(static_cast<Eigen::Index>(end - i), 3);
            for (std::size_t k = i; k < end; ++k) {
                auto const t = static_cast<Eigen::Index>(sizes[k].second);
                group.centres.points.row(static_cast<Eigen::Index>(k - i)) =
                    (surface.positions.row(surface.triangles(t, 0)) + surface.positions.row(surface.triangles(t, 1)) +
                     surface.positions.row(surface.triangles(t, 2))) / 3;
                group.centres.triangles.push_back(sizes[k].second);
                group.reach = std::max(group.reach, reach[sizes[k].second]);
            }
            i = end;
        }
    }
    for (Index::Group& group : groups)
        group.tree = std::make_unique<Tree>(3, group.centres, nanoflann::KDTreeSingleIndexAdaptorParams(16));
}

Closest_points::~Closest_points() = default;

Closest_point Closest_points::find(Eigen::Vector3d const& query) const
{
    Closest_point found;
    if (surface_.triangles.rows() == 0) {
        std::uint32_t vertex = 0;
        double distance = 0;
        nanoflann::KNNResultSet<double, std::uint32_t> result(1);
        result.init(&vertex, &distance);
        index_->groups.front().tree->findNeighbors(result, query.data(), nanoflann::SearchParams());
        found.corners[0] = found.corners[1] = found.corners[2] = vertex;
        found.distance = std::sqrt(distance);
        return found;
    }
    Nearest_triangle search(surface_, query);
    for (Index::Group const& group : index_->groups) {
        search.search(group.centres.triangles, group.reach);
        group.tree->findNeighbors(search, query.data(), nanoflann::SearchParams());
    }
    auto const t = static_cast<Eigen::Index>(search.triangle_);
    for (int k = 0; k < 3; ++k) {
        found.corners[k] = surface_.triangles(t, k);
        found.weights[k] = search.weights_[k];
        if (surface_.normals.rows() == surface_.positions.rows())
            found.normal += search.weights_[k] * surface_.normals.row(found.corners[k]).transpose();
    }
    found.distance = std::sqrt(search.best_);
    double const length = found.normal.norm();
    if (length > 0)
        found.normal /= length;
    return found;
}

}  // namespace host
