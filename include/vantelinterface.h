// The host services through which components talk to the user and to files:
// texts, messages, dialogs, progress and streams. Every operation may throw
// to report a failure, and ends in a reserved pointer passed as null.
#pragma once

#include "unknowninterface.h"

class plugin_interface;
class scene_interface;

class TAVRIK_SLOTS(text_catalog_interface) {
public:
    // The text for the user's language, or the key itself; owned by the host.
    virtual char const* lookup_text(char const* key, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(text_catalog_interface)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class text_catalog_interface : public text_catalog_interface_slots {
    using slots = text_catalog_interface_slots;

public:
    TAVRIK_GUARDED(lookup_text)

protected:
    ~text_catalog_interface() = default;
};
#endif

class TAVRIK_SLOTS(dialog_item_class) {
public:
    virtual bool get_bool(void* reserved = nullptr) = 0;
    // The chosen entry of a selection item, from 0.
    virtual int get_selection(void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(dialog_item_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class dialog_item_class : public dialog_item_class_slots {
    using slots = dialog_item_class_slots;

public:
    TAVRIK_GUARDED(get_bool)
    TAVRIK_GUARDED(get_selection)

protected:
    ~dialog_item_class() = default;
};
#endif

// Item kinds for append_item.
enum : int { dialog_item_check_box = 1 };

class TAVRIK_SLOTS(dialog_interface) : public unknown_interface {
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
#if defined(TAVRIK_MSVC_LAYOUT)
class dialog_interface : public dialog_interface_slots {
    using slots = dialog_interface_slots;

public:
    TAVRIK_GUARDED(load_dialog)
    TAVRIK_GUARDED(set_responder)
    TAVRIK_GUARDED(set_title)
    TAVRIK_GUARDED(append_item)
    TAVRIK_GUARDED(ask)
    TAVRIK_GUARDED(get_value)
    TAVRIK_GUARDED(get_item)
};
#endif

class TAVRIK_SLOTS(progress_interface) : public unknown_interface {
public:
    virtual void set_progress_range(int min, int max, void* reserved = nullptr) = 0;
    virtual void set_progress_position(int position, void* reserved = nullptr) = 0;
    // False when the user stops the work.
    virtual bool step_progress(int position, void* reserved = nullptr) = 0;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class progress_interface : public progress_interface_slots {
    using slots = progress_interface_slots;

public:
    TAVRIK_GUARDED(set_progress_range)
    TAVRIK_GUARDED(set_progress_position)
    TAVRIK_GUARDED(step_progress)
};
#endif

// A binary file: 32-bit ints and floats, single bytes. Failed reads and
// writes throw.
class TAVRIK_SLOTS(stream_interface) : public unknown_interface {
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
#if defined(TAVRIK_MSVC_LAYOUT)
class stream_interface : public stream_interface_slots {
    using slots = stream_interface_slots;

public:
    TAVRIK_GUARDED(read_char)
    TAVRIK_GUARDED(read_int)
    TAVRIK_GUARDED(read_float)
    TAVRIK_GUARDED(is_end)
    TAVRIK_GUARDED(seek)
    TAVRIK_GUARDED(tell)
    TAVRIK_GUARDED(write_text)
    TAVRIK_GUARDED(write_char)
    TAVRIK_GUARDED(write_int)
    TAVRIK_GUARDED(write_float)
    TAVRIK_GUARDED(write_integer)
};
#endif

// A text file of lines.
class TAVRIK_SLOTS(text_stream_interface) : public unknown_interface {
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
#if defined(TAVRIK_MSVC_LAYOUT)
class text_stream_interface : public text_stream_interface_slots {
    using slots = text_stream_interface_slots;

public:
    TAVRIK_GUARDED(read_line)
    TAVRIK_GUARDED(is_end)
    TAVRIK_GUARDED(rewind)
    TAVRIK_GUARDED(write_line)
    TAVRIK_GUARDED(write_text)
    TAVRIK_GUARDED(write_int)
    TAVRIK_GUARDED(write_float)
    TAVRIK_GUARDED(write_char)
    TAVRIK_GUARDED(end_line)
};
#endif

// The host services object given to create_interface.
class TAVRIK_SLOTS(vantel_interface) : public unknown_interface {
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
#if !defined(TAVRIK_MSVC_LAYOUT)
    char const* gettext(char const* key) { return get_text_catalog()->lookup_text(key); }
#endif
};
#if defined(TAVRIK_MSVC_LAYOUT)
class vantel_interface : public vantel_interface_slots {
    using slots = vantel_interface_slots;

public:
    TAVRIK_GUARDED(get_text_catalog)
    TAVRIK_GUARDED(print_message)
    TAVRIK_GUARDED(show_message_box)
    TAVRIK_GUARDED(create_dialog)
    TAVRIK_GUARDED(create_progress)
    TAVRIK_GUARDED(get_special_characters)
    char const* gettext(char const* key) { return get_text_catalog()->lookup_text(key); }
};
#endif

// The host's export object, given to do_export.
class TAVRIK_SLOTS(plugin_exporter_interface) {
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
    ~TAVRIK_SLOTS(plugin_exporter_interface)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class plugin_exporter_interface : public plugin_exporter_interface_slots {
    using slots = plugin_exporter_interface_slots;

public:
    TAVRIK_GUARDED(get_scene)
    TAVRIK_GUARDED(get_stream)
    TAVRIK_GUARDED(get_text_stream)
    TAVRIK_GUARDED(run_export)
    TAVRIK_GUARDED(print_message)
    TAVRIK_GUARDED(get_special_characters)

protected:
    ~plugin_exporter_interface() = default;
};
#endif
