// The children of the shapes that a load searches, gathered once per load:
// in child order, with what the searches compare (the trimmed name, and for
// targets the ordinal, kind code and point count), and found by name. A
// load changes skins only, never the tree, names, ordinals or point counts,
// so these give the answers the host would give, and the searches return
// exactly what a walk over the children returns.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sceneinterface.h"

class Child_index {
public:
    struct Child {
        shape_class* shape = nullptr;
        std::string name;  // trimmed as the load trims
        bool described = false;
        int ordinal = 0;
        int code = -1;
        int points = 0;
    };
    struct Same_name {
        std::vector<std::size_t> positions;  // in child order
        std::size_t skip = 0;                // positions before this lie at or before the last target
    };
    struct List {
        std::vector<Child> children;
        std::unordered_map<std::string_view, Same_name> by_name;
    };

    explicit Child_index(bool trim) : trim_(trim) {}
    // The children of parent, gathered at the first call of the load.
    List& of(shape_class& parent);
    // Reads the ordinal, code and point count of a child, once.
    static void describe(Child& child);

private:
    bool trim_;
    std::unordered_map<shape_class*, std::unique_ptr<List>> lists_;
};
