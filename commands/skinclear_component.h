// "Clear skin": removes the skins of the selected shapes and everything below them.
#pragma once

#include "browserinterface.h"

class skinclear_component : public browser_interface {
public:
    ~skinclear_component() override = default;
    int get_vantel_version(void* = nullptr) override;
    component_id get_uuid(void* = nullptr) override;
    bool do_browser(scene_interface* scene, void* = nullptr) override;

    void do_(shape_class& shape);

    bool hold_points;
    bool active_points_only;
};
