// The skin file in its two forms: the one definition that the exporter
// writes and the importer reads.
//
// Binary: int magic, records, int -1. A record: int code, name bytes, 0x00,
// int count, count point records (int index, int bindings, then per binding
// float weight, joint name bytes with components joined by 0xFF, 0x00), the
// child records, and the byte 0xFF.
//
// Text: "<skinfile>", records, "<end>". A record line is [{]word:name:count;
// a point line is index:bindings: then per binding weight, separator, the
// joint name with the separator between components, separator, ":". Nested
// records open with "{" and close with a "}" line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vantelinterface.h"

namespace skin_format {

constexpr int32_t tavrik_id = 0x50020010;
constexpr int32_t trailer_code = -1;
constexpr char name_end = '\0';
constexpr char record_end = '\xFF';
constexpr char component_end = '\xFF';
constexpr char header_line[] = "<skinfile>";
constexpr char trailer_line[] = "<end>";

enum class Form { binary, text, not_skin };

// Tells the forms apart: the binary magic first, then the text header.
// A failure to read the first int is thrown to the caller.
Form detect_form(stream_interface& stream, text_stream_interface* text_stream);

// Writing, binary form.
void write_header(stream_interface& out);
void write_trailer(stream_interface& out);
void write_record_start(stream_interface& out, int code, char const* name, int count);
void write_point_start(stream_interface& out, int index, int bindings);
// joint_path holds the components joined by 0xFF; written with its 0x00 end.
void write_binding(stream_interface& out, float weight, char const* joint_path);
void write_record_end(stream_interface& out);

// Writing, text form.
void write_header(text_stream_interface& out);
void write_trailer(text_stream_interface& out);
void write_record_start(text_stream_interface& out, bool nested, char const* word, char const* name,
                        int count);
void write_point_start(text_stream_interface& out, int index, int bindings);
void write_binding(text_stream_interface& out, float weight, char separator, char const* joint_path);
void write_point_end(text_stream_interface& out);
void write_record_end(text_stream_interface& out, bool nested);

// Whether a name can stand in a text record line and be read back.
bool is_text_safe_name(char const* name);

// Reading, text form.
struct Record_line {
    int code = -1;           // position of the kind word in the table, or -1
    std::string_view name;   // up to the second ":" (points into the line)
    int count = 0;
};
// A line with fewer than two ":" matches nothing: code -1, count 0. An empty
// kind word is the writer's for a kind without a word: code 1000.
Record_line parse_record_line(char const* line);

// The longest run of number characters at text, as a double; 0 for none.
double read_number(char const* text, char const** end);
// A decimal field up to ":" (stepped over when there), truncated to an int.
int read_int_field(char const*& text);
// A weight: the run of number characters, stored as a float. The character
// after it is the joint name's separator and is left in place.
char const* get_float_from_text(char const* text, float& value);
// The extent of a text joint name that starts with its separator: up to and
// including the first separator followed by ":", or to the end of the line.
std::string_view text_joint_name(char const* text);

}  // namespace skin_format
