#include "name_map.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace tools {

struct Name_map::Action {
    enum Kind { exact, regex, strip_prefix, strip_suffix, add_prefix, add_suffix } kind;
    std::string a, b;
    std::regex pattern;
};

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The next part of s/A/B/ up to an unescaped "/": "\/" stands for "/", any
// other escape is kept for the regular expression or the replacement.
bool take_part(std::string_view& rest, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size()) {
            if (rest[i + 1] != '/')
                out += '\\';
            out += rest[++i];
        } else if (rest[i] == '/') {
            rest.remove_prefix(i + 1);
            return true;
        } else {
            out += rest[i];
        }
    }
    return false;
}

}  // namespace

Name_map::Name_map() = default;
Name_map::Name_map(Name_map&&) noexcept = default;
Name_map& Name_map::operator=(Name_map&&) noexcept = default;
Name_map::~Name_map() = default;

Name_map Name_map::parse(std::string const& text, std::string const& source)
{
    Name_map map;
    Scope scope = Scope::all;
    // Editors that save UTF-8 may begin the file with a byte-order mark.
    std::istringstream lines(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text);
    std::string raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
        auto refuse = [&](std::string const& why) {
            throw Map_error(source + ", line " + std::to_string(number) + ": " + why + ": " + raw);
        };
        std::string_view const line = trimmed(raw);
        if (line.empty() || line.front() == '#')
            continue;
        if (line == "joints:" || line == "shapes:" || line == "all:") {
            scope = line == "joints:" ? Scope::joints : line == "shapes:" ? Scope::shapes : Scope::all;
            continue;
        }
        auto action = std::make_unique<Action>();
        auto word = [&](std::string_view keyword, Action::Kind kind) {
            if (!starts_with(line, keyword) || (line.size() > keyword.size() && line[keyword.size()] != ' ' &&
                                                line[keyword.size()] != '\t'))
                return false;
            action->kind = kind;
            action->a = std::string(trimmed(line.substr(keyword.size())));
            if (action->a.empty())
                refuse(std::string(keyword) + " needs a text");
            return true;
        };
        if (starts_with(line, "s/")) {
            std::string_view rest = line.substr(2);
            if (!take_part(rest, action->a) || !take_part(rest, action->b))
                refuse("a substitution is written s/REGEX/REPLACEMENT/");
            if (!trimmed(rest).empty())
                refuse("text after the substitution's last \"/\"");
            try {
                // Matched in time polynomial in the name's length, without recursion
                // per byte (libstdc++'s executor for it); back-references are refused.
                action->pattern = std::regex(action->a, std::regex::ECMAScript | std::regex_constants::__polynomial);
            } catch (std::regex_error const& e) {
                refuse(std::string("not a regular expression (") + e.what() + ")");
            }
            action->kind = Action::regex;
        } else if (word("strip-prefix", Action::strip_prefix) || word("strip-suffix", Action::strip_suffix) ||
                   word("add-prefix", Action::add_prefix) || word("add-suffix", Action::add_suffix)) {
        } else if (auto const equals = line.find('='); equals != std::string_view::npos) {
            action->kind = Action::exact;
            action->a = std::string(trimmed(line.substr(0, equals)));
            action->b = std::string(trimmed(line.substr(equals + 1)));
            if (action->a.empty() || action->b.empty())
                refuse("a rename is written old = new, both names given");
        } else {
            refuse("not a rule (old = new, s/REGEX/REPLACEMENT/, strip-prefix, strip-suffix, add-prefix, "
                   "add-suffix, joints:, shapes:, all:)");
        }
        map.rules_.push_back(Rule{number, std::string(line), scope, 0});
        map.actions_.push_back(std::move(action));
    }
    return map;
}

Name_map Name_map::read_file(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Map_error("cannot read the name map " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str(), path);
}

std::string Name_map::apply(std::string_view name, Scope scope)
{
    if (name.size() > longest_name)
        throw Name_too_long("a name of " + std::to_string(name.size()) +
                            " bytes, longer than the plug-in can load (255 bytes): " + std::string(name.substr(0, 40)) +
                            "...");
    std::string out(name);
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        Rule& rule = rules_[i];
        if (rule.scope != Scope::all && rule.scope != scope)
            continue;
        Action const& action = *actions_[i];
        std::string next = out;
        switch (action.kind) {
        case Action::exact:
            if (out == action.a)
                next = action.b;
            break;
        case Action::regex: {
            std::smatch match;
            if (std::regex_match(out, match, action.pattern))
                next = match.format(action.b);
            break;
        }
        case Action::strip_prefix:
            if (starts_with(out, action.a))
                next = out.substr(action.a.size());
            break;
        case Action::strip_suffix:
            if (out.size() >= action.a.size() && out.compare(out.size() - action.a.size(), action.a.size(), action.a) == 0)
                next = out.substr(0, out.size() - action.a.size());
            break;
        case Action::add_prefix:
            next = action.a + out;
            break;
        case Action::add_suffix:
            next = out + action.a;
            break;
        }
        if (next != out) {
            ++rule.changed;
            out = std::move(next);
        }
    }
    return out;
}

}  // namespace tools
