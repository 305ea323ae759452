#include "scene_file_parts.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace host {
namespace scene_file {

std::string hex_of(std::string const& bytes)
{
    static char const digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string bytes_of_hex(std::string const& hex, std::string const& where)
{
    auto value = [&](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw Scene_error(where, "name_hex holds a character that is not a hex digit");
    };
    if (hex.size() % 2)
        throw Scene_error(where, "name_hex has an odd number of digits");
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
    return out;
}

bool is_valid_utf8(std::string const& s)
{
    try {
        (void)json(s).dump();
        return true;
    } catch (json::exception const&) {
        return false;
    }
}

float read_float(json_in const& value, std::string const& where)
{
    if (value.is_number())
        return value.get<float>();
    if (value.is_string()) {
        std::string const s = value.get<std::string>();
        if (s == "nan")
            return std::numeric_limits<float>::quiet_NaN();
        if (s == "inf")
            return std::numeric_limits<float>::infinity();
        if (s == "-inf")
            return -std::numeric_limits<float>::infinity();
    }
    throw Scene_error(where, "expected a number (or \"nan\", \"inf\", \"-inf\")");
}

json write_float(float f)
{
    if (std::isnan(f))
        return "nan";
    if (std::isinf(f))
        return f > 0 ? "inf" : "-inf";
    // -0 parses as the integer 0: the sign is kept by the double -0.0.
    if (f == 0 && std::signbit(f))
        return -0.0;
    // The double nearest to the float's shortest text, which the writer
    // prints as that text again and which reads back to the same float. An
    // integral text stays an integer, as it reads.
    char buffer[64];
    auto const text = std::to_chars(buffer, buffer + sizeof buffer, f);
    std::string_view const digits(buffer, static_cast<std::size_t>(text.ptr - buffer));
    if (digits.find_first_of(".eE") == std::string_view::npos) {
        long long integral = 0;
        std::from_chars(buffer, text.ptr, integral);
        return integral;
    }
    double value = 0;
    std::from_chars(buffer, text.ptr, value);
    return value;
}

vec3 read_vec3(json_in const& value, std::string const& where)
{
    if (!value.is_array() || value.size() != 3)
        throw Scene_error(where, "expected [x, y, z]");
    return vec3{read_float(value[0], where + "/0"), read_float(value[1], where + "/1"), read_float(value[2], where + "/2")};
}

json write_vec3(vec3 const& v) { return json::array({write_float(v.x), write_float(v.y), write_float(v.z)}); }

Model_shape* find_by_id(Model_shape& shape, std::string const& id)
{
    if (shape.id == id)
        return &shape;
    for (auto const& child : shape.children())
        if (Model_shape* found = find_by_id(*child, id))
            return found;
    return nullptr;
}

Model_shape* find_by_path(Model_shape& shape, std::string const& path)
{
    std::size_t const slash = path.find('/');
    std::string const head = path.substr(0, slash);
    if (shape.name != head)
        return nullptr;
    if (slash == std::string::npos)
        return &shape;
    std::string const rest = path.substr(slash + 1);
    for (auto const& child : shape.children())
        if (Model_shape* found = find_by_path(*child, rest))
            return found;
    return nullptr;
}

}  // namespace scene_file
}  // namespace host
