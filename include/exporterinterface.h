// File exporters: the host hands them an export object with output streams.
#pragma once

#include "plugininterface.h"

class exporter_interface : public plugin_interface {
public:
    virtual char const* get_file_extension(void* = nullptr) { return ""; }
    virtual char const* get_file_description(void* = nullptr) { return ""; }
    virtual void do_export(plugin_exporter_interface*, void* = nullptr) {}
    // Called by the host during the export object's run_export.
    virtual void start(void* = nullptr) {}
    virtual bool skips_dialog(void* = nullptr) { return false; }

    virtual void reserved_exporter_0(void* = nullptr) TAVRIK_PLACEHOLDER(exporter_interface, reserved_exporter_0)
    virtual void reserved_exporter_1(void* = nullptr) TAVRIK_PLACEHOLDER(exporter_interface, reserved_exporter_1)
};
