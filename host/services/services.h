// The services room (host/services): what the plug-in shows the user
// through (texts, the message window, message boxes, dialogs, the progress
// bar). It uses the loading room (the resource documents) and the files room.
//
// The host services a plug-in talks to the user through: the text
// catalogue, the message window, message boxes, dialogs and progress.
// Dialogs and message boxes are answered by script and recorded.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "plugininterface.h"
#include "progress_bar.h"
#include "resources.h"
#include "streams.h"

namespace host {

class Text_catalog final : public text_catalog_interface {
public:
    // Reads the TEXT document of the language; a missing one leaves every key as its own text.
    Text_catalog(Resource_source const& resources, int language);
    // The two characters \n in a value become a line break.
    char const* lookup_text(char const* key, void* = nullptr) override;

private:
    std::unordered_map<std::string, std::string> texts_;
};

// How the user answers the next dialog.
struct Dialog_answer {
    bool confirm = true;
    std::map<int, int> values;  // item id (or check box number) to value; the rest keep their defaults
};

// One item of a shown dialog.
struct Shown_item {
    std::string kind;  // "selection", "bool" or "check box"
    int id = 0;
    std::string label;
    int value = 0;
};

struct Shown_dialog {
    component_id id{};
    std::string document;  // the name given to load_dialog, if any
    std::string title;
    std::vector<Shown_item> items;
    bool confirmed = false;
};

struct Shown_message_box {
    std::string text;
    bool with_cancel = false;
    bool answer = true;
};

struct Progress_record {
    std::string title;
    int min = 0, max = 0;
    std::vector<int> positions;  // set_progress_position
    std::vector<int> steps;      // step_progress
};

class Host_services : public Host_owned<vantel_interface> {
public:
    Host_services(std::shared_ptr<Resource_source const> resources, int language);

    text_catalog_interface* get_text_catalog(void* = nullptr) override;
    void print_message(char const* text, void* = nullptr) override;
    bool show_message_box(char const* text, bool with_cancel, void* = nullptr) override;
    dialog_interface* create_dialog(component_id const& id, void* = nullptr) override;
    progress_interface* create_progress(char const* title, void* = nullptr) override;
    char const* get_special_characters(void* = nullptr) override;

    int language() const { return language_; }
    Resource_source const& resources() const { return *resources_; }

    // The message window.
    std::vector<std::string> messages;
    bool echo_messages = false;
    // Where set, each message goes here instead of into messages: a caller
    // that reads the window as it fills keeps no line of it.
    std::function<void(std::string_view)> message_observer;
    // Message boxes: answers by script (OK when none is left), and what was shown.
    std::deque<bool> message_box_answers;
    std::vector<Shown_message_box> message_boxes;
    // Dialogs: answers by script (confirm with defaults when none is left).
    std::deque<Dialog_answer> dialog_answers;
    std::vector<Shown_dialog> dialogs;
    // What each responder's terminate gave back, in order.
    std::vector<int> terminate_results;
    // Progress: step_progress answers false from this step on (counting from 1).
    std::optional<int> stop_at_step;
    std::vector<Progress_record> progress;
    // Where a user sees progress, if anywhere.
    Progress_bar* progress_bar = nullptr;
    std::string special_characters;

    // Objects handed out and not yet released.
    int live_dialogs = 0;
    int live_progress = 0;

private:
    std::shared_ptr<Resource_source const> resources_;
    int language_;
    Text_catalog catalog_;
};

}  // namespace host
