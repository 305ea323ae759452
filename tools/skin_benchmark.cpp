// Times "Save skin" and "Load skin" on a large scene: a mesh of many vertices
// with four bindings each, over a skeleton of 200 joints up to 8 deep.
//   skin_benchmark [--plugin PATH] [--vertices N] [--folder DIR]
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "exchange.h"
#include "library.h"
#include "scene_model.h"

namespace {

struct Scene_set {
    explicit Scene_set(host::Host_services& services) : scene(services) {}
    host::Model_scene scene;
    std::vector<host::Model_shape*> joints;
    host::Model_shape* mesh = nullptr;
};

// A skeleton of 25 chains of 8 joints under one part, the mesh beside it,
// all inside a "figure" part that is selected.
void build(Scene_set& set, int vertices, bool bound)
{
    host::Model_scene& scene = set.scene;
    host::Model_shape& figure = scene.new_root().add_child(std::make_unique<host::Model_shape>(&scene, 2, 0, "figure"));
    host::Model_shape& skeleton = figure.add_child(std::make_unique<host::Model_shape>(&scene, 2, 0, "skeleton"));
    for (int chain = 0; chain < 25; ++chain) {
        host::Model_shape* parent = &skeleton;
        for (int depth = 0; depth < 8; ++depth) {
            auto joint = std::make_unique<host::Model_shape>(&scene, 2, 2, "joint_" + std::to_string(chain) + "_" + std::to_string(depth));
            joint->local.m[3][0] = 0.1f * static_cast<float>(depth + 1);
            joint->local.m[3][1] = 0.05f * static_cast<float>(chain);
            parent = &parent->add_child(std::move(joint));
            set.joints.push_back(parent);
        }
    }
    auto mesh = std::make_unique<host::Model_shape>(&scene, shape_type_polygon_mesh, -1, "body");
    mesh->vertices.reserve(static_cast<std::size_t>(vertices));
    for (int i = 0; i < vertices; ++i) {
        host::Model_vertex v(&scene);
        v.position = vec3{static_cast<float>(i % 1000) * 0.001f, static_cast<float>(i / 1000) * 0.001f, 0};
        if (bound)
            for (int b = 0; b < 4; ++b)
                v.skin.add(set.joints[static_cast<std::size_t>((i * 7 + b * 53) % 200)], 0.1f + 0.2f * static_cast<float>(b));
        mesh->vertices.push_back(v);
    }
    set.mesh = &figure.add_child(std::move(mesh));
    scene.renumber();
    scene.active = {&figure};
    scene.current = &figure;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long file_size(std::string const& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    std::fseek(f, 0, SEEK_END);
    long const size = std::ftell(f);
    std::fclose(f);
    return size;
}

void report(char const* what, int points, double seconds, long bytes)
{
    std::printf("%-34s %8.3f s %12.0f points/s %8.1f MB/s\n", what, seconds, points / seconds,
                static_cast<double>(bytes) / seconds / 1e6);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string plugin_path = host::default_plugin_path(argv[0]);
    std::string folder = "/tmp";
    int vertices = 1000000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string const arg = argv[i];
        if (arg == "--plugin")
            plugin_path = argv[i + 1];
        else if (arg == "--vertices")
            vertices = std::stoi(argv[i + 1]);
        else if (arg == "--folder")
            folder = argv[i + 1];
    }
    try {
        host::Plugin plugin(plugin_path);
        auto resources = plugin.resources();
        host::Host_services services(resources, host::language_english);
        std::printf("%d vertices, 4 bindings each, 200 joints up to 8 deep\n", vertices);
        for (int form : {0, 1}) {
            char const* name = form ? "binary" : "text";
            std::string const path = folder + "/tavrik_benchmark." + name + ".vsk";
            {
                Scene_set source(services);
                build(source, vertices, true);
                services.dialog_answers.push_back(host::Dialog_answer{true, {{11, form}}});
                auto start = std::chrono::steady_clock::now();
                host::run_save(plugin, services, source.scene, path);
                report((std::string("save, ") + name).c_str(), vertices, seconds_since(start), file_size(path));
            }
            for (int hold : {0, 1}) {
                Scene_set target(services);
                build(target, vertices, false);
                services.dialog_answers.push_back(host::Dialog_answer{true, {{11, hold}}});
                auto start = std::chrono::steady_clock::now();
                host::run_load(plugin, services, target.scene, path);
                double const seconds = seconds_since(start);
                report((std::string("load, ") + name + (hold ? ", hold points" : "")).c_str(), vertices, seconds,
                       file_size(path));
                if (target.mesh->vertices.back().skin.bindings().size() != 4) {
                    std::fprintf(stderr, "the load did not bind the last vertex\n");
                    return 1;
                }
            }
            std::remove(path.c_str());
        }
    } catch (std::exception const& e) {
        std::fprintf(stderr, "skin_benchmark: %s\n", e.what());
        return 1;
    }
    return 0;
}
