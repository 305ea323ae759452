#include "resources.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include <cstdlib>

#include <rapidxml/rapidxml.hpp>

#include "faults.h"

namespace host {

namespace {

class Folder_resources final : public Resource_source {
public:
    explicit Folder_resources(std::string folder) : folder_(std::move(folder)) {}

    std::optional<std::string> document(std::string const& name, int language) const override
    {
        std::ifstream in(folder_ + "/" + std::to_string(language) + "/" + name + ".xml", std::ios::binary);
        if (!in)
            return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string folder_;
};

// A parsed document and the text it points into.
struct Xml_document {
    std::vector<char> text;
    rapidxml::xml_document<> tree;
};

// Parses the document and gives its root element, which must be named root_name.
rapidxml::xml_node<> const& load(Xml_document& document, std::string const& xml, char const* what,
                                 char const* root_name)
{
    document.text.assign(xml.begin(), xml.end());
    document.text.push_back('\0');
    try {
        document.tree.parse<rapidxml::parse_validate_closing_tags>(document.text.data());
    } catch (rapidxml::parse_error const& error) {
        std::ptrdiff_t const offset = error.where<char>() - document.text.data();
        throw host_error(std::string(what) + ": " + error.what() + " at byte " + std::to_string(offset));
    }
    rapidxml::xml_node<> const* root = document.tree.first_node(root_name);
    if (!root)
        throw host_error(std::string(what) + ": no <" + root_name + "> element");
    return *root;
}

std::string attribute(rapidxml::xml_node<> const& node, char const* name)
{
    rapidxml::xml_attribute<> const* found = node.first_attribute(name);
    return found ? std::string(found->value(), found->value_size()) : std::string();
}

}  // namespace

std::unique_ptr<Resource_source> resources_in_folder(std::string folder)
{
    return std::make_unique<Folder_resources>(std::move(folder));
}

String_table parse_string_table(std::string const& xml)
{
    Xml_document document;
    rapidxml::xml_node<> const& root = load(document, xml, "string table", "strings");
    String_table table;
    for (auto const* row = root.first_node("string"); row; row = row->next_sibling("string"))
        table.rows.emplace_back(attribute(*row, "id"), attribute(*row, "value"));
    return table;
}

Dialog_document parse_dialog_document(std::string const& xml)
{
    Xml_document document;
    rapidxml::xml_node<> const& root = load(document, xml, "dialog document", "dialog");
    Dialog_document dialog;
    dialog.title = attribute(root, "title");
    dialog.default_button = attribute(root, "default_button");
    rapidxml::xml_node<> const* box = root.first_node("vbox");
    for (auto const* item = box ? box->first_node() : nullptr; item; item = item->next_sibling()) {
        if (item->type() != rapidxml::node_element)
            continue;
        Dialog_item_spec declared;
        declared.kind.assign(item->name(), item->name_size());
        declared.id = std::atoi(attribute(*item, "id").c_str());
        declared.label = attribute(*item, "label");
        declared.default_value = attribute(*item, "default");
        dialog.items.push_back(std::move(declared));
    }
    return dialog;
}

std::string document_name(std::string const& name)
{
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

}  // namespace host
