#include "jointskinclear_component.h"

#include "clear_walk.h"
#include "ids.h"

namespace {

// Part types of the joints: rotator, slider, scale, uniscale and ball.
bool is_joint_part_type(int part_type)
{
    return part_type == 2 || part_type == 3 || part_type == 4 || part_type == 5 || part_type == 10;
}

}  // namespace

int jointskinclear_component::get_vantel_version(void*) { return vantel_version; }

component_id jointskinclear_component::get_uuid(void*) { return jointskin_clear_uuid; }

bool jointskinclear_component::do_browser(scene_interface* scene, void*)
{
    return for_host([&] {
        if (!scene)
            return false;
        if (scene->get_number_of_memorised_shapes() <= 0) {
            scene->show_message_box(scene->gettext("Can't get joint."), false);
            return false;
        }
        joint = scene->get_memory_shape();
        if (!joint || joint->get_type() != shape_type_part) {
            scene->show_message_box(scene->gettext("Can't get joint."), false);
            return false;
        }
        if (!is_joint_part_type(joint->get_part().get_part_type())) {
            scene->show_message_box(scene->gettext("Invalide joint."), false);
            return false;
        }

        Clear_options options;
        options.joint = joint;
        if (!run_clear_command(*scene, no_component_uuid, options))
            return false;
        hold_points = options.hold_points;
        active_points_only = options.active_points_only;
        return true;
    });
}

void jointskinclear_component::do_(shape_class& shape)
{
    clear_below(shape, Clear_options{hold_points, active_points_only, joint});
}
