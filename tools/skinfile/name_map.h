// A name map: rules that rename the joints and shapes a skin file names, so
// that skins carry across a renamed rig. One rule a line, applied in order to
// each name component of a joint path and to each record's name:
//   old = new                 the exact name
//   s/REGEX/REPLACEMENT/      ECMAScript, anchored to the whole name, $1 for groups; matched in
//                             time polynomial in the name (no back-references)
//   strip-prefix P, strip-suffix S, add-prefix P, add-suffix S
//   joints: / shapes: / all:  the rules that follow apply to joint or record names only
// "#" starts a comment line. A bad rule is refused with its line.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// The longest name the plug-in loads; no rule runs on a longer one.
constexpr std::size_t longest_name = 255;

// A name that no rule runs on: longer than the plug-in can load.
class Name_too_long : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Map_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Name_map {
public:
    enum class Scope { all, joints, shapes };
    struct Rule {
        int line = 0;
        std::string text;  // the rule as written
        Scope scope = Scope::all;
        std::size_t changed = 0;  // distinct names it changed
    };

    // Throws Map_error naming source and line for a rule it cannot read.
    static Name_map parse(std::string const& text, std::string const& source);
    static Name_map read_file(std::string const& path);

    Name_map(Name_map&&) noexcept;
    Name_map& operator=(Name_map&&) noexcept;
    ~Name_map();

    // The name after every rule of its scope, in order. Each call counts the
    // rules that changed the name, so call it once per distinct name.
    std::string apply(std::string_view name, Scope scope);
    std::vector<Rule> const& rules() const { return rules_; }

private:
    struct Action;
    Name_map();
    std::vector<Rule> rules_;
    std::vector<std::unique_ptr<Action>> actions_;
};

}  // namespace tools
