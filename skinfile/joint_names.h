// The joint names of one load, each resolved once: a name read again is
// found by its bytes, through a hash of eight bytes at a time and one compare.
// The same name always gives the joint (and the failure trace) of its first
// resolution, so the results are those of the search itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sceneinterface.h"

class Joint_names {
public:
    static std::uint64_t hash_of(std::string_view name);

    struct Entry {
        std::string name;
        std::uint64_t hash = 0;
        shape_class* joint = nullptr;
        std::string failure_trace;
    };
    // The entry of the name, or null when it has not been resolved yet.
    Entry const* find(std::string_view name, std::uint64_t hash) const;
    Entry const& add(std::string_view name, std::uint64_t hash, shape_class* joint, std::string failure_trace);
    void clear();

private:
    void grow();

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;  // entry index + 1, or 0 for an empty slot
};
