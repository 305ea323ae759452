#include "joint_names.h"

#include <cstring>

std::uint64_t Joint_names::hash_of(std::string_view name)
{
    // Eight bytes at a time: one multiply per word, mixed at the end.
    std::uint64_t hash = 0xCBF29CE484222325ull ^ name.size();
    std::size_t at = 0;
    for (; at + 8 <= name.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, name.data() + at, 8);
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, name.data() + at, name.size() - at);
    hash = (hash ^ tail) * 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 32);
}

Joint_names::Entry const* Joint_names::find(std::string_view name, std::uint64_t hash) const
{
    if (slots_.empty())
        return nullptr;
    std::size_t const mask = slots_.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        std::uint32_t const index = slots_[slot];
        if (index == 0)
            return nullptr;
        Entry const& entry = entries_[index - 1];
        if (entry.hash == hash && entry.name == name)
            return &entry;
    }
}

Joint_names::Entry const& Joint_names::add(std::string_view name, std::uint64_t hash, shape_class* joint,
                                           std::string failure_trace)
{
    if ((entries_.size() + 1) * 2 > slots_.size())
        grow();
    entries_.push_back(Entry{std::string(name), hash, joint, std::move(failure_trace)});
    std::size_t const mask = slots_.size() - 1;
    std::size_t slot = static_cast<std::size_t>(hash) & mask;
    while (slots_[slot] != 0)
        slot = (slot + 1) & mask;
    slots_[slot] = static_cast<std::uint32_t>(entries_.size());
    return entries_.back();
}

void Joint_names::grow()
{
    std::vector<std::uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
    std::size_t const mask = slots.size() - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t slot = static_cast<std::size_t>(entries_[i].hash) & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
    slots_.swap(slots);
}

void Joint_names::clear()
{
    entries_.clear();
    slots_.clear();
}
