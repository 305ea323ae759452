// File importers: the host hands them the scene and the file as streams.
#pragma once

#include "plugininterface.h"

class importer_interface : public plugin_interface {
public:
    virtual int get_number_of_file_extensions(void* = nullptr) { return 1; }
    virtual char const* get_file_extension(int index, void* reserved = nullptr) = 0;
    virtual char const* get_file_extension_description(int, void* = nullptr) { return ""; }
    // The same file as a binary and as a text stream.
    virtual void do_import(scene_interface* scene, stream_interface* stream,
                           text_stream_interface* text_stream, void* reserved = nullptr) = 0;

    virtual void reserved_importer_0(void* = nullptr) TAVRIK_PLACEHOLDER(importer_interface, reserved_importer_0)
    virtual void reserved_importer_1(void* = nullptr) TAVRIK_PLACEHOLDER(importer_interface, reserved_importer_1)
};
