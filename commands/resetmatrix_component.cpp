#include "resetmatrix_component.h"

#include "host_ref.h"
#include "ids.h"
#include "shape_access.h"

int resetmatrix_component::get_vantel_version(void*) { return vantel_version; }

component_id resetmatrix_component::get_uuid(void*) { return reset_matrix_uuid; }

bool resetmatrix_component::do_browser(scene_interface* scene, void*)
{
    return for_host([&] {
        if (!scene)
            return false;
        if (!scene->show_message_box(scene->gettext("caution"), true))
            return false;

        int const n = scene->get_number_of_memorised_shapes();
        Array<shape_class*> memorised(n > 0 ? static_cast<unsigned int>(n) : 0u);
        for (int i = 0; i < n; ++i)
            memorised.start[i] = scene->get_memorised_shape(i);
        int const m = scene->get_number_of_active_shapes();
        if (scene->is_edit_mode())
            scene->exit_edit_mode();
        scene->update();
        {
            Change_bracket bracket(*scene);
            try {
                for (int i = 0; i < m; ++i)
                    if (shape_class* shape = scene->get_active_shape(i))
                        reset_matrix(scene, *shape, memorised);
            } catch (...) {
                // The walk stops here; what was reset stays reset.
            }
        }
        scene->refresh();
        return true;
    });
}

void resetmatrix_component::reset_matrix(scene_interface* scene, shape_class& shape,
                                         Array<shape_class*>& memorised)
{
    bool is_memorised = false;
    for (shape_class** p = memorised.start; p != memorised.end; ++p)
        if (*p == &shape) {
            is_memorised = true;
            break;
        }
    if (!is_memorised) {
        try {
            shape.clear_transformation(false);
        } catch (...) {
            // This shape keeps its matrix; its children are still reset.
        }
    }
    for_each_child(shape, [&](shape_class& child) { reset_matrix(scene, child, memorised); });
}
