#include "format.h"

#include "names.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#if defined(__APPLE__)
#include <xlocale.h>
#elif defined(__GLIBC__)
#include <locale.h>
#endif

namespace skin_format {

Form detect_form(stream_interface& stream, text_stream_interface* text_stream)
{
    stream.seek(0);
    if (stream.read_int() == tavrik_id)
        return Form::binary;
    if (!text_stream)
        return Form::not_skin;
    text_stream->rewind();
    char const* line = nullptr;
    text_stream->read_line(&line);
    return line && std::strcmp(line, header_line) == 0 ? Form::text : Form::not_skin;
}

void write_header(stream_interface& out) { out.write_integer(tavrik_id); }
void write_trailer(stream_interface& out) { out.write_integer(trailer_code); }

void write_record_start(stream_interface& out, int code, char const* name, int count)
{
    out.write_int(code);
    out.write_text(name);
    out.write_char(name_end);
    out.write_int(count);
}

void write_point_start(stream_interface& out, int index, int bindings)
{
    out.write_int(index);
    out.write_int(bindings);
}

void write_binding(stream_interface& out, float weight, char const* joint_path)
{
    out.write_float(weight);
    out.write_text(joint_path);
    out.write_char(name_end);
}

void write_record_end(stream_interface& out) { out.write_char(record_end); }

void write_header(text_stream_interface& out) { out.write_line(header_line); }
void write_trailer(text_stream_interface& out) { out.write_line(trailer_line); }

void write_record_start(text_stream_interface& out, bool nested, char const* word, char const* name,
                        int count)
{
    if (nested)
        out.write_text("{");
    out.write_text(word ? word : "");
    out.write_text(":");
    out.write_text(name);
    out.write_text(":");
    out.write_int(count);
    out.end_line();
}

void write_point_start(text_stream_interface& out, int index, int bindings)
{
    out.write_int(index);
    out.write_text(":");
    out.write_int(bindings);
    out.write_text(":");
}

void write_binding(text_stream_interface& out, float weight, char separator, char const* joint_path)
{
    out.write_float(weight);
    out.write_char(separator);
    out.write_text(joint_path);
    out.write_char(separator);
    out.write_char(':');
}

void write_point_end(text_stream_interface& out) { out.end_line(); }

void write_record_end(text_stream_interface& out, bool nested)
{
    if (nested)
        out.write_line("}");
}

bool is_text_safe_name(char const* name) { return std::strpbrk(name, ":\n\r") == nullptr; }

namespace {

bool is_number_char(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

}  // namespace

namespace {

// strtod on exactly the run, for what from_chars does not take as it does.
double strtod_of_run(char const* text, std::size_t length)
{
    char short_run[264];
    std::string large;
    char const* run = short_run;
    if (length < sizeof short_run) {
        std::memcpy(short_run, text, length);
        short_run[length] = '\0';
    } else {
        large.assign(text, length);
        run = large.c_str();
    }
#if defined(__APPLE__) || defined(__GLIBC__)
    // The host's numeric locale must not change how a file reads.
    static locale_t const c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(run, nullptr, c_locale);
#else
    return std::strtod(run, nullptr);
#endif
}

}  // namespace

double read_number(char const* text, char const** end)
{
    char const* p = text;
    while (is_number_char(*p))
        ++p;
    *end = p;
    std::size_t const length = static_cast<std::size_t>(p - text);
    if (length == 0)
        return 0.0;
    // The longest decimal number at the start of the run, correctly rounded,
    // as strtod gives it (which would also take hexadecimal, "inf" and "nan":
    // it is never given more than the run). from_chars does the same without
    // a copy where the library has it for floating point (macOS's libc++ does
    // not: the macOS build, and its tests here, take strtod); a leading "+"
    // and a result out of range go to strtod.
#if defined(__cpp_lib_to_chars) && !defined(TAVRIK_MAC_ABI)
    if (text[0] != '+') {
        double value = 0;
        auto const result = std::from_chars(text, p, value);
        if (result.ec == std::errc())
            return value;
        if (result.ec == std::errc::invalid_argument)
            return 0.0;
    }
#endif
    return strtod_of_run(text, length);
}

namespace {

int truncate_to_int(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

Record_line parse_record_line(char const* line)
{
    Record_line record;
    char const* p = line;
    if (*p == '{')
        ++p;
    char const* first = std::strchr(p, ':');
    if (!first)
        return record;
    char const* second = std::strchr(first + 1, ':');
    if (!second)
        return record;
    // The writer leaves the word of a kind without one empty: code 1000.
    record.code = first == p ? other_kind_code : ::get_code(std::string_view(p, static_cast<std::size_t>(first - p)));
    record.name = std::string_view(first + 1, static_cast<std::size_t>(second - first - 1));
    char const* end = nullptr;
    record.count = truncate_to_int(read_number(second + 1, &end));
    return record;
}

int read_int_field(char const*& text)
{
    // The common field, a few digits and ":", without strtol.
    {
        char const* p = text;
        long value = 0;
        while (*p >= '0' && *p <= '9' && p - text < 9)
            value = value * 10 + (*p++ - '0');
        if (p != text && (*p == ':' || *p == '\0')) {
            text = *p == ':' ? p + 1 : p;
            return static_cast<int>(value);
        }
    }
    char const* const colon = std::strchr(text, ':');
    std::size_t const length = colon ? static_cast<std::size_t>(colon - text) : std::strlen(text);
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end > text + length)
        value = 0;
    text += length;
    if (*text == ':')
        ++text;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

char const* get_float_from_text(char const* text, float& value)
{
    char const* end = nullptr;
    double const number = read_number(text, &end);
    // Only what rounds to infinity overflows: below the midpoint between
    // FLT_MAX and 2^128 a value rounds to FLT_MAX (the text of FLT_MAX itself
    // is a little above it). Converting beyond float's range is not defined.
    double const overflow = 0x1.ffffffp+127;
    if (number >= overflow)
        value = HUGE_VALF;
    else if (number <= -overflow)
        value = -HUGE_VALF;
    else
        value = static_cast<float>(number);
    return end;
}

std::string_view text_joint_name(char const* text)
{
    if (*text == '\0')
        return {};
    char const separator = text[0];
    std::size_t const length = std::strlen(text);
    char const* const end = text + length;
    for (char const* p = text + 1; p < end;) {
        p = static_cast<char const*>(std::memchr(p, separator, static_cast<std::size_t>(end - p)));
        if (!p)
            break;
        if (p[1] == ':')
            return std::string_view(text, static_cast<std::size_t>(p + 2 - text));
        ++p;
    }
    return std::string_view(text, length);
}

}  // namespace skin_format
