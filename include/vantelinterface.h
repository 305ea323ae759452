// The host services through which components talk to the user and to files:
// texts, messages, dialogs, progress and streams. Every operation may throw
// to report a failure, and ends in a reserved pointer passed as null.
#pragma once

#include "unknowninterface.h"

class plugin_interface;
class scene_interface;

class text_catalog_interface {
public:
    // The text for the user's language, or the key itself; owned by the host.
    virtual char const* lookup_text(char const* key, void* reserved = nullptr) = 0;

protected:
    ~text_catalog_interface() = default;
};

class dialog_item_class {
public:
    virtual bool get_bool(void* reserved = nullptr) = 0;
    // The chosen entry of a selection item, from 0.
    virtual int get_selection(void* reserved = nullptr) = 0;

protected:
    ~dialog_item_class() = default;
};

// Item kinds for append_item.
enum : int { dialog_item_check_box = 1 };

class dialog_interface : public unknown_interface {
public:
    // Names the document that declares the dialog ("export_dialog_id", ...).
    virtual void load_dialog(char const* name, void* reserved = nullptr) = 0;
    // The responder's save_dialog_data (on confirmation) and terminate are
    // called as the dialog closes, in that order.
    virtual void set_responder(plugin_interface* responder, void* reserved = nullptr) = 0;
    virtual void set_title(char const* text, void* reserved = nullptr) = 0;
    virtual void append_item(int kind, char const* label, int number, void* reserved = nullptr) = 0;
    // Modal; true when the user confirmed.
    virtual bool ask(void* reserved = nullptr) = 0;
    virtual void get_value(int number, bool* value, void* reserved = nullptr) = 0;
    virtual dialog_item_class& get_item(int id, void* reserved = nullptr) = 0;
};

class progress_interface : public unknown_interface {
public:
    virtual void set_progress_range(int min, int max, void* reserved = nullptr) = 0;
    virtual void set_progress_position(int position, void* reserved = nullptr) = 0;
    // False when the user stops the work.
    virtual bool step_progress(int position, void* reserved = nullptr) = 0;
};

// A binary file: 32-bit ints and floats, single bytes. Failed reads and
// writes throw.
class stream_interface : public unknown_interface {
public:
    virtual char read_char(void* reserved = nullptr) = 0;
    virtual int32_t read_int(void* reserved = nullptr) = 0;
    virtual float read_float(void* reserved = nullptr) = 0;
    virtual bool is_end(void* reserved = nullptr) = 0;
    virtual void seek(long position, void* reserved = nullptr) = 0;
    virtual long tell(void* reserved = nullptr) = 0;
    // Writes the text without its NUL.
    virtual void write_text(char const* text, void* reserved = nullptr) = 0;
    virtual void write_char(char c, void* reserved = nullptr) = 0;
    virtual void write_int(int32_t value, void* reserved = nullptr) = 0;
    virtual void write_float(float value, void* reserved = nullptr) = 0;
    virtual void write_integer(int32_t value, void* reserved = nullptr) = 0;
};

// A text file of lines.
class text_stream_interface : public unknown_interface {
public:
    // The next line without its end; valid until the next read.
    virtual void read_line(char const** text, void* reserved = nullptr) = 0;
    virtual bool is_end(void* reserved = nullptr) = 0;
    virtual void rewind(void* reserved = nullptr) = 0;
    virtual void write_line(char const* text, void* reserved = nullptr) = 0;
    // These add to the current line, which end_line ends.
    virtual void write_text(char const* text, void* reserved = nullptr) = 0;
    virtual void write_int(int32_t value, void* reserved = nullptr) = 0;
    virtual void write_float(float value, void* reserved = nullptr) = 0;
    virtual void write_char(char c, void* reserved = nullptr) = 0;
    virtual void end_line(void* reserved = nullptr) = 0;
};

// The host services object given to create_interface.
class vantel_interface : public unknown_interface {
public:
    virtual text_catalog_interface* get_text_catalog(void* reserved = nullptr) = 0;
    virtual void print_message(char const* text, void* reserved = nullptr) = 0;
    // With with_cancel: OK and Cancel, true for OK.
    virtual bool show_message_box(char const* text, bool with_cancel, void* reserved = nullptr) = 0;
    // A new dialog, released by the caller.
    virtual dialog_interface* create_dialog(component_id const& id, void* reserved = nullptr) = 0;
    // A new progress indicator, released by the caller.
    virtual progress_interface* create_progress(char const* title, void* reserved = nullptr) = 0;
    // Each byte of the text is one special character of shape names.
    virtual char const* get_special_characters(void* reserved = nullptr) = 0;

    // The text for key in the user's language; looked up anew on every use.
    char const* gettext(char const* key) { return get_text_catalog()->lookup_text(key); }
};

// The host's export object, given to do_export.
class plugin_exporter_interface {
public:
    // Handed out with a reference; the caller releases it.
    virtual scene_interface* get_scene(void* reserved = nullptr) = 0;
    // The output streams, each a reference for the caller to release; either may be null.
    virtual stream_interface* get_stream(void* reserved = nullptr) = 0;
    virtual text_stream_interface* get_text_stream(void* reserved = nullptr) = 0;
    // The host calls the exporter's start from within.
    virtual void run_export(void* reserved = nullptr) = 0;
    virtual void print_message(char const* text, void* reserved = nullptr) = 0;
    virtual char const* get_special_characters(void* reserved = nullptr) = 0;

protected:
    ~plugin_exporter_interface() = default;
};
