// What an engine takes of a vertex's weights: the limit, the floor and the
// quantised forms, against results worked out by hand.
#include <cmath>
#include <numeric>
#include <random>

#include <gtest/gtest.h>

#include "gltf_weights.h"

namespace {

using Influences = std::vector<std::pair<std::size_t, double>>;
using Form = host::Gltf_weights::Form;

TEST(GltfWeights, LimitsAndFloorsKeepTheLargestAndRenormalise)
{
    struct Case {
        char const* what;
        Influences in;
        host::Gltf_weights how;
        Influences out;
        std::size_t limited, pruned, kept_largest;
        double largest_limited;
    } const cases[] = {
        {"as they are", {{0, 0.2}, {1, 0.3}}, {}, {{0, 0.2}, {1, 0.3}}, 0, 0, 0, 0},
        {"normalised", {{0, 0.2}, {1, 0.3}}, {true}, {{0, 0.4}, {1, 0.6}}, 0, 0, 0, 0},
        {"quantised forms divide too", {{0, 0.2}, {1, 0.3}}, {false, 0, 0, Form::u8}, {{0, 0.4}, {1, 0.6}}, 0, 0, 0, 0},
        {"K 2, a tie to the lower slot", {{3, 0.1}, {2, 0.2}, {1, 0.2}, {0, 0.5}}, {false, 2},
         {{0, 0.5 / 0.7}, {1, 0.2 / 0.7}}, 1, 0, 0, 0.2},
        {"K above the count", {{0, 0.5}, {1, 0.5}}, {false, 4}, {{0, 0.5}, {1, 0.5}}, 0, 0, 0, 0},
        {"K 1", {{0, 0.25}, {1, 0.75}}, {false, 1}, {{1, 1.0}}, 1, 0, 0, 0.25},
        {"floor of the sum's share", {{0, 1.0}, {1, 0.6}, {2, 0.2}, {3, 0.2}}, {false, 0, 0.15},
         {{0, 1.0 / 1.6}, {1, 0.6 / 1.6}}, 0, 1, 0, 0},
        {"nothing above the floor", {{1, 0.5}, {0, 0.5}}, {false, 0, 0.6}, {{0, 1.0}}, 0, 1, 1, 0},
        {"floor, then limit", {{0, 0.05}, {1, 0.45}, {2, 0.25}, {3, 0.25}}, {false, 2, 0.1},
         {{1, 0.45 / 0.7}, {2, 0.25 / 0.7}}, 1, 1, 0, 0.25},
    };
    for (Case const& c : cases) {
        Influences got = c.in;
        host::Weight_shaping_notes notes;
        host::shape_influences(got, c.how, notes);
        ASSERT_EQ(got.size(), c.out.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].first, c.out[i].first) << c.what;
            EXPECT_NEAR(got[i].second, c.out[i].second, 1e-12) << c.what;
        }
        EXPECT_EQ(notes.limited, c.limited) << c.what;
        EXPECT_EQ(notes.pruned, c.pruned) << c.what;
        EXPECT_EQ(notes.kept_largest, c.kept_largest) << c.what;
        EXPECT_NEAR(notes.largest_limited, c.largest_limited, 1e-12) << c.what;
    }
}

TEST(GltfWeights, QuantisedWeightsSumExactlyAndStayWithinAStep)
{
    // By hand: 0.5, 0.25, 0.25 of 255 are 127.5, 63.75, 63.75; the floors
    // leave 2 steps, which go to the largest remainders.
    EXPECT_EQ(host::quantise_weights({0.5, 0.25, 0.25}, 255), (std::vector<std::uint32_t>{127, 64, 64}));
    EXPECT_EQ(host::quantise_weights({1.0 / 3, 1.0 / 3, 1.0 / 3}, 255), (std::vector<std::uint32_t>{85, 85, 85}));
    EXPECT_EQ(host::quantise_weights({1.0 / 3, 1.0 / 3, 1.0 / 3}, 65535),
              (std::vector<std::uint32_t>{21845, 21845, 21845}));
    EXPECT_EQ(host::quantise_weights({0.5, 0.5}, 255), (std::vector<std::uint32_t>{128, 127}));  // a tie: the earlier
    EXPECT_EQ(host::quantise_weights({1.0}, 255), (std::vector<std::uint32_t>{255}));
    // Equal weights: the steps left go to the earliest, few or many.
    for (std::size_t n : {10, 40}) {
        std::vector<std::uint32_t> const q = host::quantise_weights(std::vector<double>(n, 1.0 / n), 255);
        std::size_t const steps = 255 - n * (255 / n);
        for (std::size_t k = 0; k < n; ++k)
            EXPECT_EQ(q[k], 255 / n + (k < steps)) << n << " weights, " << k;
    }
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::vector<double> weights(1 + random() % 12);
        for (double& w : weights)
            w = std::uniform_real_distribution<double>(0, 1)(random) * (random() % 4 ? 1 : 1e-4);
        double const sum = std::accumulate(weights.begin(), weights.end(), 0.0);
        for (double& w : weights)
            w /= sum;
        for (std::uint32_t total : {255u, 65535u}) {
            std::vector<std::uint32_t> const q = host::quantise_weights(weights, total);
            ASSERT_EQ(std::accumulate(q.begin(), q.end(), std::uint64_t{0}), total);
            for (std::size_t k = 0; k < q.size(); ++k)
                ASSERT_LT(std::fabs(q[k] - weights[k] * total), 1.0) << k;
        }
    }
}

}  // namespace
