#include "json_report.h"

#include <utility>
#include <vector>

namespace tools {

namespace {

bool is_utf8(std::string const& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        auto const c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        unsigned long code = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            auto const next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string hex_of(std::string const& bytes)
{
    static char const digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

}  // namespace

void put_name(nlohmann::json& object, std::string const& name)
{
    if (is_utf8(name))
        object["name"] = name;
    else
        object["name_hex"] = hex_of(name);
}

std::string dump_report(nlohmann::json report)
{
    // Names, kind words and reasons come from files and scenes as bytes.
    // Walked with a stack of its own: a report is as deep as a file's records.
    std::vector<nlohmann::json*> pending{&report};
    while (!pending.empty()) {
        nlohmann::json& node = *pending.back();
        pending.pop_back();
        if (node.is_object()) {
            std::vector<std::pair<std::string, std::string>> renamed;
            for (auto& [key, value] : node.items()) {
                if (value.is_string() && !is_utf8(value.get_ref<std::string const&>()))
                    renamed.emplace_back(key, hex_of(value.get_ref<std::string const&>()));
                else if (value.is_structured())
                    pending.push_back(&value);
            }
            for (auto& [key, hex] : renamed) {
                node.erase(key);
                node[key + "_hex"] = std::move(hex);
            }
        } else if (node.is_array()) {
            for (nlohmann::json& value : node) {
                if (value.is_string() && !is_utf8(value.get_ref<std::string const&>()))
                    value = {{"hex", hex_of(value.get_ref<std::string const&>())}};
                else if (value.is_structured())
                    pending.push_back(&value);
            }
        }
    }
    return report.dump(2);
}

nlohmann::json error_report(std::string const& code, std::string const& message)
{
    return {{"version", report_version}, {"error", {{"code", code}, {"message", message}}}};
}

}  // namespace tools
