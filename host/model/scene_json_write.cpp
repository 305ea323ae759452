// Scene files written: the document of everything but the vertex lists, which
// go out straight as text in their place.
#include "scene_json.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "scene_file_parts.h"

namespace host {

using namespace scene_file;

namespace {

class Writer {
public:
    // The marker holds a number drawn for this writer, so that no name
    // written in the document can pass for one.
    Writer(Model_scene& scene, bool pretty)
        : scene_(scene), pretty_(pretty),
          marker_("\u0001splice " + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}()) + " ")
    {
    }

    json write()
    {
        json document;
        document["special_characters"] = scene_.special_characters;
        document["edit_mode"] = scene_.edit_mode;
        document["current_camera"] = scene_.current_camera;
        document["selection"] = references(scene_.active);
        document["memory"] = references(scene_.memorised);
        if (scene_.current)
            document["current"] = reference(*scene_.current);
        json root = shape(scene_.root());
        // Ids given to shapes that a path cannot name must stand in the shapes too.
        for (auto const& [shape, id] : assigned_)
            patch_id(root, scene_.root(), *shape, id);
        document["root"] = root;
        return document;
    }

    // Vertex lists stand in the document as a marker string ("\u0001splice
    // <number> <index>"), put in place of the marker when the document is written.
    std::size_t splices() const { return splices_.size(); }
    template <class Put>
    void put_splice(std::size_t index, Put& put) const
    {
        Splice const& splice = splices_.at(index);
        if (splice.triangles)
            put_triangles(*splice.shape, put);
        else
            put_vertices(*splice.shape, put);
    }
    std::string const& marker() const { return marker_; }

private:
    // A mesh's vertices are most of a large scene: they are written straight
    // to text, keys in the order the document writes them, in pieces of about
    // a megabyte handed to put, rather than becoming document values first.
    // Their joints' references were worked out when the document was made.
    template <class Put>
    void put_vertices(Model_shape const& s, Put& put) const
    {
        constexpr std::size_t piece = 1 << 20;
        std::string out = "[";
        out.reserve(piece + 4096);
        auto number = [&](float f) {
            if (std::isnan(f)) {
                out += "\"nan\"";
            } else if (std::isinf(f)) {
                out += f > 0 ? "\"inf\"" : "\"-inf\"";
            } else if (f == 0 && std::signbit(f)) {
                out += "-0.0";
            } else {
                char buffer[64];
                auto const text = std::to_chars(buffer, buffer + sizeof buffer, f);
                out.append(buffer, text.ptr);
            }
        };
        char const* const gap = pretty_ ? "\n" : "";
        static std::string const null = "null";
        shape_class const* last = nullptr;
        std::string const* last_text = &null;
        for (std::size_t i = 0; i < s.vertices.size(); ++i) {
            Model_vertex const& v = s.vertices[i];
            out += i ? "," : "";
            out += gap;
            out += "{\"position\":[";
            number(v.position.x);
            out += ',';
            number(v.position.y);
            out += ',';
            number(v.position.z);
            out += ']';
            if (!v.skin.bindings().empty()) {
                out += ",\"skin\":[";
                bool first = true;
                for (Model_binding const& b : v.skin.bindings()) {
                    out += first ? "{\"joint\":" : ",{\"joint\":";
                    first = false;
                    if (b.joint != last) {
                        last = b.joint;
                        last_text = b.joint ? &quoted_.at(static_cast<Model_shape*>(b.joint)) : &null;
                    }
                    out += *last_text;
                    out += ",\"weight\":";
                    number(b.weight);
                    out += '}';
                }
                out += ']';
            }
            out += '}';
            if (out.size() >= piece) {
                put(out.data(), out.size());
                out.clear();
            }
        }
        out += gap;
        out += ']';
        put(out.data(), out.size());
    }

    // A mesh's triangles likewise: its vertex indices, a triangle a line when pretty.
    template <class Put>
    void put_triangles(Model_shape const& s, Put& put) const
    {
        constexpr std::size_t piece = 1 << 20;
        std::string out = "[";
        out.reserve(piece + 64);
        for (std::size_t i = 0; i < s.triangles.size(); ++i) {
            if (i)
                out += pretty_ && i % 3 == 0 ? ",\n" : ",";
            char buffer[16];
            auto const text = std::to_chars(buffer, buffer + sizeof buffer, s.triangles[i]);
            out.append(buffer, text.ptr);
            if (out.size() >= piece) {
                put(out.data(), out.size());
                out.clear();
            }
        }
        out += ']';
        put(out.data(), out.size());
    }

    // Works out, before the document is finished, the references of every
    // joint a mesh's vertices name (an id given here must stand in its shape).
    void quote_vertex_joints(Model_shape const& s)
    {
        shape_class* last = nullptr;
        for (Model_vertex const& v : s.vertices)
            for (Model_binding const& b : v.skin.bindings())
                if (b.joint && b.joint != last) {
                    last = b.joint;
                    quoted_reference(*static_cast<Model_shape*>(b.joint));
                }
    }

    std::string const& quoted_reference(Model_shape& target)
    {
        auto const known = quoted_.find(&target);
        if (known != quoted_.end())
            return known->second;
        return quoted_.emplace(&target, json(reference(target)).dump()).first->second;
    }

    json spliced(Model_shape const& mesh, bool triangles = false)
    {
        if (!triangles)
            quote_vertex_joints(mesh);
        splices_.push_back(Splice{&mesh, triangles});
        return marker_ + std::to_string(splices_.size() - 1);
    }

    // Each shape's reference is worked out once: skins name the same joints
    // over and over.
    std::string const& reference(Model_shape& target)
    {
        auto const known = references_.find(&target);
        if (known != references_.end())
            return known->second;
        return references_.emplace(&target, make_reference(target)).first->second;
    }

    std::string make_reference(Model_shape& target)
    {
        if (!target.id.empty())
            return "@" + target.id;
        std::string path;
        for (Model_shape* s = &target; s; s = s->parent())
            path = s->name + (path.empty() ? "" : "/" + path);
        bool const plain = target.name.find('/') == std::string::npos && target.name.find('@') != 0 && is_valid_utf8(path);
        if (plain && find_shape(scene_, path) == &target)
            return path;
        auto found = assigned_.find(&target);
        if (found == assigned_.end())
            found = assigned_.emplace(&target, "s" + std::to_string(target.ordinal)).first;
        return "@" + found->second;
    }

    json references(std::vector<Model_shape*> const& shapes)
    {
        json out = json::array();
        for (Model_shape* s : shapes)
            out.push_back(reference(*s));
        return out;
    }

    json skin(Model_skin const& skin)
    {
        json out = json::array();
        for (Model_binding const& b : skin.bindings()) {
            json entry;
            entry["joint"] = b.joint ? json(reference(*static_cast<Model_shape*>(b.joint))) : json();
            entry["weight"] = write_float(b.weight);
            out.push_back(entry);
        }
        return out;
    }

    json shape(Model_shape& s)
    {
        json node;
        bool named = false;
        for (Kind const& kind : kinds)
            if (kind.type == s.type && (s.type != shape_type_part || kind.part_type == s.part_type)) {
                node["kind"] = kind.word;
                named = true;
                break;
            }
        if (!named) {
            if (s.is_part())
                node["part_type"] = s.part_type;
            else
                node["shape_type"] = s.type;
        }
        if (is_valid_utf8(s.name))
            node["name"] = s.name;
        else
            node["name_hex"] = hex_of(s.name);
        if (!s.id.empty())
            node["id"] = s.id;
        if (!is_identity(s.local())) {
            json m = json::array();
            for (int i = 0; i < 16; ++i)
                m.push_back(write_float(s.local().m[i / 4][i % 4]));
            node["matrix"] = m;
        }
        if (!s.skin.bindings().empty())
            node["skin"] = skin(s.skin);
        if (s.type == shape_type_polygon_mesh)
            node["vertices"] = spliced(s);
        if (s.type == shape_type_polygon_mesh && !s.triangles.empty())
            node["triangles"] = spliced(s, true);
        if (s.type == shape_type_line) {
            json points = json::array();
            for (Model_control_point const& p : s.points) {
                json point;
                point["position"] = write_vec3(p.position);
                point["in_handle"] = write_vec3(p.in_handle);
                point["out_handle"] = write_vec3(p.out_handle);
                point["inner_handle"] = write_vec3(p.inner_handle);
                point["outer_handle"] = write_vec3(p.outer_handle);
                point["first_flag"] = p.first_flag;
                point["second_flag"] = p.second_flag;
                if (!p.skin.bindings().empty())
                    point["skin"] = skin(p.skin);
                points.push_back(point);
            }
            node["points"] = points;
        }
        if (s.is_part()) {
            switch (s.part_type) {
            case part_rotator:
            case part_scale:
                node["center"] = write_vec3(s.center);
                node["axis"] = write_vec3(s.axis);
                break;
            case part_slider:
                node["start"] = write_vec3(s.start);
                node["end"] = write_vec3(s.end);
                break;
            case part_uniscale:
            case part_ball: node["center"] = write_vec3(s.center); break;
            case part_camera:
                node["eye"] = write_vec3(s.eye);
                node["target"] = write_vec3(s.target);
                break;
            case part_surface: node["switched"] = s.switched; break;
            default: break;
            }
        }
        if (s.type == shape_type_light)
            node["position"] = write_vec3(s.position);
        if (s.type == shape_type_sphere || s.type == shape_type_disk)
            node["center"] = write_vec3(s.center);
        if (!s.active_points.empty())
            node["active_points"] = s.active_points;
        for (auto const& [extension, list] : s.attached) {
            char const* key = extension == extend_joint_window_uuid.word[0] ? "joint_window" : "skin_window";
            node["attached"][key] = references(list);
        }
        if (!s.children().empty()) {
            json children = json::array();
            for (auto const& child : s.children())
                children.push_back(shape(*child));
            node["children"] = children;
        }
        return node;
    }

    static bool patch_id(json& node, Model_shape& at, Model_shape& target, std::string const& id)
    {
        if (&at == &target) {
            node["id"] = id;
            return true;
        }
        for (std::size_t i = 0; i < at.children().size(); ++i)
            if (patch_id(node["children"][i], *at.children()[i], target, id))
                return true;
        return false;
    }

    Model_scene& scene_;
    std::map<Model_shape*, std::string> assigned_;
    std::unordered_map<Model_shape const*, std::string> references_;
    std::unordered_map<Model_shape const*, std::string> quoted_;
    struct Splice {
        Model_shape const* shape;
        bool triangles;  // its triangles, else its vertices
    };
    std::vector<Splice> splices_;
    bool pretty_;
    std::string marker_;
};

}  // namespace

namespace {

// The document written, with each spliced text in place of its marker, in
// pieces handed to put.
template <class Put>
void write_document(Model_scene& scene, bool pretty, Put&& put)
{
    Writer writer(scene, pretty);
    std::string const text = writer.write().dump(pretty ? 2 : -1) + "\n";
    // The marker as the document writes it: a string whose first character is \u0001.
    std::string const marker = "\"\\u0001" + writer.marker().substr(1);
    std::size_t done = 0;
    for (std::size_t at; (at = text.find(marker, done)) != std::string::npos;) {
        std::size_t const end = text.find('"', at + marker.size());
        std::size_t const index = std::stoul(text.substr(at + marker.size(), end - at - marker.size()));
        put(text.data() + done, at - done);
        writer.put_splice(index, put);
        done = end + 1;
    }
    put(text.data() + done, text.size() - done);
}

}  // namespace

std::string write_scene(Model_scene& scene, bool pretty)
{
    std::string out;
    write_document(scene, pretty, [&](char const* data, std::size_t n) { out.append(data, n); });
    return out;
}

void write_scene_file(Model_scene& scene, std::string const& path, bool pretty)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        throw host_error("cannot write scene file " + path + ": " + std::strerror(errno));
    bool written = true;
    int error = 0;
    try {
        write_document(scene, pretty, [&](char const* data, std::size_t n) {
            if (written && std::fwrite(data, 1, n, out) != n) {
                written = false;
                error = errno;
            }
        });
    } catch (...) {
        std::fclose(out);
        throw;
    }
    bool const closed = std::fclose(out) == 0;
    if (written && !closed)
        error = errno;
    if (!written || !closed)
        throw host_error("cannot write scene file " + path + ": " + std::strerror(error));
}

}  // namespace host
