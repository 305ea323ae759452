#include "gltf_weights.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace host {

namespace {

double sum_of(std::vector<std::pair<std::size_t, double>> const& influences)
{
    double sum = 0;
    for (auto const& influence : influences)
        sum += influence.second;
    return sum;
}

}  // namespace

void shape_influences(std::vector<std::pair<std::size_t, double>>& influences, Gltf_weights const& how,
                      Weight_shaping_notes& notes)
{
    double const total = sum_of(influences);
    if (!(total > 0))
        return;
    bool dropped = false;
    if (how.prune > 0) {
        // The floor is of the vertex's share, so that it means the same
        // whether or not the weights sum to 1.
        auto const largest = std::max_element(influences.begin(), influences.end(), [](auto const& a, auto const& b) {
            return a.second < b.second || (a.second == b.second && a.first > b.first);
        });
        auto const kept = *largest;
        std::size_t const before = influences.size();
        influences.erase(std::remove_if(influences.begin(), influences.end(),
                                        [&](auto const& i) { return i.second / total < how.prune; }),
                         influences.end());
        if (influences.empty()) {
            influences.push_back(kept);
            ++notes.kept_largest;
        }
        if (influences.size() < before) {
            ++notes.pruned;
            dropped = true;
        }
    }
    if (how.max_influences > 0 && influences.size() > how.max_influences) {
        std::sort(influences.begin(), influences.end(), [](auto const& a, auto const& b) {
            return a.second > b.second || (a.second == b.second && a.first < b.first);
        });
        notes.largest_limited = std::max(notes.largest_limited, influences[how.max_influences].second / total);
        influences.resize(how.max_influences);
        ++notes.limited;
        dropped = true;
    }
    if (dropped || how.normalize || how.form != Gltf_weights::Form::floats) {
        double const kept = sum_of(influences);
        for (auto& influence : influences)
            influence.second /= kept;
    }
}

std::vector<std::uint32_t> quantise_weights(std::vector<double> const& weights, std::uint32_t total)
{
    std::vector<std::uint32_t> out(weights.size());
    quantise_weights(weights.data(), weights.size(), total, out.data());
    return out;
}

void quantise_weights(double const* weights, std::size_t n, std::uint32_t total, std::uint32_t* out)
{
    thread_local std::vector<double> remainder;
    thread_local std::vector<std::size_t> order;
    remainder.resize(n);
    std::uint64_t given = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double const exact = std::clamp(weights[i], 0.0, 1.0) * total;
        out[i] = static_cast<std::uint32_t>(std::floor(exact));
        remainder[i] = exact - out[i];
        given += out[i];
    }
    order.resize(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    auto const larger = [&](std::size_t a, std::size_t b) { return remainder[a] > remainder[b]; };
    if (n <= 32) {
        // By insertion, stable: a vertex's few weights need no buffer.
        for (std::size_t i = 1; i < n; ++i)
            for (std::size_t k = i; k > 0 && larger(order[k], order[k - 1]); --k)
                std::swap(order[k], order[k - 1]);
    } else {
        std::stable_sort(order.begin(), order.end(), larger);
    }
    // The floors leave fewer steps than weights when the weights sum to 1;
    // rounding of the sum may leave one more or one less.
    for (std::size_t k = 0; given < total && !order.empty(); k = (k + 1) % order.size(), ++given)
        ++out[order[k]];
    for (std::size_t k = order.size(); given > total && k-- > 0;)
        if (out[order[k]] > 0) {
            --out[order[k]];
            --given;
        }
}

}  // namespace host
