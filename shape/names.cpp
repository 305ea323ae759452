#include "names.h"

#include <cstring>
#include <vector>

char const* const N_STR[18] = {
    "part",   "surface", "rotator", "slider", "scale",  "uniscale", "light_joint", "path",  "morph",
    "custom", "ball",    "camera",  "link",   "light",  "line",     "sphere",      "disk",  "polygon",
};

char const* sp_char = nullptr;
char const Null_char[1] = {'\0'};
char const Rev_char[2] = {'\xFF', '\0'};

int get_code(shape_class& shape)
{
    int const type = shape.get_type();
    if (type == shape_type_part) {
        int const part_type = shape.get_part().get_part_type();
        if (part_type >= 0 && part_type <= 11)
            return part_type;
        if (part_type == 101)
            return 12;
        return other_kind_code;
    }
    if (type >= shape_type_light && type <= shape_type_polygon_mesh)
        return type + 10;
    return other_kind_code;
}

char const* get_string(int code) { return code >= 0 && code < 18 ? N_STR[code] : nullptr; }

char const* get_string(shape_class& shape) { return get_string(get_code(shape)); }

int get_code(std::string_view text)
{
    for (int code = 0; code < 18; ++code)
        if (text == N_STR[code])
            return code;
    return -1;
}

int get_code(char const* text) { return text ? get_code(std::string_view(text)) : -1; }

bool is_special_char(char c) { return c != '\0' && sp_char && std::strchr(sp_char, c) != nullptr; }

char const* skip_special_char(bool trim, char const* name)
{
    if (trim)
        while (is_special_char(*name))
            ++name;
    return name;
}

std::string_view skip_special_char(bool trim, std::string_view name)
{
    if (trim)
        while (!name.empty() && is_special_char(name.front()))
            name.remove_prefix(1);
    return name;
}

bool append_fullname_binary(Name_options const& options, shape_class& shape, std::string& out, bool last)
{
    // The chain from the outermost ancestor down, climbing no higher than
    // the top shape or a shape without parent.
    std::vector<shape_class*> chain{&shape};
    if (options.full_path) {
        shape_class* current = &shape;
        while (current != options.top_shape && current->has_parent()) {
            current = current->get_parent();
            if (!current)
                break;
            chain.push_back(current);
        }
    }
    bool readable = true;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        char const* const name = skip_special_char(options.trim_names, (*it)->get_name());
        // 0xFF inside a name would read back as a component boundary.
        if (std::strchr(name, '\xFF'))
            readable = false;
        out += name;
        bool const is_last = it + 1 == chain.rend();
        out += is_last && last ? '\0' : '\xFF';
    }
    return readable;
}

char text_path_separator(std::string& path)
{
    // A line break in a name would end the point line: no separator helps then.
    if (path.find_first_of("\n\r") != std::string::npos)
        return 0;
    // The reader ends a name at a separator followed by ":". A component after
    // the first that starts with ":" puts one there whatever the separator; an
    // empty one does so when the separator is ":" itself.
    bool empty_component = false;
    for (std::size_t boundary = path.find('\xFF'); boundary != std::string::npos;
         boundary = path.find('\xFF', boundary + 1)) {
        char const next = boundary + 1 < path.size() ? path[boundary + 1] : '\0';
        if (next == ':')
            return 0;
        if (next == '\xFF' || next == '\0')
            empty_component = true;
    }
    static char const candidates[] = {'/', ':', '"', '\\'};
    for (char separator : candidates) {
        if (path.find(separator) != std::string::npos || (separator == ':' && empty_component))
            continue;
        for (char& c : path)
            if (c == '\xFF')
                c = separator;
        return separator;
    }
    return 0;
}

char make_fullname_text(Name_options const& options, shape_class& shape, std::string& out)
{
    bool const readable = append_fullname_binary(options, shape, out, true);
    if (options.binary_form || !readable)
        return 0;
    return text_path_separator(out);
}
