#include "child_index.h"

#include "names.h"

Child_index::List& Child_index::of(shape_class& parent)
{
    std::unique_ptr<List>& list = lists_[&parent];
    if (list)
        return *list;
    list = std::make_unique<List>();
    shape_class* const end = parent.get_children_end();
    for (shape_class* child = parent.get_first_child(); child && child != end; child = child->get_next_sibling()) {
        Child entry;
        entry.shape = child;
        entry.name = skip_special_char(trim_, std::string_view(child->get_name()));
        list->children.push_back(std::move(entry));
    }
    // The names are keyed once every child is in place.
    for (std::size_t i = 0; i < list->children.size(); ++i)
        list->by_name[list->children[i].name].positions.push_back(i);
    return *list;
}

void Child_index::describe(Child& child)
{
    if (child.described)
        return;
    child.ordinal = child.shape->get_ordinal();
    child.code = get_code(*child.shape);
    child.points = child.shape->get_number_of_points();
    child.described = true;
}
