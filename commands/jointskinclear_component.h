// "joint clear in skins": removes the memorised joint from the skins of the
// selected shapes and everything below them.
#pragma once

#include "browserinterface.h"

class jointskinclear_component final : public browser_interface {
public:
    ~jointskinclear_component() TAVRIK_DESTRUCTOR_OVERRIDE = default;
    TAVRIK_DELETING_DESTRUCTOR(jointskinclear_component)
    int get_vantel_version(void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(component_id, get_uuid);
    bool do_browser(scene_interface* scene, void* = nullptr) override;

    void do_(shape_class& shape);

    bool hold_points;
    bool active_points_only;
    shape_class* joint;
};
