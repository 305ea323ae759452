// How records find their target shapes and bindings their joints.
#include <cstring>

#include "format.h"
#include "importer_component.h"
#include "names.h"
#include "text.h"

namespace {

std::string_view trimmed_name(bool trim, shape_class& shape)
{
    return skip_special_char(trim, std::string_view(shape.get_name()));
}

}  // namespace

bool importer_component::is_target_shape(shape_class& shape, std::string_view name, int code, int count)
{
    return shape.get_ordinal() > last_target_ordinal && get_code(shape) == code &&
           trimmed_name(trim_names, shape) == name && shape.get_number_of_points() == count;
}

shape_class* importer_component::get_target_shape(shape_class* parent, std::string_view name, int code,
                                                  int count, bool first)
{
    if (!parent)
        return nullptr;
    if (first && is_target_shape(*parent, name, code, count)) {
        last_target_ordinal = parent->get_ordinal();
        return parent;
    }
    // The direct children first: of those that bear the name, in child order,
    // the first after the last target that has the kind and point count.
    // Siblings come in scene order and the last target only moves on, so a
    // sibling passed over once stays passed over.
    Child_index::List& list = children_index().of(*parent);
    auto same = list.by_name.find(name);
    if (same != list.by_name.end()) {
        Child_index::Same_name& candidates = same->second;
        for (std::size_t i = candidates.skip; i < candidates.positions.size(); ++i) {
            Child_index::Child& child = list.children[candidates.positions[i]];
            Child_index::describe(child);
            if (child.ordinal <= last_target_ordinal) {
                if (i == candidates.skip)
                    ++candidates.skip;
                continue;
            }
            if (child.code == code && child.points == count) {
                last_target_ordinal = child.ordinal;
                return child.shape;
            }
        }
    }
    for (std::size_t i = 0; i < list.children.size(); ++i)
        if (shape_class* found = get_target_shape(list.children[i].shape, name, code, count, false))
            return found;
    return nullptr;
}

shape_class* importer_component::get_joint_shape(shape_class& parent, std::string_view name, bool first)
{
    if (first && trimmed_name(trim_names, parent) == name)
        return &parent;
    Child_index::List& list = children_index().of(parent);
    auto same = list.by_name.find(name);
    if (same != list.by_name.end())
        return list.children[same->second.positions.front()].shape;
    for (std::size_t i = 0; i < list.children.size(); ++i)
        if (shape_class* found = get_joint_shape(*list.children[i].shape, name, false))
            return found;
    return nullptr;
}

shape_class* importer_component::resolve_text_joint(std::string_view name, shape_class* root,
                                                    std::string& failure)
{
    // name runs from the separator through the closing separator and ":".
    char const separator = name.front();
    std::string_view rest = name.substr(1);
    shape_class* current = root;
    bool first = true;
    for (;;) {
        std::size_t const end = rest.find(separator);
        std::string_view const component = skip_special_char(trim_names, rest.substr(0, end));
        shape_class* found = nullptr;
        if (end != std::string_view::npos && current)
            found = get_joint_shape(*current, component, first);
        if (!found) {
            if (verbose)
                failure = format_text("***tavrik*** joint search error at [%s] -> [%s]",
                                      root ? root->get_name() : "", std::string(component));
            return nullptr;
        }
        rest.remove_prefix(end + 1);
        if (!rest.empty() && rest.front() == ':')
            return found;
        current = found;
        first = false;
    }
}

char const* importer_component::get_joint_shape(char const* text, shape_class* root, shape_class*& joint)
{
    std::string_view const name = skin_format::text_joint_name(text);
    if (name.empty()) {
        joint = nullptr;  // the line ended where a joint name should start
        return text;
    }
    joint = remembered_joint(text_joints_, name, root, &importer_component::resolve_text_joint);
    return text + name.size();
}

shape_class* importer_component::remembered_joint(Joint_names& names, std::string_view name, shape_class* root,
                                                  Resolver resolve)
{
    std::uint64_t const hash = Joint_names::hash_of(name);
    Joint_names::Entry const* found = names.find(name, hash);
    if (!found) {
        std::string failure;
        shape_class* const resolved = (this->*resolve)(name, root, failure);
        found = &names.add(name, hash, resolved, std::move(failure));
    }
    if (!found->joint && !found->failure_trace.empty())
        trace(found->failure_trace);
    return found->joint;
}

shape_class* importer_component::follow_binary_path(std::string_view name, shape_class* current,
                                                    std::string& failure)
{
    for (;;) {
        std::size_t const end = name.find(skin_format::component_end);
        std::string_view const component = skip_special_char(trim_names, name.substr(0, end));
        shape_class* found = current ? get_joint_shape(*current, component, false) : nullptr;
        if (!found) {
            if (verbose)
                failure = format_text("***tavrik*** joint search error at [%s] -> [%s]",
                                      current ? current->get_name() : "", std::string(component));
            return nullptr;
        }
        if (end == std::string_view::npos)
            return found;
        current = found;
        name.remove_prefix(end + 1);
    }
}

shape_class* importer_component::resolve_binary_joint(std::string_view name, shape_class* root,
                                                      std::string& failure)
{
    if (shape_class* found = follow_binary_path(name, root, failure))
        return found;
    // A full path name saved with the range "All" starts with the root part.
    // Where the path does not resolve below the search root and its first
    // name is the search root's own, it goes on from the search root, as the
    // text form reads it; a name that resolves below keeps its joint.
    if (!root)
        return nullptr;
    std::size_t const end = name.find(skin_format::component_end);
    if (skip_special_char(trim_names, name.substr(0, end)) != trimmed_name(trim_names, *root))
        return nullptr;
    if (end == std::string_view::npos) {
        failure.clear();
        return root;
    }
    std::string ignored;
    shape_class* const found = follow_binary_path(name.substr(end + 1), root, ignored);
    if (found)
        failure.clear();
    return found;
}

shape_class* importer_component::get_joint_shape(stream_interface& in, shape_class* root)
{
    read_binary_name(in, joint_key_);
    return remembered_joint(binary_joints_, joint_key_, root, &importer_component::resolve_binary_joint);
}

int importer_component::get_last_ordinal(shape_class& shape)
{
    shape_class* current = &shape;
    for (;;) {
        shape_class* end = current->get_children_end();
        shape_class* last = end ? end->get_previous_sibling() : nullptr;
        if (last && last != end && last->has_children())
            current = last;
        else
            break;
    }
    return current->get_ordinal();
}
