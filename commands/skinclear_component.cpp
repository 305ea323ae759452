#include "skinclear_component.h"

#include "clear_walk.h"
#include "ids.h"

int skinclear_component::get_vantel_version(void*) { return vantel_version; }

component_id skinclear_component::get_uuid(void*) { return skin_clear_uuid; }

bool skinclear_component::do_browser(scene_interface* scene, void*)
{
    return for_host([&] {
        if (!scene)
            return false;
        Clear_options options;
        if (!run_clear_command(*scene, skin_clear_uuid, options))
            return false;
        hold_points = options.hold_points;
        active_points_only = options.active_points_only;
        return true;
    });
}

void skinclear_component::do_(shape_class& shape)
{
    clear_below(shape, Clear_options{hold_points, active_points_only, nullptr});
}
