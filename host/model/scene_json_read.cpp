// Scene files read: the document parsed in one pass, the vertex lists taken out
// of it on the way, then the scene built from it.
#include "scene_json.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string_view>
#include <random>
#include <unordered_map>

#include <nlohmann/json.hpp>
#include <rapidjson/filereadstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "scene_file_parts.h"

namespace host {

using namespace scene_file;

namespace {

struct Pending_skin {
    Model_skin* skin;
    json_in const* entries;  // in the document, which outlives the reading
    std::string where;
};

struct Pending_refs {
    Model_shape* shape;
    uint32_t extension;
    json_in refs;
    std::string where;
};

// The vertex lists of a scene file, taken out of the document while it is
// parsed: a mesh's vertices are most of a large file, and as document values
// they would take ten times its size. A vertex of the common form ([x, y, z],
// or {"position": [x, y, z], "skin": [{"joint": "...", "weight": w}, ...]}
// with numbers) is kept as a position and its bindings; any other is kept as
// it was written, for the reader to take or refuse with its position. In the
// document, the list stands as a marker object with its number.
class Vertex_lists {
public:
    struct Vertex {
        vec3 position{};
        std::uint32_t first = 0, count = 0;  // bindings
        std::int64_t written = -1;           // a vertex of another form: its index in unusual
    };
    enum class Kind { vertices, triangles };
    struct List {
        std::size_t first = 0, count = 0;  // vertices, or triangle corners
        Kind kind = Kind::vertices;
    };
    // A triangle list's element that is no vertex index (not a whole number
    // from 0 up); every index read must be below the vertex count.
    static constexpr std::uint32_t not_an_index = UINT32_MAX;

    std::vector<List> lists;
    std::vector<Vertex> vertices;
    std::vector<std::uint32_t> corners;  // of the triangle lists
    std::vector<std::pair<std::uint32_t, float>> bindings;  // (joint reference, weight)
    std::vector<std::string> references;
    std::vector<json_in> unusual;
    std::uint64_t nonce = 0;

    static constexpr char marker_key[] = "\u0001vertices";
    static constexpr char nonce_key[] = "\u0001nonce";

    // The list of that kind a value of the document stands for, if it is a marker.
    List const* list_of(json_in const& value, Kind kind = Kind::vertices) const
    {
        if (!value.is_object() || value.size() != 2 || !value.contains(marker_key) || !value.contains(nonce_key))
            return nullptr;
        json_in const& id = value[marker_key];
        json_in const& check = value[nonce_key];
        if (!id.is_number_unsigned() || !check.is_number_unsigned() || check.get<std::uint64_t>() != nonce ||
            id.get<std::uint64_t>() >= lists.size() || lists[id.get<std::size_t>()].kind != kind)
            return nullptr;
        return &lists[id.get<std::size_t>()];
    }

    // The parser's callback: keeps the document's shape, takes the lists out.
    bool event(json_in::parse_event_t what, json_in& parsed)
    {
        switch (what) {
        case json_in::parse_event_t::object_start:
            frames_.push_back(Frame{false, false, 0});
            return true;
        case json_in::parse_event_t::key:
            key_ = parsed.is_string() ? parsed.get<std::string>() : std::string();
            return true;
        case json_in::parse_event_t::array_start: {
            bool const list = !frames_.empty() && !frames_.back().array && is_list_key(key_);
            frames_.push_back(Frame{true, list, lists.size()});
            if (list)
                open_list(kind_of(key_));
            return true;
        }
        case json_in::parse_event_t::object_end:
        case json_in::parse_event_t::array_end: {
            bool const was_list = !frames_.empty() && frames_.back().vertices;
            std::size_t const list = frames_.empty() ? 0 : frames_.back().list;
            if (!frames_.empty())
                frames_.pop_back();
            if (take(parsed))
                return false;
            if (was_list)
                parsed = json{{marker_key, list}, {nonce_key, nonce}};
            return true;
        }
        case json_in::parse_event_t::value:
            return !take(parsed);
        }
        return true;
    }

    // The keys whose lists are taken out of the document.
    static bool is_list_key(std::string const& key) { return key == "vertices" || key == "triangles"; }
    static Kind kind_of(std::string const& key) { return key == "triangles" ? Kind::triangles : Kind::vertices; }

    // A new list; its number.
    std::size_t open_list(Kind kind)
    {
        lists.push_back(List{kind == Kind::vertices ? vertices.size() : corners.size(), 0, kind});
        return lists.size() - 1;
    }

    // What the document holds in the place of list number `list`.
    json_in marker(std::size_t list) const { return json_in{{marker_key, list}, {nonce_key, nonce}}; }

    // An element of list number `list`, in the order of the list.
    // A vertex index of triangle list number `list`, in the order of the list.
    void take_corner(std::uint64_t index, std::size_t list)
    {
        List& into = lists[list];
        if (into.first + into.count != corners.size())
            throw json_in::other_error::create(501, "a triangle list inside a triangle list", nullptr);
        corners.push_back(index < not_an_index ? static_cast<std::uint32_t>(index) : not_an_index);
        ++into.count;
    }

    void take_element(json_in& element, std::size_t list)
    {
        if (lists[list].kind == Kind::triangles) {
            take_corner(element.is_number_unsigned() ? element.get<std::uint64_t>() : not_an_index, list);
            return;
        }
        Vertex vertex;
        if (!common(element, vertex)) {
            bindings.resize(vertex.first);
            vertex = Vertex{};
            vertex.written = static_cast<std::int64_t>(unusual.size());
            unusual.push_back(std::move(element));
        }
        take_vertex(vertex, list);
    }

    // A vertex of the common form, its bindings already taken.
    void take_vertex(Vertex const& vertex, std::size_t list)
    {
        // A list's elements come one after another: nothing nested in them
        // is taken out.
        List& into = lists[list];
        if (into.first + into.count != vertices.size())
            throw json_in::other_error::create(501, "a vertex list inside a vertex list", nullptr);
        vertices.push_back(vertex);
        ++into.count;
    }

    // The number of a joint reference, the same for every binding that names it.
    std::uint32_t reference(std::string const& name)
    {
        auto known = reference_ids_.find(name);
        if (known == reference_ids_.end()) {
            known = reference_ids_.emplace(name, static_cast<std::uint32_t>(references.size())).first;
            references.push_back(name);
        }
        return known->second;
    }

private:
    struct Frame {
        bool array;
        bool vertices;     // an array that is a vertex list
        std::size_t list;  // which list, when it is one
    };

    // An element of a vertex list, taken out of the document.
    bool take(json_in& element)
    {
        if (frames_.empty() || !frames_.back().vertices)
            return false;
        take_element(element, frames_.back().list);
        return true;
    }

    static bool position(json_in const& value, vec3& out)
    {
        if (!value.is_array() || value.size() != 3 || !value[0].is_number() || !value[1].is_number() ||
            !value[2].is_number())
            return false;
        out = vec3{value[0].get<float>(), value[1].get<float>(), value[2].get<float>()};
        return true;
    }

    bool common(json_in const& element, Vertex& vertex)
    {
        vertex.first = static_cast<std::uint32_t>(bindings.size());
        if (element.is_array())
            return position(element, vertex.position);
        if (!element.is_object() || element.size() > 2)
            return false;
        auto const at = element.find("position");
        if (at == element.end() || !position(*at, vertex.position))
            return false;
        auto const skin = element.find("skin");
        if (skin == element.end())
            return element.size() == 1;
        if (!skin->is_array())
            return false;
        for (json_in const& entry : *skin) {
            if (!entry.is_object() || entry.size() != 2)
                return false;
            auto const joint = entry.find("joint");
            auto const weight = entry.find("weight");
            if (joint == entry.end() || !joint->is_string() || weight == entry.end() || !weight->is_number())
                return false;
            bindings.emplace_back(reference(joint->get_ref<std::string const&>()), weight->get<float>());
        }
        vertex.count = static_cast<std::uint32_t>(bindings.size()) - vertex.first;
        return true;
    }

    std::vector<Frame> frames_;
    std::string key_;
    std::unordered_map<std::string, std::uint32_t> reference_ids_;
};

// The document as RapidJSON's parser reads it (iteratively, so that depth
// costs no stack), built as the other reader builds it: numbers from their
// text, converted as nlohmann's lexer converts them, and vertex lists taken
// out element by element. Where it cannot do exactly what the other reader
// does (a number out of range, any syntax error) it stops, and the caller reads the text with the other
// reader, which gives the same scene or the same message.
class Fast_document : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Fast_document> {
public:
    explicit Fast_document(Vertex_lists& lists) : lists_(lists) {}

    json_in document;

    bool Null() { return scan_gives_up() && put(json_in(nullptr)); }
    bool Bool(bool b) { return scan_gives_up() && put(json_in(b)); }
    bool RawNumber(char const* text, rapidjson::SizeType length, bool)
    {
        if (scan_ != Scan::off) {
            bool const in_position = (scan_ == Scan::element_array || scan_ == Scan::position) && taken_ < 3;
            if (in_position || scan_ == Scan::weight_value) {
                json_in& into = in_position ? position_[taken_++] : weight_;
                if (!number(text, length, into))
                    return false;
                if (scan_ == Scan::weight_value) {
                    has_weight_ = true;
                    scan_ = Scan::entry;
                }
                return true;
            }
            give_up();
        }
        // A triangle list's indices, most of a mesh's numbers after its
        // vertices, go to their list as they are read.
        if (!frames_.empty() && frames_.back().list && lists_.lists[frames_.back().number].kind == Vertex_lists::Kind::triangles &&
            length > 0 && text[0] != '-') {
            std::uint64_t index = 0;
            auto const read = std::from_chars(text, text + length, index);
            if (read.ec == std::errc() && read.ptr == text + length) {
                lists_.take_corner(index, frames_.back().number);
                return true;
            }
        }
        json_in value;
        return number(text, length, value) && put(std::move(value));
    }
    bool String(char const* text, rapidjson::SizeType length, bool)
    {
        if (scan_ == Scan::joint_value) {
            joint_.assign(text, length);
            joint_id_ = lists_.reference(joint_);
            has_joint_ = true;
            scan_ = Scan::entry;
            return true;
        }
        return scan_gives_up() && put(json_in(std::string(text, length)));
    }
    bool Key(char const* text, rapidjson::SizeType length, bool)
    {
        std::string_view const key(text, length);
        if (scan_ == Scan::element_object && key == "position" && !has_position_) {
            scan_ = Scan::position_value;
            return true;
        }
        if (scan_ == Scan::element_object && key == "skin" && !has_skin_) {
            scan_ = Scan::skin_value;
            return true;
        }
        if (scan_ == Scan::entry && key == "joint" && !has_joint_) {
            scan_ = Scan::joint_value;
            return true;
        }
        if (scan_ == Scan::entry && key == "weight" && !has_weight_) {
            scan_ = Scan::weight_value;
            return true;
        }
        scan_gives_up();
        key_.assign(text, length);
        return true;
    }
    bool StartObject()
    {
        if (scan_ == Scan::skin) {
            scan_ = Scan::entry;
            has_joint_ = has_weight_ = false;
            return true;
        }
        if (scan_gives_up() && in_vertex_list()) {
            begin_scan(Scan::element_object);
            return true;
        }
        return open(json_in::object(), false);
    }
    bool StartArray()
    {
        if (scan_ == Scan::position_value || scan_ == Scan::skin_value) {
            scan_ = scan_ == Scan::position_value ? Scan::position : Scan::skin;
            taken_ = 0;
            return true;
        }
        if (scan_gives_up() && in_vertex_list()) {
            begin_scan(Scan::element_array);
            return true;
        }
        // A list inside an element of a list breaks the order of the
        // vertices, which take_element refuses as the other reader does.
        return open(json_in::array(), !frames_.empty() && !frames_.back().value.is_array() && Vertex_lists::is_list_key(key_));
    }
    bool EndObject(rapidjson::SizeType)
    {
        if (scan_ == Scan::entry && has_joint_ && has_weight_) {
            lists_.bindings.emplace_back(joint_id_, weight_.get<float>());
            weights_.push_back(weight_);
            scan_ = Scan::skin;
            return true;
        }
        if (scan_ == Scan::element_object && has_position_)
            return end_scan();
        scan_gives_up();
        return close();
    }
    bool EndArray(rapidjson::SizeType)
    {
        if ((scan_ == Scan::element_array || scan_ == Scan::position) && taken_ == 3) {
            if (scan_ == Scan::element_array)
                return end_scan();
            has_position_ = true;
            scan_ = Scan::element_object;
            return true;
        }
        if (scan_ == Scan::skin) {
            has_skin_ = true;
            scan_ = Scan::element_object;
            return true;
        }
        scan_gives_up();
        return close();
    }

private:
    struct Frame {
        json_in value;
        std::string key;          // its key in the object around it
        bool list = false;        // a vertex list
        std::size_t number = 0;   // which, when it is one
    };

    // A vertex of the common form, read from the parser's events without a
    // document value: where in it the parser stands.
    enum class Scan {
        off,
        element_array,   // [x, y, z]
        element_object,  // {"position": ..., "skin": ...}, at a key or its end
        position_value,  // after "position"
        position,        // in its [x, y, z]
        skin_value,      // after "skin"
        skin,            // in its list of bindings
        entry,           // in a binding, at a key or its end
        joint_value,     // after "joint"
        weight_value,    // after "weight"
    };

    bool in_vertex_list() const
    {
        return !frames_.empty() && frames_.back().list && lists_.lists[frames_.back().number].kind == Vertex_lists::Kind::vertices;
    }

    void begin_scan(Scan at)
    {
        scan_ = at;
        taken_ = 0;
        has_position_ = has_skin_ = false;
        first_binding_ = lists_.bindings.size();
        weights_.clear();
    }

    bool end_scan()
    {
        Vertex_lists::Vertex vertex;
        vertex.position = vec3{position_[0].get<float>(), position_[1].get<float>(), position_[2].get<float>()};
        vertex.first = static_cast<std::uint32_t>(first_binding_);
        vertex.count = static_cast<std::uint32_t>(lists_.bindings.size() - first_binding_);
        scan_ = Scan::off;
        lists_.take_vertex(vertex, frames_.back().number);
        return true;
    }

    // Always true, for use in a condition: an element that turns out not to
    // be of the common form goes on as document values, from what was read.
    bool scan_gives_up()
    {
        if (scan_ != Scan::off)
            give_up();
        return true;
    }

    // The document values of what the scan has read of the element, put on
    // the stack as the events so far would have left them.
    void give_up()
    {
        Scan const at = scan_;
        scan_ = Scan::off;
        std::string const outer = key_;
        auto positions = [&](int n) {
            json_in out = json_in::array();
            for (int i = 0; i < n; ++i)
                out.push_back(position_[i]);
            return out;
        };
        if (at == Scan::element_array) {
            frames_.push_back(Frame{positions(taken_), outer, false, 0});
            return;
        }
        json_in element = json_in::object();
        if (has_position_)
            element["position"] = positions(3);
        json_in entries = json_in::array();
        for (std::size_t i = 0; i < weights_.size(); ++i)
            entries.push_back(json_in{{"joint", lists_.references[lists_.bindings[first_binding_ + i].first]}, {"weight", weights_[i]}});
        lists_.bindings.resize(first_binding_);
        if (has_skin_)
            element["skin"] = std::move(entries);
        frames_.push_back(Frame{std::move(element), outer, false, 0});
        switch (at) {
        case Scan::position_value: key_ = "position"; return;
        case Scan::position: frames_.push_back(Frame{positions(taken_), key_ = "position", false, 0}); return;
        case Scan::skin_value: key_ = "skin"; return;
        case Scan::skin: frames_.push_back(Frame{std::move(entries), key_ = "skin", false, 0}); return;
        case Scan::entry:
        case Scan::joint_value:
        case Scan::weight_value: {
            frames_.push_back(Frame{std::move(entries), "skin", false, 0});
            json_in entry = json_in::object();
            if (has_joint_)
                entry["joint"] = joint_;
            if (has_weight_)
                entry["weight"] = weight_;
            frames_.push_back(Frame{std::move(entry), "skin", false, 0});
            key_ = at == Scan::joint_value ? "joint" : at == Scan::weight_value ? "weight" : "skin";
            return;
        }
        default: return;
        }
    }

    bool open(json_in value, bool list)
    {
        Frame frame{std::move(value), key_, list, 0};
        if (list)
            frame.number = lists_.open_list(Vertex_lists::kind_of(key_));
        frames_.push_back(std::move(frame));
        return true;
    }

    bool close()
    {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        if (frame.list)
            frame.value = lists_.marker(frame.number);
        key_ = frame.key;
        return put(std::move(frame.value));
    }

    bool put(json_in value)
    {
        if (frames_.empty()) {
            document = std::move(value);
            return true;
        }
        Frame& into = frames_.back();
        if (into.list)
            lists_.take_element(value, into.number);
        else if (into.value.is_array())
            into.value.push_back(std::move(value));
        else
            into.value[key_] = std::move(value);
        return true;
    }

    // As nlohmann's lexer: an integer that fits its type, else a float,
    // which must be finite.
    static bool number(char const* text, std::size_t length, json_in& out)
    {
        char const* const end = text + length;
        bool const integer = std::find_if(text, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end;
        if (integer && text[0] == '-') {
            std::int64_t value = 0;
            if (std::from_chars(text, end, value).ec == std::errc()) {
                out = value;
                return true;
            }
        } else if (integer) {
            std::uint64_t value = 0;
            if (std::from_chars(text, end, value).ec == std::errc()) {
                out = value;
                return true;
            }
        }
        float value = 0;
#if defined(__cpp_lib_to_chars)
        auto const read = std::from_chars(text, end, value);
        bool const whole = read.ec == std::errc() && read.ptr == end;
#else
        std::string const copy(text, end);
        char* stop = nullptr;
        value = std::strtof(copy.c_str(), &stop);
        bool const whole = stop == copy.c_str() + copy.size();
#endif
        if (!whole || !std::isfinite(value))
            return false;
        out = value;
        return true;
    }

    Vertex_lists& lists_;
    std::vector<Frame> frames_;
    std::string key_;

    Scan scan_ = Scan::off;
    json_in position_[3];
    int taken_ = 0;                  // numbers of the position so far
    bool has_position_ = false, has_skin_ = false, has_joint_ = false, has_weight_ = false;
    std::size_t first_binding_ = 0;  // the element's first in lists_.bindings
    std::vector<json_in> weights_;   // of the element's bindings so far, as written
    std::string joint_;              // of the binding being read
    std::uint32_t joint_id_ = 0;
    json_in weight_;
};

class Reader {
public:
    Reader(Model_scene& scene, Vertex_lists const& lists) : scene_(scene), lists_(lists) {}

    void read(json_in const& document)
    {
        if (!document.is_object())
            throw Scene_error("/", "a scene file holds one object");
        if (!document.contains("root"))
            throw Scene_error("/", "no \"root\" shape");
        fill(scene_.new_root(), document["root"], "/root", 1);
        scene_.renumber();

        scene_.special_characters = document.value("special_characters", std::string());
        scene_.edit_mode = document.value("edit_mode", false);
        scene_.current_camera = document.value("current_camera", 0);
        for (Pending_skin const& pending : skins_)
            read_skin(*pending.skin, *pending.entries, pending.where);
        read_taken_skins();
        refuse_cyclic_skins();
        for (Pending_refs const& pending : attached_)
            pending.shape->attached[pending.extension] = shapes(pending.refs, pending.where);
        scene_.active = document.contains("selection") ? shapes(document["selection"], "/selection")
                                                       : std::vector<Model_shape*>{};
        scene_.memorised = document.contains("memory") ? shapes(document["memory"], "/memory")
                                                       : std::vector<Model_shape*>{};
        scene_.current = nullptr;
        if (document.contains("current"))
            scene_.current = shape(document["current"], "/current");
        else if (!scene_.active.empty())
            scene_.current = scene_.active.front();
        scene_.matrices_changed();
    }

private:
    // A shape's world matrix rests on the joints of its own skin when that is
    // bound, else on its parent's: a skin that comes back to its own shape
    // that way (a joint bound to its own descendant) gives the shape no world
    // matrix at all.
    void refuse_cyclic_skins()
    {
        std::vector<Model_shape*> const order = scene_.shapes_in_order();
        std::map<shape_class const*, std::size_t> index;
        for (std::size_t i = 0; i < order.size(); ++i)
            index[order[i]] = i;
        auto rests_on = [&](std::size_t i) {
            std::vector<std::size_t> out;
            Model_shape const& s = *order[i];
            if (!s.skin.bindings().empty()) {
                for (auto const& b : s.skin.bindings()) {
                    auto const found = index.find(b.joint);
                    if (found != index.end())
                        out.push_back(found->second);
                }
            } else if (s.parent()) {
                auto const found = index.find(s.parent());
                if (found != index.end())
                    out.push_back(found->second);
            }
            return out;
        };
        enum : char { unseen, open, done };
        std::vector<char> state(order.size(), unseen);
        for (std::size_t start = 0; start < order.size(); ++start) {
            if (state[start] != unseen)
                continue;
            // Depth first, with the path kept on an explicit stack.
            std::vector<std::pair<std::size_t, std::vector<std::size_t>>> path;
            path.emplace_back(start, rests_on(start));
            state[start] = open;
            while (!path.empty()) {
                auto& [node, next] = path.back();
                if (next.empty()) {
                    state[node] = done;
                    path.pop_back();
                    continue;
                }
                std::size_t const to = next.back();
                next.pop_back();
                if (state[to] == open) {
                    std::string cycle;
                    bool on = false;
                    for (auto const& step : path) {
                        on = on || step.first == to;
                        if (on)
                            cycle += order[step.first]->path() + " -> ";
                    }
                    throw Scene_error("/", "cyclic skins: the world matrices of " + cycle + order[to]->path() +
                                               " rest on each other through skins");
                }
                if (state[to] == unseen) {
                    state[to] = open;
                    path.emplace_back(to, rests_on(to));
                }
            }
        }
    }

    // The shape a reference names, found once per reference: a skin names
    // the same few joints over and over.
    Model_shape* resolved(std::string const& reference)
    {
        auto const known = resolved_.find(reference);
        if (known != resolved_.end())
            return known->second;
        Model_shape* const found = find_shape(scene_, reference);
        resolved_.emplace(reference, found);
        return found;
    }

    Model_shape* shape(json_in const& reference, std::string const& where)
    {
        if (!reference.is_string())
            throw Scene_error(where, "a shape reference is a string");
        Model_shape* found = resolved(reference.get_ref<std::string const&>());
        if (!found)
            throw Scene_error(where, "no shape \"" + reference.get<std::string>() + "\"");
        return found;
    }

    std::vector<Model_shape*> shapes(json_in const& references, std::string const& where)
    {
        if (!references.is_array())
            throw Scene_error(where, "expected a list of shape references");
        std::vector<Model_shape*> out;
        for (std::size_t i = 0; i < references.size(); ++i)
            out.push_back(shape(references[i], where + "/" + std::to_string(i)));
        return out;
    }

    void read_skin(Model_skin& skin, json_in const& entries, std::string const& where)
    {
        if (!entries.is_array())
            throw Scene_error(where, "a skin is a list of {\"joint\", \"weight\"}");
        skin.clear();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            json_in const& entry = entries[i];
            // The common binding, a joint that resolves and a number, without
            // the position texts that only a fault needs.
            if (entry.is_object()) {
                auto const joint = entry.find("joint");
                auto const weight = entry.find("weight");
                if (joint != entry.end() && joint->is_string() && weight != entry.end() && weight->is_number()) {
                    if (Model_shape* found = resolved(joint->get_ref<std::string const&>())) {
                        skin.add(found, weight->get<float>());
                        continue;
                    }
                }
            }
            std::string const at = where + "/" + std::to_string(i);
            if (!entry.is_object() || !entry.contains("joint"))
                throw Scene_error(at, "a binding needs a \"joint\"");
            skin.add(shape(entry["joint"], at + "/joint"), entry.contains("weight") ? read_float(entry["weight"], at + "/weight") : 1.0f);
        }
    }

    // Vertex indices, three a triangle, each naming a vertex of the shape:
    // the list taken out of the document.
    void read_triangles(Model_shape& shape, Vertex_lists::List const* list, std::string const& where)
    {
        if (shape.type != shape_type_polygon_mesh)
            throw Scene_error(where, "only a polygon mesh has triangles");
        if (!list || list->count % 3 != 0)
            throw Scene_error(where, "triangles are a list of vertex indices, three a triangle");
        shape.triangles.assign(lists_.corners.begin() + static_cast<std::ptrdiff_t>(list->first),
                               lists_.corners.begin() + static_cast<std::ptrdiff_t>(list->first + list->count));
        for (std::size_t i = 0; i < shape.triangles.size(); ++i)
            if (shape.triangles[i] == Vertex_lists::not_an_index || shape.triangles[i] >= shape.vertices.size())
                throw Scene_error(where + "/" + std::to_string(i),
                                  "a vertex index from 0 to " + std::to_string(shape.vertices.size()) + " (exclusive)");
    }

    // A list taken out of the document: vertices of the common form as they
    // were read, the others read here with their positions in the file.
    void take_vertices(Model_shape& shape, Vertex_lists::List const& list, std::string const& where)
    {
        shape.vertices.reserve(list.count);
        for (std::size_t i = 0; i < list.count; ++i) {
            Vertex_lists::Vertex const& taken = lists_.vertices[list.first + i];
            // Made in place: a skin is not copied for nothing.
            Model_vertex& vertex = shape.vertices.emplace_back(&scene_);
            if (taken.written < 0) {
                vertex.position = taken.position;
            } else {
                json_in const& written = lists_.unusual[static_cast<std::size_t>(taken.written)];
                std::string const at = where + "/" + std::to_string(i);
                vertex.position = read_vec3(written.is_array() ? written : written.at("position"), at);
            }
        }
        std::string const* const list_where = &where_of_lists_.emplace_back(where);
        for (std::size_t i = 0; i < list.count; ++i) {
            Vertex_lists::Vertex const& taken = lists_.vertices[list.first + i];
            if (taken.written < 0) {
                if (taken.count > 0)
                    taken_skins_.push_back(Taken_skin{&shape.vertices[i].skin, &taken, list_where, i});
                continue;
            }
            json_in const& written = lists_.unusual[static_cast<std::size_t>(taken.written)];
            if (written.is_object())
                later_skin(shape.vertices[i].skin, written, where + "/" + std::to_string(i));
        }
    }

    void read_taken_skins()
    {
        for (Taken_skin const& pending : taken_skins_) {
            pending.skin->clear();
            for (std::uint32_t k = 0; k < pending.vertex->count; ++k) {
                auto const& [reference, weight] = lists_.bindings[pending.vertex->first + k];
                Model_shape* const joint = resolved(lists_.references[reference]);
                if (!joint)
                    throw Scene_error(*pending.where + "/" + std::to_string(pending.index) + "/skin/" + std::to_string(k) +
                                          "/joint",
                                      "no shape \"" + lists_.references[reference] + "\"");
                pending.skin->add(joint, weight);
            }
        }
    }

    void later_skin(Model_skin& skin, json_in const& node, std::string const& where)
    {
        if (node.contains("skin"))
            skins_.push_back(Pending_skin{&skin, &node["skin"], where + "/skin"});
    }

    void fill(Model_shape& shape, json_in const& node, std::string const& where, int depth)
    {
        if (!node.is_object())
            throw Scene_error(where, "a shape is an object");
        if (node.contains("kind")) {
            std::string const word = node["kind"].get<std::string>();
            bool known = false;
            for (Kind const& kind : kinds)
                if (word == kind.word) {
                    shape.type = kind.type;
                    shape.part_type = kind.part_type;
                    known = true;
                }
            if (!known)
                throw Scene_error(where + "/kind", "unknown kind \"" + word + "\"");
        } else if (node.contains("part_type")) {
            shape.type = shape_type_part;
            shape.part_type = node["part_type"].get<int>();
        } else if (node.contains("shape_type")) {
            shape.type = node["shape_type"].get<int>();
            shape.part_type = -1;
        } else {
            throw Scene_error(where, "a shape needs a \"kind\" (or \"part_type\" or \"shape_type\")");
        }
        if (node.contains("name_hex"))
            shape.name = bytes_of_hex(node["name_hex"].get<std::string>(), where + "/name_hex");
        else
            shape.name = node.value("name", std::string());
        shape.id = node.value("id", std::string());
        if (node.contains("matrix")) {
            json_in const& m = node["matrix"];
            if (!m.is_array() || m.size() != 16)
                throw Scene_error(where + "/matrix", "a matrix is 16 numbers, row by row");
            for (int i = 0; i < 16; ++i)
                shape.set_local(i / 4, i % 4, read_float(m[static_cast<std::size_t>(i)], where + "/matrix"));
        }
        later_skin(shape.skin, node, where);
        if (node.contains("vertices") && lists_.list_of(node["vertices"]))
            take_vertices(shape, *lists_.list_of(node["vertices"]), where + "/vertices");
        else if (node.contains("vertices")) {
            json_in const& vertices = node["vertices"];
            shape.vertices.reserve(vertices.size());
            for (std::size_t i = 0; i < vertices.size(); ++i) {
                std::string const at = where + "/vertices/" + std::to_string(i);
                Model_vertex vertex(&scene_);
                vertex.position = read_vec3(vertices[i].is_array() ? vertices[i] : vertices[i].at("position"), at);
                shape.vertices.push_back(vertex);
            }
            for (std::size_t i = 0; i < vertices.size(); ++i)
                if (vertices[i].is_object())
                    later_skin(shape.vertices[i].skin, vertices[i], where + "/vertices/" + std::to_string(i));
        }
        if (node.contains("triangles"))
            read_triangles(shape, lists_.list_of(node["triangles"], Vertex_lists::Kind::triangles), where + "/triangles");
        if (node.contains("points")) {
            json_in const& points = node["points"];
            shape.points.reserve(points.size());
            for (std::size_t i = 0; i < points.size(); ++i) {
                std::string const at = where + "/points/" + std::to_string(i);
                json_in const& p = points[i];
                Model_control_point point(&scene_);
                point.position = read_vec3(p.at("position"), at + "/position");
                if (p.contains("in_handle")) point.in_handle = read_vec3(p["in_handle"], at + "/in_handle");
                if (p.contains("out_handle")) point.out_handle = read_vec3(p["out_handle"], at + "/out_handle");
                if (p.contains("inner_handle")) point.inner_handle = read_vec3(p["inner_handle"], at + "/inner_handle");
                if (p.contains("outer_handle")) point.outer_handle = read_vec3(p["outer_handle"], at + "/outer_handle");
                point.first_flag = p.value("first_flag", false);
                point.second_flag = p.value("second_flag", false);
                shape.points.push_back(point);
            }
            for (std::size_t i = 0; i < points.size(); ++i)
                later_skin(shape.points[i].skin, points[i], where + "/points/" + std::to_string(i));
        }
        for (char const* field : {"center", "axis", "start", "end", "position", "eye", "target"}) {
            if (!node.contains(field))
                continue;
            vec3 const v = read_vec3(node[field], where + "/" + field);
            std::string const f = field;
            (f == "center" ? shape.center : f == "axis" ? shape.axis : f == "start" ? shape.start : f == "end" ? shape.end
             : f == "position" ? shape.position : f == "eye" ? shape.eye : shape.target) = v;
        }
        shape.switched = node.value("switched", false);
        if (node.contains("active_points"))
            shape.active_points = node["active_points"].get<std::vector<int>>();
        if (node.contains("attached")) {
            json_in const& attached = node["attached"];
            if (attached.contains("joint_window"))
                attached_.push_back(Pending_refs{&shape, extend_joint_window_uuid.word[0], attached["joint_window"], where + "/attached/joint_window"});
            if (attached.contains("skin_window"))
                attached_.push_back(Pending_refs{&shape, extend_skin_window_uuid.word[0], attached["skin_window"], where + "/attached/skin_window"});
        }
        if (node.contains("children")) {
            json_in const& children = node["children"];
            if (!children.is_array())
                throw Scene_error(where + "/children", "children are a list of shapes");
            // Every walk over the tree, the plug-in's too, goes one call deeper
            // per level: a deeper scene would end in a stack overflow.
            if (!children.empty() && depth >= max_scene_depth)
                throw Scene_error(where + "/children",
                                  "shapes nested deeper than " + std::to_string(max_scene_depth) + " levels");
            for (std::size_t i = 0; i < children.size(); ++i) {
                auto child = std::make_unique<Model_shape>(&scene_, shape_type_part, part_plain, "");
                fill(*child, children[i], where + "/children/" + std::to_string(i), depth + 1);
                shape.add_child(std::move(child));
            }
        }
    }

    Model_scene& scene_;
    std::vector<Pending_skin> skins_;
    std::unordered_map<std::string, Model_shape*> resolved_;
    Vertex_lists const& lists_;
    struct Taken_skin {
        Model_skin* skin;
        Vertex_lists::Vertex const* vertex;
        std::string const* where;  // of the list
        std::size_t index;
    };
    std::vector<Taken_skin> taken_skins_;
    std::deque<std::string> where_of_lists_;
    std::vector<Pending_refs> attached_;
};

std::string line_and_column(std::string_view text, std::size_t byte)
{
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

Model_shape* find_shape(Model_scene& scene, std::string const& reference)
{
    if (!reference.empty() && reference[0] == '@')
        return find_by_id(scene.root(), reference.substr(1));
    return find_by_path(scene.root(), reference);
}

namespace {

constexpr unsigned fast_flags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;

// The document and its vertex lists as RapidJSON's parser reads them from
// bytes; false where the other reader must read them instead.
template <class Bytes>
bool parse_fast(Bytes& bytes, json_in& document, Vertex_lists& lists)
{
    Fast_document fast(lists);
    rapidjson::Reader reader;
    if (!reader.Parse<fast_flags>(bytes, fast))
        return false;
    document = std::move(fast.document);
    return true;
}

Vertex_lists new_lists()
{
    Vertex_lists lists;
    lists.nonce = std::random_device{}() * 0x9E3779B97F4A7C15ull + 1;
    return lists;
}

void build(Model_scene& scene, json_in const& document, Vertex_lists const& lists)
{
    try {
        Reader(scene, lists).read(document);
    } catch (json_in::exception const& e) {
        throw host_error(std::string("scene file: ") + e.what());
    }
}

}  // namespace

void read_scene(Model_scene& scene, std::string_view json_text, Scene_parser parser)
{
    json_in document;
    Vertex_lists lists = new_lists();
    try {
        rapidjson::MemoryStream bytes(json_text.data(), json_text.size());
        if (parser != Scene_parser::fast || !parse_fast(bytes, document, lists)) {
            // The other reader: its scene, or its message.
            uint64_t const nonce = lists.nonce;
            lists = Vertex_lists{};
            lists.nonce = nonce;
            document = json_in::parse(json_text.begin(), json_text.end(),
                                      [&lists](int, json_in::parse_event_t what, json_in& parsed) {
                                          return lists.event(what, parsed);
                                      });
        }
    } catch (json_in::parse_error const& e) {
        throw host_error("scene file, at " + line_and_column(json_text, e.byte == 0 ? 0 : e.byte - 1) + ": " + e.what());
    } catch (json_in::exception const& e) {
        // A number too large for a double, for one.
        throw host_error(std::string("scene file: ") + e.what());
    }
    build(scene, document, lists);
}

void read_scene_file(Model_scene& scene, std::string const& path)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        throw host_error("cannot open scene file " + path + ": " + std::strerror(errno));
    struct Closer {
        std::FILE*& file;
        ~Closer()
        {
            if (file)
                std::fclose(file);
        }
    } closer{in};

    // A file is parsed as it is read, a piece at a time: held whole, its
    // text would cost as much memory again as the scene, and on first touch
    // about a fifth of the read's time. Only what the fast parser cannot
    // take reads the file again, whole, for the other reader.
    Scene_parser parser = Scene_parser::fast;
    struct stat status {};
    if (fstat(fileno(in), &status) == 0 && S_ISREG(status.st_mode)) {
        std::vector<char> piece(1 << 18);
        rapidjson::FileReadStream bytes(in, piece.data(), piece.size());
        json_in document;
        Vertex_lists lists = new_lists();
        bool parsed = false;
        try {
            parsed = parse_fast(bytes, document, lists) && !std::ferror(in);
        } catch (json_in::exception const& e) {
            throw host_error(path + ": scene file: " + e.what());
        }
        if (parsed) {
            piece = {};
            try {
                build(scene, document, lists);
            } catch (host_error const& e) {
                throw host_error(path + ": " + e.what());
            }
            return;
        }
        if (std::fseek(in, 0, SEEK_SET) != 0)
            throw host_error("cannot read scene file " + path + ": " + std::strerror(errno));
        parser = Scene_parser::reference;
    }

    // Read whole into one buffer of the file's size, left uninitialised
    // (filling it first would cost as much as a third of the parse).
    std::unique_ptr<char[]> buffer;
    std::size_t size = 0, capacity = 0;
    {
        if (std::fseek(in, 0, SEEK_END) == 0) {
            long const length = std::ftell(in);
            std::fseek(in, 0, SEEK_SET);
            if (length > 0)
                capacity = static_cast<std::size_t>(length);
        }
        // Whatever the size did not tell (a file that grew, or one that
        // cannot seek) is read on into a buffer twice as large.
        capacity = std::max<std::size_t>(capacity + 1, 1 << 16);
        buffer.reset(new char[capacity]);
        for (std::size_t n; (n = std::fread(buffer.get() + size, 1, capacity - size, in)) > 0;) {
            size += n;
            if (size == capacity) {
                std::unique_ptr<char[]> larger(new char[capacity * 2]);
                std::memcpy(larger.get(), buffer.get(), size);
                buffer = std::move(larger);
                capacity *= 2;
            }
        }
        int const error = std::ferror(in) ? errno : 0;
        std::fclose(in);
        in = nullptr;
        if (error)
            throw host_error("cannot read scene file " + path + ": " + std::strerror(error));
    }
    try {
        read_scene(scene, std::string_view(buffer.get(), size), parser);
    } catch (host_error const& e) {
        throw host_error(path + ": " + e.what());
    }
}

}  // namespace host
