// Kind codes and words of shapes, special characters, and the full path
// names by which joints are written to skin files.
#pragma once

#include <string>
#include <string_view>

#include "sceneinterface.h"

// Kind words indexed by kind code 0 to 17; other kinds have code 1000.
extern char const* const N_STR[18];
constexpr int other_kind_code = 1000;

int get_code(shape_class& shape);
char const* get_string(shape_class& shape);
char const* get_string(int code);
// The code of a kind word, compared exactly, or -1.
int get_code(char const* text);
int get_code(std::string_view text);

// The host's special characters, set by the exporter and the importer at
// the start of each run; null before the first setting.
extern char const* sp_char;
// The two one-byte texts of the binary form: name end and record end.
extern char const Null_char[1];
extern char const Rev_char[2];

bool is_special_char(char c);
// Past the leading special characters when trim is set; never copies.
char const* skip_special_char(bool trim, char const* name);
std::string_view skip_special_char(bool trim, std::string_view name);

// What a full path name depends on: the export dialog's options and the
// shape of the top-level record being written, above which paths do not climb.
struct Name_options {
    bool full_path = true;
    bool trim_names = false;
    bool binary_form = false;
    shape_class* top_shape = nullptr;
};

// Appends the binary full path name of shape: ancestors' names each ended
// by 0xFF, the last name ended by 0x00 when last is set. False when a name
// holds the byte 0xFF itself: such a path reads back as another joint in
// either form.
bool append_fullname_binary(Name_options const& options, shape_class& shape, std::string& out, bool last);
// Turns a binary path (ended by 0x00) into its text form: gives the first
// separator with which the path reads back as itself and puts it in place of
// every 0xFF, or gives 0 and leaves the path when none can.
char text_path_separator(std::string& path);
// Builds the text full path name in out (passed empty) and gives its
// separator, or 0 when no separator can be used, a name holds 0xFF, or in
// binary form.
char make_fullname_text(Name_options const& options, shape_class& shape, std::string& out);
