#include "inpaint.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <stdexcept>
#include <utility>

#include <Eigen/Geometry>
#include <Eigen/SparseCore>
#ifdef TAVRIK_CHOLMOD
#include <Eigen/CholmodSupport>
#else
#include <Eigen/SparseCholesky>
#endif

namespace host {

namespace {

using Sparse = Eigen::SparseMatrix<double, Eigen::RowMajor>;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The cotangent Laplacian (off the diagonal half the cotangents of the two
// angles facing each edge, each row summing to 0) and the lumped mass (a
// third of each triangle's area to each corner), from the triangles that
// touch a vertex `ringed` (only their rows are used). A triangle without area
// adds nothing.
void laplacian_and_mass(Surface const& surface, std::vector<char> const& ringed, Sparse& laplacian, Eigen::VectorXd& mass)
{
    auto const n = surface.positions.rows();
    std::vector<Eigen::Triplet<double>> entries;
    mass = Eigen::VectorXd::Zero(n);
    for (Eigen::Index t = 0; t < surface.triangles.rows(); ++t) {
        std::uint32_t const v[3] = {surface.triangles(t, 0), surface.triangles(t, 1), surface.triangles(t, 2)};
        if (!ringed[v[0]] && !ringed[v[1]] && !ringed[v[2]])
            continue;
        Eigen::Vector3d const p[3] = {surface.positions.row(v[0]), surface.positions.row(v[1]), surface.positions.row(v[2])};
        double const double_area = (p[1] - p[0]).cross(p[2] - p[0]).norm();
        if (!(double_area > 0) || !std::isfinite(double_area))
            continue;
        for (int k = 0; k < 3; ++k) {
            mass[v[k]] += double_area / 6;
            Eigen::Vector3d const u = p[(k + 1) % 3] - p[k], w = p[(k + 2) % 3] - p[k];
            double const half_cot = u.dot(w) / double_area / 2;  // cot = cos / sin = (u·w) / |u×w|
            std::uint32_t const i = v[(k + 1) % 3], j = v[(k + 2) % 3];
            entries.emplace_back(i, j, half_cot);
            entries.emplace_back(j, i, half_cot);
            entries.emplace_back(i, i, -half_cot);
            entries.emplace_back(j, j, -half_cot);
        }
    }
    laplacian.resize(n, n);
    laplacian.setFromTriplets(entries.begin(), entries.end());
    // A vertex that no triangle with an area touches has no mass; it must
    // still be divided by.
    double total = 0;
    Eigen::Index massive = 0;
    for (Eigen::Index i = 0; i < n; ++i)
        if (mass[i] > 0)
            total += mass[i], ++massive;
    double const floor = massive ? 1e-8 * total / static_cast<double>(massive) : 1;
    for (Eigen::Index i = 0; i < n; ++i)
        mass[i] = std::max(mass[i], floor);
}

template <class Solver>
void solve(Eigen::SparseMatrix<double> const& system, Weight_rows const& right, Weight_rows& unknown, Inpaint_times& times)
{
    auto start = std::chrono::steady_clock::now();
    Solver solver;
    solver.compute(system);
    if (solver.info() != Eigen::Success)
        throw std::runtime_error("the inpainting system could not be factored");
    times.factor = seconds_since(start);
    start = std::chrono::steady_clock::now();
    Eigen::MatrixXd const solved = solver.solve(Eigen::MatrixXd(right));
    if (solver.info() != Eigen::Success || !solved.allFinite())
        throw std::runtime_error("the inpainting system could not be solved");
    unknown = solved;
    times.solve = seconds_since(start);
}

}  // namespace

std::string inpaint_solver()
{
#ifdef TAVRIK_CHOLMOD
    return "CHOLMOD";
#else
    return "Eigen's SimplicialLDLT";
#endif
}

void inpaint(Surface const& surface, std::vector<char> const& known, Weight_rows& weights, Inpaint_times* times_out)
{
    Inpaint_times times;
    auto const start = std::chrono::steady_clock::now();
    auto const n = surface.positions.rows();
    if (static_cast<Eigen::Index>(known.size()) != n || weights.rows() != n)
        throw std::invalid_argument("inpaint: one row of weights and one flag for each vertex");
    // Each unknown vertex's row of the system.
    std::vector<Eigen::Index> row(static_cast<std::size_t>(n), -1);
    Eigen::Index unknowns = 0;
    for (Eigen::Index i = 0; i < n; ++i)
        if (!known[static_cast<std::size_t>(i)])
            row[static_cast<std::size_t>(i)] = unknowns++;
    if (unknowns == 0)
        return;
    // A piece of the mesh with no known vertex leaves the system singular.
    Pieces const pieces = connected_pieces(surface);
    std::vector<char> anchored(pieces.count, 0);
    for (Eigen::Index i = 0; i < n; ++i)
        anchored[pieces.of[static_cast<std::size_t>(i)]] |= known[static_cast<std::size_t>(i)];
    for (Eigen::Index i = 0; i < n; ++i)
        if (!anchored[pieces.of[static_cast<std::size_t>(i)]])
            throw std::runtime_error("vertex " + std::to_string(i) + " lies on a piece with no known weights");

    // Q's rows reach two rings out: the unknowns' rows of L, and those of
    // their neighbours.
    std::vector<char> ringed(static_cast<std::size_t>(n), 0);
    for (Eigen::Index t = 0; t < surface.triangles.rows(); ++t) {
        std::uint32_t const v[3] = {surface.triangles(t, 0), surface.triangles(t, 1), surface.triangles(t, 2)};
        if (!known[v[0]] || !known[v[1]] || !known[v[2]])
            ringed[v[0]] = ringed[v[1]] = ringed[v[2]] = 1;
    }
    Sparse laplacian;
    Eigen::VectorXd mass;
    laplacian_and_mass(surface, ringed, laplacian, mass);

    // Q's rows of the unknowns only: Q_ij = -L_ij + Σ_k L_ik L_kj / M_k,
    // k over i's neighbours, summed in a scattered row. Columns of unknowns
    // go to the system, columns of known vertices to the right-hand side.
    // Q is symmetric: its rows, stored one after another, are its columns.
    std::vector<int> starts{0}, columns;
    std::vector<double> values;
    starts.reserve(static_cast<std::size_t>(unknowns) + 1);
    Weight_rows right = Weight_rows::Zero(unknowns, weights.cols());
    std::vector<Eigen::Index> slot(static_cast<std::size_t>(n), -1), touched;
    std::vector<double> sum;
    std::vector<std::pair<int, double>> row_entries;
    for (Eigen::Index i = 0; i < n; ++i) {
        Eigen::Index const r = row[static_cast<std::size_t>(i)];
        if (r < 0)
            continue;
        auto add = [&](Eigen::Index j, double q) {
            Eigen::Index& at = slot[static_cast<std::size_t>(j)];
            if (at < 0) {
                at = static_cast<Eigen::Index>(touched.size());
                touched.push_back(j);
                sum.push_back(0);
            }
            sum[static_cast<std::size_t>(at)] += q;
        };
        for (Sparse::InnerIterator ik(laplacian, i); ik; ++ik) {
            add(ik.col(), -ik.value());
            double const scale = ik.value() / mass[ik.col()];
            for (Sparse::InnerIterator kj(laplacian, ik.col()); kj; ++kj)
                add(kj.col(), scale * kj.value());
        }
        row_entries.clear();
        for (std::size_t e = 0; e < touched.size(); ++e) {
            Eigen::Index const j = touched[e];
            Eigen::Index const column = row[static_cast<std::size_t>(j)];
            if (column >= 0)
                row_entries.emplace_back(static_cast<int>(column), sum[e]);
            else
                right.row(r) -= sum[e] * weights.row(j);
            slot[static_cast<std::size_t>(j)] = -1;
        }
        touched.clear();
        sum.clear();
        std::sort(row_entries.begin(), row_entries.end());
        for (auto const& [column, q] : row_entries)
            columns.push_back(column), values.push_back(q);
        starts.push_back(static_cast<int>(columns.size()));
    }
    Eigen::SparseMatrix<double> const system = Eigen::Map<Eigen::SparseMatrix<double> const>(
        unknowns, unknowns, static_cast<Eigen::Index>(values.size()), starts.data(), columns.data(), values.data());
    times.build = seconds_since(start);

    // An unknown vertex that nothing ties to a known one leaves the system
    // singular; the caller refuses such pieces, this refuses what is left.
    for (Eigen::Index i = 0; i < unknowns; ++i)
        if (system.coeff(i, i) <= 0)
            throw std::runtime_error("a vertex with no triangle cannot be inpainted");
    Weight_rows solved;
#ifdef TAVRIK_CHOLMOD
    solve<Eigen::CholmodSupernodalLLT<Eigen::SparseMatrix<double>, Eigen::Lower>>(system, right, solved, times);
#else
    solve<Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower>>(system, right, solved, times);
#endif
    for (Eigen::Index i = 0; i < n; ++i)
        if (row[static_cast<std::size_t>(i)] >= 0)
            weights.row(i) = solved.row(row[static_cast<std::size_t>(i)]);
    if (times_out)
        *times_out = times;
}

}  // namespace host
