// Fuzz target: a name map and a name, as any bytes. The input is the map's
// text, a NUL, then a name; the name is tried as given and repeated to 255
// bytes and to 40,000. A map is read or refused with a Map_error; its rules
// run on a name of at most 255 bytes and end (libFuzzer's -timeout bounds
// each input); a longer name is refused with Name_too_long before any rule
// runs. Nothing else may be thrown, and no input crashes.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "name_map.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    std::string const bytes(reinterpret_cast<char const*>(data), size);
    std::size_t const split = bytes.find('\0');
    std::string const text = bytes.substr(0, split);
    std::string const name = split == std::string::npos ? "hips" : bytes.substr(split + 1);
    auto map = [&]() -> std::optional<tools::Name_map> {
        try {
            return tools::Name_map::parse(text, "fuzz.map");
        } catch (tools::Map_error const&) {
            return std::nullopt;
        }
    }();
    if (!map)
        return 0;
    auto repeated = [&](std::size_t length) {
        std::string out;
        while (!name.empty() && out.size() < length)
            out += name;
        out.resize(name.empty() ? 0 : length);
        return out;
    };
    for (std::string const& tried : {name, repeated(tools::longest_name), repeated(40000)})
        for (auto scope : {tools::Name_map::Scope::joints, tools::Name_map::Scope::shapes}) {
            try {
                map->apply(tried, scope);
                if (tried.size() > tools::longest_name)
                    std::abort();  // a rule ran on a name the plug-in cannot load
            } catch (tools::Name_too_long const&) {
                if (tried.size() <= tools::longest_name)
                    std::abort();
            }
        }
    return 0;
}
