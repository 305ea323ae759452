// Menu commands that work on the scene.
#pragma once

#include "plugininterface.h"

class browser_interface : public plugin_interface {
public:
    // False when the user cancelled and nothing changed.
    virtual bool do_browser(scene_interface* scene, void* reserved = nullptr) = 0;

    virtual void reserved_browser_0(void* = nullptr) TAVRIK_PLACEHOLDER(browser_interface, reserved_browser_0)
    virtual void reserved_browser_1(void* = nullptr) TAVRIK_PLACEHOLDER(browser_interface, reserved_browser_1)
};
