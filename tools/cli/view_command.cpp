#include "view_command.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "library.h"
#include "load_analysis.h"
#include "output_file.h"
#include "scene_files.h"
#include "services.h"
#include "surface.h"

namespace tools::page {
extern unsigned char const page_html[], view_js[], mesh_vert[], mesh_frag[];
extern std::size_t const page_html_size, view_js_size, mesh_vert_size, mesh_frag_size;
}  // namespace tools::page

namespace tools {

namespace {

using json = nlohmann::json;

struct View_request {
    std::string skins, compare, joint;
};

std::string text_of(unsigned char const* bytes, std::size_t size) { return std::string(reinterpret_cast<char const*>(bytes), size); }

// Base64 of raw bytes: the page decodes typed arrays from it.
std::string base64(void const* data, std::size_t size)
{
    static char const digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    auto const* in = static_cast<unsigned char const*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (std::size_t i = 0; i < size; i += 3) {
        unsigned const a = in[i], b = i + 1 < size ? in[i + 1] : 0, c = i + 2 < size ? in[i + 2] : 0;
        out += digits[a >> 2];
        out += digits[((a & 3) << 4) | (b >> 4)];
        out += i + 1 < size ? digits[((b & 15) << 2) | (c >> 6)] : '=';
        out += i + 2 < size ? digits[c & 63] : '=';
    }
    return out;
}

template <class T>
std::string base64(std::vector<T> const& values)
{
    return base64(values.data(), values.size() * sizeof(T));
}

std::vector<host::Model_shape*> meshes_of(host::Model_scene& scene)
{
    std::vector<host::Model_shape*> meshes;
    for (host::Model_shape* s : scene.shapes_in_order())
        if (s->type == shape_type_polygon_mesh && !s->vertices.empty())
            meshes.push_back(s);
    return meshes;
}

// The other scene of --compare: its meshes by path, and the joints of both
// scenes numbered by path, each joint's path made once.
class Comparison {
public:
    explicit Comparison(host::Model_scene& other)
    {
        for (host::Model_shape* s : meshes_of(other))
            meshes_.emplace(s->path(), s);  // the first of a path
    }

    // Each vertex's change against the other scene's mesh of the same path
    // (the largest change of one joint's weight, joints by path); 0 where the
    // meshes cannot be paired vertex by vertex, which note says.
    std::vector<float> changes(host::Model_shape const& mesh, std::string& note)
    {
        auto const found = meshes_.find(mesh.path());
        host::Model_shape const* paired = found == meshes_.end() ? nullptr : found->second;
        std::vector<float> out(mesh.vertices.size(), 0.0f);
        if (!paired || paired->vertices.size() != mesh.vertices.size()) {
            note += mesh.path() + (paired ? ": vertex counts differ, not compared\n" : ": no mesh of that path to compare with\n");
            return out;
        }
        for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
            weights_.clear();
            for (auto const& b : mesh.vertices[v].skin.bindings())
                add(b.joint, b.weight);
            for (auto const& b : paired->vertices[v].skin.bindings())
                add(b.joint, -static_cast<double>(b.weight));
            double largest = 0;
            for (auto const& [joint, w] : weights_)
                largest = std::max(largest, std::fabs(w));
            out[v] = static_cast<float>(largest);
        }
        return out;
    }

private:
    void add(shape_class* joint, double weight)
    {
        auto [at, added] = ids_.try_emplace(joint, 0);
        if (added) {
            std::string const path = joint ? static_cast<host::Model_shape*>(joint)->path() : std::string();
            at->second = by_path_.emplace(path, static_cast<std::uint32_t>(by_path_.size())).first->second;
        }
        // A vertex has a few joints: a walk finds its own.
        for (auto& [id, sum] : weights_)
            if (id == at->second) {
                sum += weight;
                return;
            }
        weights_.emplace_back(at->second, weight);
    }

    std::unordered_map<std::string, host::Model_shape*> meshes_;
    std::unordered_map<shape_class const*, std::uint32_t> ids_;
    std::unordered_map<std::string, std::uint32_t> by_path_;
    std::vector<std::pair<std::uint32_t, double>> weights_;  // one vertex's, by joint
};

int run_view(View_request const& asked, Request const& request)
{
    auto const& files = request.files;
    std::vector<std::string> inputs = {files[0]};
    for (std::string const& other : {asked.skins, asked.compare})
        if (!other.empty())
            inputs.push_back(other);
    refuse_same_file(inputs, files[1]);
    host::Plugin plugin(request.plugin);
    auto resources = plugin.resources();
    host::Host_services services(resources, request.language);
    host::Model_scene scene(services), other(services);
    read_any_scene(scene, files[0], request.select);
    services.special_characters = scene.special_characters;
    bool lost = false;
    if (!asked.skins.empty()) {
        // As a load with the dialog's defaults; what it lost is said.
        Load_account const account = load_and_account(plugin, services, scene, asked.skins, {}, false);
        if (!services.message_boxes.empty() || account.terminated || !account.broken.empty())
            throw File_error("cannot load " + asked.skins + (account.broken.empty() ? "" : ": it breaks at " + account.broken));
        lost = account.something_lost() || account.without_influence > 0;
        if (lost)
            std::cerr << "tavrik-host: the load of " << asked.skins << " lost something (" << account.matched << " of "
                      << plural(account.records, "record") << " matched, " << plural(account.bindings_lost, "binding")
                      << " lost); tavrik-host check says what\n";
    }
    if (!asked.compare.empty())
        read_any_scene(other, asked.compare);

    bool const bind_pose = is_gltf_model(files[0]);
    std::vector<host::Model_shape*> const meshes = meshes_of(scene);
    std::unordered_map<host::Model_shape const*, std::uint16_t> joint_index;
    std::vector<host::Model_shape const*> joints;
    json mesh_list = json::array();
    std::string note;
    std::unique_ptr<Comparison> comparison;
    if (!asked.compare.empty())
        comparison = std::make_unique<Comparison>(other);
    for (host::Model_shape* mesh : meshes) {
        host::Surface const surface = host::world_surface(*mesh, bind_pose);
        std::vector<float> positions(surface.positions.data(), surface.positions.data() + surface.positions.size());
        std::vector<std::uint8_t> counts;
        std::vector<std::uint16_t> joint_of;
        std::vector<float> weights;
        counts.reserve(mesh->vertices.size());
        for (host::Model_vertex const& v : mesh->vertices) {
            std::size_t taken = 0;
            for (auto const& b : v.skin.bindings()) {
                if (!b.joint || taken == 255)
                    continue;
                auto const* joint = static_cast<host::Model_shape const*>(b.joint);
                auto found = joint_index.find(joint);
                if (found == joint_index.end()) {
                    if (joints.size() == 65535)
                        throw File_error("more than 65,535 joints: the page cannot show them");
                    found = joint_index.emplace(joint, static_cast<std::uint16_t>(joints.size())).first;
                    joints.push_back(joint);
                }
                joint_of.push_back(found->second);
                weights.push_back(b.weight);
                ++taken;
            }
            counts.push_back(static_cast<std::uint8_t>(taken));
        }
        json entry = {{"path", mesh->path()},
                      {"positions", base64(positions)},
                      {"triangles", base64(mesh->triangles)},
                      {"counts", base64(counts)},
                      {"joints", base64(joint_of)},
                      {"weights", base64(weights)},
                      {"change", nullptr}};
        if (!asked.compare.empty())
            entry["change"] = base64(comparison->changes(*mesh, note));
        mesh_list.push_back(std::move(entry));
    }
    // Every joint a skin names, with its place and its nearest joint above it.
    json joint_list = json::array();
    for (host::Model_shape const* joint : joints) {
        mat4 const world = joint->world();
        int parent = -1;
        for (host::Model_shape const* up = joint->parent(); up && parent < 0; up = up->parent()) {
            auto found = joint_index.find(up);
            if (found != joint_index.end())
                parent = found->second;
        }
        joint_list.push_back({{"path", joint->path()}, {"at", {world.m[3][0], world.m[3][1], world.m[3][2]}}, {"parent", parent}});
    }
    if (!asked.joint.empty() && std::none_of(joints.begin(), joints.end(), [&](host::Model_shape const* j) {
            return j->path() == asked.joint;
        }))
        throw File_error("--joint " + asked.joint + ": no skin of " + files[0] + " names a joint of that path");
    json data = {{"title", files[0]},
                 {"compare", asked.compare.empty() ? json(nullptr) : json(asked.compare)},
                 {"joint", asked.joint.empty() ? json(nullptr) : json(asked.joint)},
                 {"joints", joint_list},
                 {"meshes", mesh_list}};
    // Inside a script element, "<" may not start a tag: names keep it escaped.
    std::string data_text = data.dump(-1, ' ', false, json::error_handler_t::replace);
    for (std::size_t at = 0; (at = data_text.find('<', at)) != std::string::npos;)
        data_text.replace(at, 1, "\\u003c");

    std::string page = text_of(page::page_html, page::page_html_size);
    for (auto const& [marker, text] : std::vector<std::pair<std::string, std::string>>{
             {"/*MESH_VERTEX*/", text_of(page::mesh_vert, page::mesh_vert_size)},
             {"/*MESH_FRAGMENT*/", text_of(page::mesh_frag, page::mesh_frag_size)},
             {"/*SCRIPT*/", text_of(page::view_js, page::view_js_size)},
             {"/*DATA*/", data_text}}) {
        std::size_t const at = page.find(marker);
        if (at == std::string::npos)
            throw std::logic_error("the page has no " + marker);
        page.replace(at, marker.size(), text);
    }
    Output_file out(files[1]);
    out.write([&](std::string const& path) {
        std::ofstream file(path, std::ios::binary);
        file.write(page.data(), static_cast<std::streamsize>(page.size()));
        if (!file.flush())
            throw File_error("cannot write " + files[1]);
    });
    out.keep();
    if (!request.quiet) {
        std::size_t vertices = 0;
        for (host::Model_shape const* mesh : meshes)
            vertices += mesh->vertices.size();
        std::cerr << note << files[1] << ": " << std::to_string(meshes.size()) + (meshes.size() == 1 ? " mesh" : " meshes") << ", " << std::to_string(vertices) + (vertices == 1 ? " vertex" : " vertices")
                  << ", " << plural(joints.size(), "joint") << ", " << page.size() << " bytes\n";
    }
    return lost ? exit_lost : exit_done;
}

}  // namespace

std::vector<Command> view_commands()
{
    auto asked = std::make_shared<View_request>();
    return {{"view", "one self-contained HTML page that shows the meshes coloured by their skins",
             [asked](Declaration& d) {
                 d.positional({"SCENE", "HTML"}, 1);
                 d.command.add_option("--skins", asked->skins, "a skin file loaded into the scene first, as load does")
                     ->check(CLI::ExistingFile);
                 d.command.add_option("--compare", asked->compare,
                                      "another scene or model: its meshes' skins against these, vertex by vertex")
                     ->check(CLI::ExistingFile);
                 d.command.add_option("--joint", asked->joint, "the joint whose weights the page shows first (its path)");
             },
             [asked](Request const& request) { return run_view(*asked, request); }}};
}

}  // namespace tools
