#include "services.h"

#include <iostream>

#include "faults.h"

namespace host {

Text_catalog::Text_catalog(Resource_source const& resources, int language)
{
    std::optional<std::string> document = resources.document("TEXT", language);
    if (!document)
        return;
    for (auto& [key, value] : parse_string_table(*document).rows) {
        std::string text;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
                text += '\n';
                ++i;
            } else {
                text += value[i];
            }
        }
        texts_.emplace(key, std::move(text));
    }
}

char const* Text_catalog::lookup_text(char const* key, void*)
{
    check("catalog.lookup_text");
    auto found = texts_.find(key);
    return found == texts_.end() ? key : found->second.c_str();
}

namespace {

class Host_dialog;

class Dialog_item final : public dialog_item_class {
public:
    explicit Dialog_item(Shown_item& item) : item_(item) {}
    bool get_bool(void*) override
    {
        check("dialog_item.get_bool");
        return item_.value != 0;
    }
    int get_selection(void*) override
    {
        check("dialog_item.get_selection");
        return item_.value;
    }

private:
    Shown_item& item_;
};

class Host_dialog final : public dialog_interface {
public:
    Host_dialog(Host_services& services, component_id const& id) : services_(services)
    {
        shown_.id = id;
        ++services_.live_dialogs;
    }
    ~Host_dialog() TAVRIK_DESTRUCTOR_OVERRIDE { --services_.live_dialogs; }
    TAVRIK_DELETING_DESTRUCTOR(Host_dialog)

    // Noted, never made to fail: tests see when the plug-in gives the dialog back.
    ULONG TAVRIK_COM_CALL Release() override
    {
        calls().note("dialog.Release");
        return unknown_interface::Release();
    }

    void load_dialog(char const* name, void*) override
    {
        check("dialog.load_dialog");
        std::string const document_id = document_name(name);
        std::optional<std::string> xml = services_.resources().document(document_id, services_.language());
        if (!xml)
            xml = services_.resources().document(document_id, language_english);
        if (!xml)
            throw host_error("no dialog document " + document_id);
        Dialog_document const document = parse_dialog_document(*xml);
        shown_.document = name;
        shown_.title = document.title;
        for (Dialog_item_spec const& declared : document.items) {
            Shown_item item;
            item.kind = declared.kind;
            item.id = declared.id;
            item.label = declared.label;
            item.value = declared.kind == "bool" ? (declared.default_value == "true" ? 1 : 0) : std::stoi(declared.default_value);
            shown_.items.push_back(item);
        }
    }

    void set_responder(plugin_interface* responder, void*) override
    {
        check("dialog.set_responder");
        responder_ = responder;
    }

    void set_title(char const* text, void*) override
    {
        check("dialog.set_title");
        shown_.title = text;
    }

    void append_item(int kind, char const* label, int number, void*) override
    {
        check("dialog.append_item");
        if (kind != dialog_item_check_box)
            throw host_error("unknown dialog item kind " + std::to_string(kind));
        shown_.items.push_back(Shown_item{"check box", number, label, 0});
    }

    bool ask(void*) override
    {
        check("dialog.ask");
        Dialog_answer answer;
        if (!services_.dialog_answers.empty()) {
            answer = services_.dialog_answers.front();
            services_.dialog_answers.pop_front();
        }
        for (Shown_item& item : shown_.items) {
            auto value = answer.values.find(item.id);
            if (value != answer.values.end())
                item.value = value->second;
        }
        shown_.confirmed = answer.confirm;
        services_.dialogs.push_back(shown_);
        if (responder_) {
            if (answer.confirm)
                responder_->save_dialog_data(*this);
            services_.terminate_results.push_back(responder_->terminate(*this, answer.confirm ? 1 : 2));
        }
        return answer.confirm;
    }

    void get_value(int number, bool* value, void*) override
    {
        check("dialog.get_value");
        *value = find(number).value != 0;
    }

    dialog_item_class& get_item(int id, void*) override
    {
        check("dialog.get_item");
        Shown_item& item = find(id);
        auto found = views_.find(id);
        if (found == views_.end())
            found = views_.emplace(id, std::make_unique<Dialog_item>(item)).first;
        return *found->second;
    }

private:
    Shown_item& find(int id)
    {
        for (Shown_item& item : shown_.items)
            if (item.id == id)
                return item;
        throw host_error("dialog has no item " + std::to_string(id));
    }

    Host_services& services_;
    Shown_dialog shown_;
    plugin_interface* responder_ = nullptr;
    std::map<int, std::unique_ptr<Dialog_item>> views_;
};

class Host_progress final : public progress_interface {
public:
    Host_progress(Host_services& services, std::size_t record) : services_(services), record_(record)
    {
        ++services_.live_progress;
    }
    ~Host_progress() TAVRIK_DESTRUCTOR_OVERRIDE { --services_.live_progress; }
    TAVRIK_DELETING_DESTRUCTOR(Host_progress)

    void set_progress_range(int min, int max, void*) override
    {
        check("progress.set_progress_range");
        services_.progress[record_].min = min;
        services_.progress[record_].max = max;
        if (services_.progress_bar)
            services_.progress_bar->range(min, max);
    }
    void set_progress_position(int position, void*) override
    {
        check("progress.set_progress_position");
        services_.progress[record_].positions.push_back(position);
        if (services_.progress_bar)
            services_.progress_bar->position(position);
    }
    bool step_progress(int position, void*) override
    {
        check("progress.step_progress");
        auto& steps = services_.progress[record_].steps;
        steps.push_back(position);
        if (services_.progress_bar)
            services_.progress_bar->position(position);
        return !services_.stop_at_step || static_cast<int>(steps.size()) < *services_.stop_at_step;
    }

private:
    Host_services& services_;
    std::size_t record_;
};

}  // namespace

Host_services::Host_services(std::shared_ptr<Resource_source const> resources, int language)
    : resources_(std::move(resources)), language_(language), catalog_(*resources_, language)
{
}

text_catalog_interface* Host_services::get_text_catalog(void*)
{
    check("vantel.get_text_catalog");
    return &catalog_;
}

void Host_services::print_message(char const* text, void*)
{
    check("vantel.print_message");
    if (message_observer)
        message_observer(text);
    else
        messages.emplace_back(text);
    if (echo_messages)
        std::cerr << text << '\n';
}

bool Host_services::show_message_box(char const* text, bool with_cancel, void*)
{
    check("vantel.show_message_box");
    bool answer = true;
    if (with_cancel && !message_box_answers.empty()) {
        answer = message_box_answers.front();
        message_box_answers.pop_front();
    }
    message_boxes.push_back(Shown_message_box{text, with_cancel, answer});
    if (echo_messages)
        std::cerr << "[message box] " << text << '\n';
    return with_cancel ? answer : true;
}

dialog_interface* Host_services::create_dialog(component_id const& id, void*)
{
    check("vantel.create_dialog");
    auto* dialog = new Host_dialog(*this, id);
    dialog->AddRef();
    return dialog;
}

progress_interface* Host_services::create_progress(char const* title, void*)
{
    check("vantel.create_progress");
    progress.push_back(Progress_record{title, 0, 0, {}, {}});
    if (progress_bar)
        progress_bar->start(title);
    auto* indicator = new Host_progress(*this, progress.size() - 1);
    indicator->AddRef();
    return indicator;
}

char const* Host_services::get_special_characters(void*)
{
    check("vantel.get_special_characters");
    return special_characters.c_str();
}

}  // namespace host
