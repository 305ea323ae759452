#include "transfer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include "closest_points.h"
#include "inpaint.h"
#include "math.h"
#include "surface.h"

namespace host {

bool Transfer_report::lost() const
{
    if (!missing_joints.empty())
        return true;
    return std::any_of(shapes.begin(), shapes.end(),
                       [](Shape_transfer const& s) { return !s.refused.empty() || s.lost > 0; });
}

namespace {

constexpr double pi = 3.14159265358979323846;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::string> components(Model_shape const& shape)
{
    std::vector<std::string> names;
    for (Model_shape const* s = &shape; s; s = s->parent())
        names.push_back(s->name);
    return names;  // from the shape up
}

// Of shapes that share a name, the one whose path ends most like the
// wanted path (names from the shape up); the first in scene order on a tie.
Model_shape* likeliest(std::vector<Model_shape*> const& candidates, std::vector<std::string> const& wanted)
{
    Model_shape* best = nullptr;
    std::size_t best_length = 0;
    for (Model_shape* candidate : candidates) {
        std::vector<std::string> const names = components(*candidate);
        std::size_t length = 0;
        while (length < names.size() && length < wanted.size() && names[length] == wanted[length])
            ++length;
        if (!best || length > best_length)
            best = candidate, best_length = length;
    }
    return best;
}

struct Job {
    Transfer_side source, target;
    Transfer_options const& options;
    Transfer_report& report;
    std::unordered_map<std::string, std::vector<Model_shape*>> target_shapes_by_name;
    std::unordered_map<Model_shape const*, Model_shape*> joint_of;  // source joint -> target joint (null: none)

    Model_shape* target_joint(Model_shape const* joint)
    {
        auto known = joint_of.find(joint);
        if (known != joint_of.end())
            return known->second;
        auto map = [&](std::string const& name) { return options.joint_name ? options.joint_name(name) : name; };
        std::vector<std::string> wanted = components(*joint);
        for (std::string& name : wanted)
            name = map(name);
        Model_shape* found = nullptr;
        auto named = target_shapes_by_name.find(wanted.front());
        if (named != target_shapes_by_name.end())
            found = likeliest(named->second, wanted);
        if (!found)
            report.missing_joints.push_back(joint->path());
        joint_of.emplace(joint, found);
        return found;
    }

    void run(Model_shape& shape, Model_shape const& from, Shape_transfer& done);
};

// The source's skins as rows over the target's joints: for each source
// vertex its (column, weight) pairs, and whether a joint was dropped.
struct Source_rows {
    std::vector<std::uint32_t> first;  // per vertex, into columns/weights; one past the end last
    std::vector<std::uint32_t> columns;
    std::vector<double> weights;
    std::vector<char> dropped;
    std::vector<Model_shape*> joints;  // the target joint of each column
};

Source_rows source_rows(Job& job, Model_shape const& from)
{
    Source_rows rows;
    std::unordered_map<Model_shape*, std::uint32_t> column_of;
    rows.first.reserve(from.vertices.size() + 1);
    rows.dropped.assign(from.vertices.size(), 0);
    for (std::size_t v = 0; v < from.vertices.size(); ++v) {
        rows.first.push_back(static_cast<std::uint32_t>(rows.columns.size()));
        for (Model_binding const& b : from.vertices[v].skin.bindings()) {
            // A binding of no weight carries nothing, and asks for no joint.
            if (!(b.weight > 0))
                continue;
            Model_shape* joint = b.joint ? job.target_joint(static_cast<Model_shape*>(b.joint)) : nullptr;
            if (!joint) {
                rows.dropped[v] = 1;
                continue;
            }
            auto const column = column_of.emplace(joint, static_cast<std::uint32_t>(rows.joints.size())).first->second;
            if (column == rows.joints.size())
                rows.joints.push_back(joint);
            rows.columns.push_back(column);
            rows.weights.push_back(b.weight);
        }
    }
    rows.first.push_back(static_cast<std::uint32_t>(rows.columns.size()));
    return rows;
}

void normalise(Eigen::Ref<Eigen::RowVectorXd> row)
{
    double const sum = row.sum();
    if (sum > 0)
        row /= sum;
}

// Keeps the `limit` largest weights of a row (the lower column on a tie) and
// renormalises; true when one was dropped.
bool limit_row(Eigen::Ref<Eigen::RowVectorXd> row, std::size_t limit, std::vector<Eigen::Index>& order)
{
    order.clear();
    for (Eigen::Index j = 0; j < row.size(); ++j)
        if (row[j] > 0)
            order.push_back(j);
    if (limit == 0 || order.size() <= limit)
        return false;
    std::stable_sort(order.begin(), order.end(), [&](Eigen::Index a, Eigen::Index b) { return row[a] > row[b]; });
    for (std::size_t k = limit; k < order.size(); ++k)
        row[order[k]] = 0;
    normalise(row);
    return true;
}

void Job::run(Model_shape& shape, Model_shape const& from, Shape_transfer& done)
{
    Transfer_method const method = options.method;
    auto start = std::chrono::steady_clock::now();
    Surface target_surface = world_surface(shape, target.bind_pose);
    Surface source_surface = world_surface(from, source.bind_pose);
    auto const n = target_surface.positions.rows();
    done.vertices = static_cast<std::size_t>(n);
    if (method == Transfer_method::index && from.vertices.size() != shape.vertices.size()) {
        done.refused = "by index, vertex counts must match: " + std::to_string(from.vertices.size()) + " in the source, " +
                       std::to_string(shape.vertices.size()) + " here";
        return;
    }
    if (from.vertices.empty()) {
        done.refused = "the source shape has no vertices";
        return;
    }
    Source_rows const rows = source_rows(*this, from);
    if (rows.joints.empty()) {
        done.refused = "the source shape has no skin on its vertices (or none whose joint is here)";
        return;
    }
    std::unique_ptr<Closest_points> closest;
    if (method != Transfer_method::index)
        closest = std::make_unique<Closest_points>(source_surface);
    report.index += seconds_since(start);

    start = std::chrono::steady_clock::now();
    auto const joints = static_cast<Eigen::Index>(rows.joints.size());
    Weight_rows weights = Weight_rows::Zero(n, joints);
    std::vector<char> known(static_cast<std::size_t>(n), 1);
    double const reach = options.max_distance * target_surface.diagonal();
    double const least_cosine = std::cos(options.max_angle * pi / 180);
    std::vector<char> lost(static_cast<std::size_t>(n), 0);
    for (Eigen::Index v = 0; v < n; ++v) {
        Eigen::Vector3d const p = target_surface.positions.row(v).transpose();
        Closest_point hit;
        if (closest) {
            hit = closest->find(p);
        } else {
            hit.corners[0] = static_cast<std::uint32_t>(v);
            hit.distance = (source_surface.positions.row(v).transpose() - p).norm();
        }
        if (method == Transfer_method::inpaint) {
            Eigen::Vector3d const normal = target_surface.normals.row(v).transpose();
            bool const close_enough = hit.distance <= reach;
            bool const facing = hit.normal.isZero() || normal.isZero() || normal.dot(hit.normal) >= least_cosine;
            if (!close_enough || !facing) {
                known[static_cast<std::size_t>(v)] = 0;
                continue;
            }
        }
        for (int k = 0; k < 3; ++k) {
            if (hit.weights[k] == 0)
                continue;
            std::uint32_t const s = hit.corners[k];
            lost[static_cast<std::size_t>(v)] |= rows.dropped[s];
            for (std::uint32_t b = rows.first[s]; b < rows.first[s + 1]; ++b)
                weights(v, rows.columns[b]) += hit.weights[k] * rows.weights[b];
        }
        normalise(weights.row(v));
        done.farthest = std::max(done.farthest, hit.distance);
        ++done.matched;
        if (weights.row(v).sum() == 0)
            ++done.unbound;
    }
    report.match += seconds_since(start);

    std::size_t const unknown = static_cast<std::size_t>(n) - done.matched;
    if (unknown > 0) {
        // A piece with no match has nothing to be inpainted from.
        Pieces const pieces = connected_pieces(target_surface);
        std::vector<std::size_t> matched_in(pieces.count, 0), size_of(pieces.count, 0);
        std::vector<Eigen::Index> first_of(pieces.count, -1);
        for (Eigen::Index v = 0; v < n; ++v) {
            std::uint32_t const piece = pieces.of[static_cast<std::size_t>(v)];
            matched_in[piece] += known[static_cast<std::size_t>(v)] ? 1 : 0;
            ++size_of[piece];
            if (first_of[piece] < 0)
                first_of[piece] = v;
        }
        for (std::uint32_t piece = 0; piece < pieces.count; ++piece)
            if (matched_in[piece] == 0) {
                Eigen::RowVector3d const at = target_surface.positions.row(first_of[piece]);
                done.refused = "a piece of " + std::to_string(size_of[piece]) + " vertices (vertex " +
                               std::to_string(first_of[piece]) + ", at " + std::to_string(at[0]) + " " +
                               std::to_string(at[1]) + " " + std::to_string(at[2]) +
                               ") matches nothing within the distance and angle, and cannot be inpainted";
                return;
            }
        Inpaint_times times;
        inpaint(target_surface, known, weights, &times);
        report.build += times.build;
        report.factor += times.factor;
        report.solve += times.solve;
        done.inpainted = unknown;
        auto tidy = [&](Eigen::Index v) {
            auto row = weights.row(v);
            row = row.cwiseMax(0.0);
            normalise(row);
            row = (row.array() < 1e-7).select(0.0, row);
            normalise(row);
        };
        for (Eigen::Index v = 0; v < n; ++v)
            if (!known[static_cast<std::size_t>(v)])
                tidy(v);
        if (options.smooth > 0) {
            // Each round moves an inpainted vertex to the mean of itself and
            // its neighbours; matched vertices stay as they are.
            std::vector<std::vector<std::uint32_t>> neighbours(static_cast<std::size_t>(n));
            for (Eigen::Index t = 0; t < target_surface.triangles.rows(); ++t)
                for (int k = 0; k < 3; ++k)
                    neighbours[target_surface.triangles(t, k)].push_back(target_surface.triangles(t, (k + 1) % 3)),
                        neighbours[target_surface.triangles(t, (k + 1) % 3)].push_back(target_surface.triangles(t, k));
            Weight_rows next = weights;
            for (int round = 0; round < options.smooth; ++round) {
                for (Eigen::Index v = 0; v < n; ++v) {
                    if (known[static_cast<std::size_t>(v)])
                        continue;
                    next.row(v) = weights.row(v);
                    for (std::uint32_t u : neighbours[static_cast<std::size_t>(v)])
                        next.row(v) += weights.row(u);
                    next.row(v) /= static_cast<double>(neighbours[static_cast<std::size_t>(v)].size() + 1);
                }
                weights.swap(next);
            }
            for (Eigen::Index v = 0; v < n; ++v)
                if (!known[static_cast<std::size_t>(v)])
                    tidy(v);
        }
    }

    // Only now is the target changed: every refusal came before.
    std::vector<Eigen::Index> order;
    mat4 const world = shape.world();
    for (Eigen::Index v = 0; v < n; ++v) {
        auto row = weights.row(v);
        if (limit_row(row, options.max_influences, order))
            ++done.limited;
        limit_row(row, 0, order);  // the columns with weight, in order
        done.lost += lost[static_cast<std::size_t>(v)] ? 1 : 0;
        Model_vertex& vertex = shape.vertices[static_cast<std::size_t>(v)];
        vec3 const stored = vertex.position;
        vertex.skin.clear();
        for (Eigen::Index j : order)
            vertex.skin.add(rows.joints[static_cast<std::size_t>(j)], static_cast<float>(row[j]));
        if (target.bind_pose)
            continue;
        // Where the new skin would put the vertex; put back where it was.
        Eigen::Vector3d const was = target_surface.positions.row(v).transpose();
        mat4 const base = vertex.skin.bindings().empty() ? world : vertex.skin.matrix();
        if (apply(stored, base) != was) {
            Eigen::Vector3d const local = apply(vec3{float(was[0]), float(was[1]), float(was[2])}, inverse(base));
            vertex.position = vec3{float(local[0]), float(local[1]), float(local[2])};
        }
    }
}

}  // namespace

Transfer_report transfer_skins(Transfer_side source, Transfer_side target, Transfer_options const& options)
{
    Transfer_report report;
    Job job{source, target, options, report, {}, {}};
    std::unordered_map<std::string, std::vector<Model_shape*>> source_meshes;
    for (Model_shape* s : source.scene.shapes_in_order())
        if (s->type == shape_type_polygon_mesh)
            source_meshes[s->name].push_back(s);
    std::vector<Model_shape*> targets;
    std::vector<Model_shape*> const in_order = target.scene.shapes_in_order();
    for (Model_shape* s : in_order) {
        job.target_shapes_by_name[s->name].push_back(s);
        bool chosen = s->type == shape_type_polygon_mesh;
        if (chosen && options.selected_only) {
            chosen = false;
            for (Model_shape const* up = s; up && !chosen; up = up->parent())
                chosen = std::find(target.scene.active.begin(), target.scene.active.end(), up) != target.scene.active.end();
        }
        if (chosen)
            targets.push_back(s);
    }
    auto by_path_or_name = [](std::vector<Model_shape*> const& shapes, std::string const& wanted) -> Model_shape* {
        for (Model_shape* s : shapes)
            if (s->path() == wanted)
                return s;
        for (Model_shape* s : shapes)
            if (s->name == wanted)
                return s;
        return nullptr;
    };
    std::vector<Model_shape*> all_source_meshes;
    for (auto& [name, shapes] : source_meshes)
        all_source_meshes.insert(all_source_meshes.end(), shapes.begin(), shapes.end());
    for (Model_shape* shape : targets) {
        Shape_transfer& done = report.shapes.emplace_back();
        done.target = shape->path();
        done.vertices = shape->vertices.size();
        Model_shape const* from = nullptr;
        for (auto const& [source_name, target_name] : options.pairs)
            if (shape->path() == target_name || shape->name == target_name) {
                from = by_path_or_name(all_source_meshes, source_name);
                if (!from) {
                    done.refused = "no mesh \"" + source_name + "\" in the source, which --pair names for it";
                    break;
                }
            }
        if (!done.refused.empty())
            continue;
        if (!from) {
            auto named = source_meshes.find(shape->name);
            if (named != source_meshes.end())
                from = likeliest(named->second, components(*shape));
        }
        if (!from) {
            done.refused = "no mesh of that name in the source (pair one with --pair)";
            continue;
        }
        done.source = from->path();
        job.run(*shape, *from, done);
    }
    return report;
}

}  // namespace host
