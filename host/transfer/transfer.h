// Skins carried from the shapes of one scene onto those of another by where
// their vertices lie: by index, as a load binds; by the nearest point of the
// source's surface, its weights blended; or by that within a distance and an
// angle, with the rest inpainted.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "scene_model.h"

namespace host {

enum class Transfer_method { index, nearest, inpaint };

struct Transfer_options {
    Transfer_method method = Transfer_method::inpaint;
    double max_distance = 0.05;  // a match's farthest, as a share of the target shape's box diagonal (inpaint)
    double max_angle = 30;       // degrees between the normals of a match (inpaint)
    int smooth = 0;              // rounds of smoothing of the inpainted weights
    std::size_t max_influences = 0;  // 0: all
    // Shapes paired by hand: (source, target), each a path or a name.
    std::vector<std::pair<std::string, std::string>> pairs;
    // The name in the target of a joint named so in the source.
    std::function<std::string(std::string const&)> joint_name;
    bool selected_only = false;  // the target's selected shapes and those below them, else every mesh
};

// A scene and where its vertices lie: for a scene of the host, where their
// skins put them; for a glTF model, where their shape puts them (the file's
// bind pose; its skins are not applied).
struct Transfer_side {
    Model_scene& scene;
    bool bind_pose = false;
};

struct Shape_transfer {
    std::string target, source;  // paths
    std::size_t vertices = 0, matched = 0, inpainted = 0;
    std::size_t unbound = 0;     // matched where the source has no skin, left without one
    std::size_t lost = 0;        // vertices whose weight of a joint the target lacks was dropped
    std::size_t limited = 0;     // vertices that lost influences to the limit
    double farthest = 0;         // the farthest match, in world units
    std::string refused;         // why the shape was left as it was; empty when done
};

struct Transfer_report {
    std::vector<Shape_transfer> shapes;
    std::vector<std::string> missing_joints;  // source joints that no target joint answers, by path
    double index = 0, match = 0, build = 0, factor = 0, solve = 0;  // seconds

    // Something refused or dropped.
    bool lost() const;
};

// Writes the target's skins; shapes refused keep theirs.
Transfer_report transfer_skins(Transfer_side source, Transfer_side target, Transfer_options const& options);

}  // namespace host
