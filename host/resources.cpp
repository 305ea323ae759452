#include "resources.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include <pugixml.hpp>

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

pugi::xml_document load(std::string const& xml, char const* what)
{
    pugi::xml_document document;
    pugi::xml_parse_result const result = document.load_buffer(xml.data(), xml.size());
    if (!result)
        throw host_error(std::string(what) + ": " + result.description() + " at byte " +
                         std::to_string(result.offset));
    return document;
}

}  // namespace

std::unique_ptr<Resource_source> resources_in_folder(std::string folder)
{
    return std::make_unique<Folder_resources>(std::move(folder));
}

String_table parse_string_table(std::string const& xml)
{
    pugi::xml_document const document = load(xml, "string table");
    pugi::xml_node const root = document.child("strings");
    if (!root)
        throw host_error("string table: no <strings> element");
    String_table table;
    for (pugi::xml_node row : root.children("string"))
        table.rows.emplace_back(row.attribute("id").value(), row.attribute("value").value());
    return table;
}

Dialog_document parse_dialog_document(std::string const& xml)
{
    pugi::xml_document const document = load(xml, "dialog document");
    pugi::xml_node const root = document.child("dialog");
    if (!root)
        throw host_error("dialog document: no <dialog> element");
    Dialog_document dialog;
    dialog.title = root.attribute("title").value();
    dialog.default_button = root.attribute("default_button").value();
    for (pugi::xml_node item : root.child("vbox").children()) {
        if (item.type() != pugi::node_element)
            continue;
        Dialog_item_spec declared;
        declared.kind = item.name();
        declared.id = item.attribute("id").as_int();
        declared.label = item.attribute("label").value();
        declared.default_value = item.attribute("default").value();
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
