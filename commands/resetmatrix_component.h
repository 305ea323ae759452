// "Reset transformation": clears the matrices of the selected shapes and
// everything below them, except the memorised shapes.
#pragma once

#include "array.h"
#include "browserinterface.h"

class resetmatrix_component final : public browser_interface {
public:
    ~resetmatrix_component() TAVRIK_DESTRUCTOR_OVERRIDE = default;
    TAVRIK_DELETING_DESTRUCTOR(resetmatrix_component)
    int get_vantel_version(void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(component_id, get_uuid);
    bool do_browser(scene_interface* scene, void* = nullptr) override;

    void reset_matrix(scene_interface* scene, shape_class& shape, Array<shape_class*>& memorised);
};
