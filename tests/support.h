// What the tests share: the real plug-in loaded by path into the reference
// host, with scenes described in the host's JSON format.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "exchange.h"
#include "faults.h"
#include "library.h"
#include "scene_json.h"
#include "scene_model.h"
#include "services.h"

namespace test {

inline std::string plugin_path() { return TAVRIK_PLUGIN_PATH; }
inline std::string source_dir() { return TAVRIK_SOURCE_DIR; }

inline host::Plugin& plugin()
{
    static host::Plugin loaded(plugin_path());
    return loaded;
}

inline std::shared_ptr<host::Resource_source const> resources()
{
    static std::shared_ptr<host::Resource_source const> source(plugin().resources());
    return source;
}

// A host session: services in one language and one scene.
struct Session {
    explicit Session(int language = host::language_english) : services(resources(), language), scene(services)
    {
        host::faults().clear();
    }
    ~Session()
    {
        host::faults().clear();
        host::calls().stop();
    }

    void load_scene(std::string const& json)
    {
        host::read_scene(scene, json);
        services.special_characters = scene.special_characters;
    }
    host::Model_shape& shape(std::string const& reference)
    {
        host::Model_shape* found = host::find_shape(scene, reference);
        if (!found)
            throw std::runtime_error("test scene has no shape " + reference);
        return *found;
    }

    // "Save skin" into memory with the export dialog's items set as given.
    host::Saved_file save(std::map<int, int> items = {})
    {
        services.dialog_answers.push_back(host::Dialog_answer{true, std::move(items)});
        return host::run_save_to_memory(plugin(), services, scene);
    }
    void load(std::vector<char> const& bytes, std::map<int, int> items = {})
    {
        services.dialog_answers.push_back(host::Dialog_answer{true, std::move(items)});
        host::run_load_from_memory(plugin(), services, scene, bytes);
    }
    void load(std::string const& text, std::map<int, int> items = {})
    {
        load(std::vector<char>(text.begin(), text.end()), std::move(items));
    }
    bool command(int index, std::map<int, int> items = {}, bool confirm = true)
    {
        services.dialog_answers.push_back(host::Dialog_answer{confirm, std::move(items)});
        return host::run_command(plugin(), services, scene, index);
    }

    // The scene's brackets are all closed and every reference given back.
    void expect_balanced()
    {
        EXPECT_EQ(scene.open_changes, 0);
        EXPECT_TRUE(scene.modifications_closed());
        EXPECT_EQ(scene.reference_count, 1);
        EXPECT_EQ(scene.live_joint_objects, 0);
        EXPECT_EQ(services.live_dialogs, 0);
        EXPECT_EQ(services.live_progress, 0);
    }

    host::Host_services services;
    host::Model_scene scene;
};

// Bindings of a skin as (joint name, weight) pairs, for comparisons.
inline std::vector<std::pair<std::string, float>> bindings_of(host::Model_skin const& skin)
{
    std::vector<std::pair<std::string, float>> out;
    for (auto const& b : skin.bindings())
        out.emplace_back(b.joint ? b.joint->get_name() : "?", b.weight);
    return out;
}

using Bindings = std::vector<std::pair<std::string, float>>;

// Bytes of the binary form, built from its fields.
struct Bytes {
    std::vector<char> data;
    Bytes& i32(int32_t v)
    {
        for (int k = 0; k < 4; ++k)
            data.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF));
        return *this;
    }
    Bytes& f32(float f)
    {
        int32_t bits;
        std::memcpy(&bits, &f, 4);
        return i32(bits);
    }
    Bytes& text(std::string const& s)
    {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    std::string str() const { return std::string(data.begin(), data.end()); }
    Bytes& byte(unsigned char b)
    {
        data.push_back(static_cast<char>(b));
        return *this;
    }
};

}  // namespace test
