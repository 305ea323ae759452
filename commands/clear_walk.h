// The walk that the two skin clear commands share.
#pragma once

#include "browserinterface.h"

struct Clear_options {
    bool hold_points = false;
    bool active_points_only = false;
    shape_class* joint = nullptr;  // null: every binding
};

// Asks the two questions of the clear commands; false when cancelled.
// The dialog is held by the caller so that it is released on every path.
bool ask_clear_options(scene_interface& scene, dialog_interface& dialog, Clear_options& options);

// Clears shape and everything beneath it, children before their parent.
void clear_below(shape_class& shape, Clear_options const& options);

// The whole run of a clear command after its checks: the dialog under id, its
// two questions, then the walk. False when there is no dialog or it is cancelled.
bool run_clear_command(scene_interface& scene, component_id const& id, Clear_options& options);

// Leaves edit mode, updates, and clears every active shape in one change
// bracket; a failure ends the walk silently.
void clear_active_shapes(scene_interface& scene, Clear_options const& options);
