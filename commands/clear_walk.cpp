#include "clear_walk.h"

#include <vector>

#include "host_ref.h"
#include "shape_access.h"

bool ask_clear_options(scene_interface& scene, dialog_interface& dialog, Clear_options& options)
{
    dialog.set_title(scene.gettext("skin clear mode"));
    dialog.append_item(dialog_item_check_box, scene.gettext("hold points position."), 0);
    dialog.append_item(dialog_item_check_box, scene.gettext("clear only active points."), 1);
    if (!dialog.ask())
        return false;
    bool value = false;
    dialog.get_value(0, &value);
    options.hold_points = value;
    value = false;
    dialog.get_value(1, &value);
    options.active_points_only = value;
    return true;
}

void clear_below(shape_class& shape, Clear_options const& options)
{
    for_each_child(shape, [&](shape_class& child) { clear_below(child, options); });
    Shape_class wrapper(&shape);
    if (options.active_points_only) {
        std::vector<int> points;
        wrapper.get_active_points(points);
        wrapper.clear_points_skin(points, options.hold_points, options.joint);
    } else {
        wrapper.clear_shape_skin(options.hold_points, options.joint);
    }
}

void clear_active_shapes(scene_interface& scene, Clear_options const& options)
{
    if (scene.is_edit_mode())
        scene.exit_edit_mode();
    scene.update();
    Change_bracket bracket(scene);
    try {
        for (int i = 0; i < scene.get_number_of_active_shapes(); ++i)
            if (shape_class* shape = scene.get_active_shape(i))
                clear_below(*shape, options);
    } catch (...) {
        // The walk stops here; what was cleared stays cleared.
    }
}

bool run_clear_command(scene_interface& scene, component_id const& id, Clear_options& options)
{
    Host_ref<dialog_interface> dialog(scene.create_dialog(id));
    if (!dialog || !ask_clear_options(scene, *dialog, options))
        return false;
    clear_active_shapes(scene, options);
    return true;
}
