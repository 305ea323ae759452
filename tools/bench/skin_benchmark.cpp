// Times "Save skin" and "Load skin" through the reference host and the real
// plug-in on a large scene, against a floor measured in the same run: a
// minimal writer and reader of the same files, written from the format's
// tables, that does nothing but format, write, read and parse the bytes.
//   skin_benchmark [--plugin PATH] [--vertices N] [--joints N] [--flat]
//                  [--runs K] [--folder DIR] [--keep DIR] [--scene FILE]
// With --scene it writes the scene, bound, as a scene file and stops: the
// input for timing tavrik-host's commands end to end.
// The scene: a mesh of N vertices with four bindings each, over a skeleton of
// chains 8 deep (or, with --flat, of sibling joints), all inside a selected
// part "figure". Each line prints the median of K interleaved runs, the ratio
// to its floor, and the peak memory of the run (Linux).
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "exchange.h"
#include "library.h"
#include "scene_json.h"
#include "scene_model.h"

namespace {

struct Options {
    std::string plugin;
    int vertices = 1000000;
    int joints = 200;
    bool flat = false;
    int runs = 3;
    std::string folder = "/tmp";
    bool keep = false;
    std::string scene_file;
};

struct Scene_set {
    explicit Scene_set(host::Host_services& services) : scene(services) {}
    host::Model_scene scene;
    std::vector<host::Model_shape*> joints;
    host::Model_shape* figure = nullptr;
    host::Model_shape* mesh = nullptr;
};

void build(Scene_set& set, Options const& options, bool bound)
{
    host::Model_scene& scene = set.scene;
    set.figure = &scene.new_root().add_child(std::make_unique<host::Model_shape>(&scene, 2, 0, "figure"));
    host::Model_shape& skeleton = set.figure->add_child(std::make_unique<host::Model_shape>(&scene, 2, 0, "skeleton"));
    int const depth = options.flat ? 1 : 8;
    for (int chain = 0; static_cast<int>(set.joints.size()) < options.joints; ++chain) {
        host::Model_shape* parent = &skeleton;
        for (int d = 0; d < depth && static_cast<int>(set.joints.size()) < options.joints; ++d) {
            auto joint = std::make_unique<host::Model_shape>(&scene, 2, 2, "joint_" + std::to_string(chain) + "_" + std::to_string(d));
            joint->set_local(3, 0, 0.1f * static_cast<float>(d + 1));
            joint->set_local(3, 1, 0.05f * static_cast<float>(chain % 100));
            parent = &parent->add_child(std::move(joint));
            set.joints.push_back(parent);
        }
    }
    auto mesh = std::make_unique<host::Model_shape>(&scene, shape_type_polygon_mesh, -1, "body");
    mesh->vertices.reserve(static_cast<std::size_t>(options.vertices));
    std::size_t const n = set.joints.size();
    for (int i = 0; i < options.vertices; ++i) {
        host::Model_vertex v(&scene);
        v.position = vec3{static_cast<float>(i % 1000) * 0.001f, static_cast<float>(i / 1000) * 0.001f, 0};
        if (bound)
            for (int b = 0; b < 4; ++b)
                v.skin.add(set.joints[(static_cast<std::size_t>(i) * 7 + static_cast<std::size_t>(b) * 53) % n],
                           0.1f + 0.2f * static_cast<float>(b));
        mesh->vertices.push_back(v);
    }
    set.mesh = &set.figure->add_child(std::move(mesh));
    scene.renumber();
    scene.active = {set.figure};
    scene.current = set.figure;
}

// The floor's writer: the records of the benchmark scene as the format's
// tables lay them out, from the host's data directly, into one buffer that is
// written in 1 MiB pieces.
class Floor_writer {
public:
    Floor_writer(bool binary, std::string path) : binary_(binary), path_(std::move(path)) { out_.reserve(1 << 21); }

    void write(host::Model_shape& top)
    {
        file_ = std::fopen(path_.c_str(), "wb");
        if (!file_)
            throw std::runtime_error("cannot create " + path_);
        std::setvbuf(file_, nullptr, _IONBF, 0);
        top_ = &top;
        if (binary_)
            word(0x50020010);
        else
            text("<skinfile>\n");
        record(top, true);
        if (binary_)
            word(-1);
        else
            text("<end>\n");
        spill(true);
        std::fclose(file_);
    }

private:
    void spill(bool all)
    {
        if (out_.size() >= (1u << 20) || (all && !out_.empty())) {
            std::fwrite(out_.data(), 1, out_.size(), file_);
            out_.clear();
        }
    }
    void text(char const* s) { out_.append(s); }
    void number(long long v)
    {
        char buffer[24];
        out_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
    }
    void word(int32_t v)
    {
        auto const u = static_cast<uint32_t>(v);
        char const b[4] = {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), static_cast<char>(u >> 24)};
        out_.append(b, 4);
    }
    std::string const& path_of(host::Model_shape* joint)
    {
        auto found = paths_.find(joint);
        if (found != paths_.end())
            return found->second;
        std::vector<host::Model_shape*> chain{joint};
        while (chain.back() != top_ && chain.back()->parent())
            chain.push_back(chain.back()->parent());
        std::string path;
        char const separator = binary_ ? '\xFF' : '/';
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            path += (*it)->name + (it + 1 == chain.rend() ? std::string() : std::string(1, separator));
        return paths_.emplace(joint, path).first->second;
    }
    void bindings(host::Model_skin const& skin)
    {
        for (auto const& b : skin.bindings()) {
            std::string const& path = path_of(static_cast<host::Model_shape*>(b.joint));
            if (binary_) {
                float const w = b.weight;
                int32_t bits;
                std::memcpy(&bits, &w, 4);
                word(bits);
                out_ += path;
                out_ += '\0';
            } else {
                char buffer[32];
                out_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, b.weight).ptr);
                out_ += '/';
                out_ += path;
                out_ += "/:";
            }
        }
    }
    void point(int index, host::Model_skin const& skin)
    {
        int const count = static_cast<int>(skin.bindings().size());
        if (binary_) {
            word(index);
            word(count);
        } else {
            number(index);
            out_ += ':';
            number(count);
            out_ += ':';
        }
        bindings(skin);
        if (!binary_)
            out_ += '\n';
        spill(false);
    }
    void record(host::Model_shape& shape, bool top)
    {
        bool const mesh = shape.type == shape_type_polygon_mesh;
        int const count = mesh ? static_cast<int>(shape.vertices.size()) : shape.part_type == 2 ? 2 : 1;
        int const code = mesh ? 17 : shape.part_type;
        if (binary_) {
            word(code);
            out_ += shape.name;
            out_ += '\0';
            word(count);
        } else {
            if (!top)
                out_ += '{';
            out_ += mesh ? "polygon" : code == 2 ? "rotator" : "part";
            out_ += ':';
            out_ += shape.name;
            out_ += ':';
            number(count);
            out_ += '\n';
        }
        for (int i = 0; i < count; ++i)
            point(i, mesh ? shape.vertices[static_cast<std::size_t>(i)].skin : shape.skin);
        for (auto const& child : shape.children())
            record(*child, false);
        if (binary_)
            out_ += '\xFF';
        else if (!top)
            out_ += "}\n";
    }

    bool binary_;
    std::string path_;
    std::FILE* file_ = nullptr;
    std::string out_;
    host::Model_shape* top_ = nullptr;
    std::unordered_map<host::Model_shape*, std::string> paths_;
};

// The floor's reader: reads the whole file in 1 MiB pieces and parses every
// record, weight and joint name, resolving names through one table; what it
// yields is the number of bindings found.
class Floor_reader {
public:
    explicit Floor_reader(Scene_set const& set)
    {
        for (host::Model_shape* joint : set.joints) {
            std::string path;
            std::vector<host::Model_shape*> chain{joint};
            while (chain.back() != set.figure)
                chain.push_back(chain.back()->parent());
            for (auto it = chain.rbegin(); it != chain.rend(); ++it)
                path += (*it)->name + (it + 1 == chain.rend() ? "" : "\xFF");
            joints_.emplace(path, joint);
        }
    }

    std::size_t read(std::string const& path)
    {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            throw std::runtime_error("cannot open " + path);
        std::setvbuf(file, nullptr, _IONBF, 0);
        data_.clear();
        std::vector<char> piece(1 << 20);
        bool binary = false;
        std::size_t found = 0;
        std::string carry;
        for (bool first = true;; first = false) {
            std::size_t const got = std::fread(piece.data(), 1, piece.size(), file);
            if (got == 0)
                break;
            carry.append(piece.data(), got);
            if (first)
                binary = carry.size() >= 4 && std::memcmp(carry.data(), "\x10\x00\x02\x50", 4) == 0;
            // Parse what is complete; keep the tail for the next piece.
            std::size_t const used = binary ? parse_binary(carry, found) : parse_text(carry, found);
            carry.erase(0, used);
        }
        std::fclose(file);
        return found;
    }

private:
    // Text: every complete line; point lines' bindings are resolved.
    std::size_t parse_text(std::string& s, std::size_t& found)
    {
        std::size_t at = 0;
        for (;;) {
            std::size_t const end = s.find('\n', at);
            if (end == std::string::npos)
                return at;
            std::string_view line(s.data() + at, end - at);
            at = end + 1;
            if (line.empty() || line[0] < '0' || line[0] > '9')
                continue;  // header, trailer, record and closing lines
            std::size_t p = line.find(':');
            p = line.find(':', p + 1) + 1;
            while (p < line.size()) {
                float weight = 0;
                auto r = std::from_chars(line.data() + p, line.data() + line.size(), weight);
                char const separator = *r.ptr;
                std::size_t const start = static_cast<std::size_t>(r.ptr - line.data()) + 1;
                key_.clear();
                std::size_t stop = start;
                while (!(line[stop] == separator && line[stop + 1] == ':')) {
                    key_ += line[stop] == separator ? '\xFF' : line[stop];
                    ++stop;
                }
                found += joints_.count(key_) != 0 && weight >= 0;
                p = stop + 2;
            }
        }
    }
    // Binary: records, points and names, from the start of the file each
    // time more has arrived (the floor keeps it simple: a piece at a time,
    // parsed once, by resuming at the last complete point).
    std::size_t parse_binary(std::string& s, std::size_t& found)
    {
        std::size_t at = s.size() >= 4 && std::memcmp(s.data(), "\x10\x00\x02\x50", 4) == 0 && !started_ ? 4 : 0;
        started_ = true;
        auto i32 = [&](std::size_t p) {
            uint32_t u;
            std::memcpy(&u, s.data() + p, 4);
            return static_cast<int32_t>(u);
        };
        for (;;) {
            if (points_left_ > 0) {
                if (at + 8 > s.size())
                    return at;
                std::size_t p = at + 8;
                int32_t const bindings = i32(at + 4);
                bool complete = true;
                std::size_t resolved = 0;
                for (int32_t b = 0; b < bindings; ++b) {
                    if (p + 4 > s.size()) {
                        complete = false;
                        break;
                    }
                    std::size_t const end = s.find('\0', p + 4);
                    if (end == std::string::npos) {
                        complete = false;
                        break;
                    }
                    key_.assign(s.data() + p + 4, end - p - 4);
                    resolved += joints_.count(key_);
                    p = end + 1;
                }
                if (!complete)
                    return at;  // read again whole with the next piece
                found += resolved;
                at = p;
                --points_left_;
                continue;
            }
            if (at >= s.size())
                return at;
            if (depth_ > 0 && static_cast<unsigned char>(s[at]) == 0xFF) {
                ++at;  // a record's end marker
                --depth_;
                continue;
            }
            if (at + 4 > s.size())
                return at;
            if (depth_ == 0 && i32(at) == -1)
                return s.size();  // the trailer
            std::size_t const end = s.find('\0', at + 4);
            if (end == std::string::npos || end + 5 > s.size())
                return at;
            points_left_ = i32(end + 1);
            ++depth_;
            at = end + 5;
        }
    }

    std::unordered_map<std::string, host::Model_shape*> joints_;
    std::string data_;
    std::string key_;
    int32_t points_left_ = 0;
    int depth_ = 0;
    bool started_ = false;
};

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long file_size(std::string const& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    std::fseek(f, 0, SEEK_END);
    long const size = std::ftell(f);
    std::fclose(f);
    return size;
}

bool same_bytes(std::string const& a, std::string const& b)
{
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    for (;;) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || std::memcmp(p.data(), q.data(), static_cast<std::size_t>(x.gcount())) != 0)
            return false;
        if (x.gcount() == 0)
            return true;
    }
}

// Peak resident memory since the last reset, in MB (Linux); -1 elsewhere.
void reset_peak()
{
    std::ofstream clear("/proc/self/clear_refs");
    if (clear)
        clear << "5";
}
double peak_mb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(std::string const& what, double seconds, double floor, double peak)
{
    std::printf("%-28s %8.3f s   floor %7.3f s   ratio %5.2fx", what.c_str(), seconds, floor, seconds / floor);
    if (peak >= 0)
        std::printf("   peak %7.0f MB", peak);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    options.plugin = host::default_plugin_path(argv[0]);
    for (int i = 1; i < argc; ++i) {
        std::string const arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        try {
            if (arg == "--plugin")
                options.plugin = value();
            else if (arg == "--vertices")
                options.vertices = std::stoi(value());
            else if (arg == "--joints")
                options.joints = std::stoi(value());
            else if (arg == "--flat")
                options.flat = true;
            else if (arg == "--runs")
                options.runs = std::stoi(value());
            else if (arg == "--folder")
                options.folder = value();
            else if (arg == "--scene")
                options.scene_file = value();
            else if (arg == "--keep") {
                options.folder = value();
                options.keep = true;
            } else
                throw std::runtime_error("unknown option " + arg);
        } catch (std::exception const& e) {
            std::fprintf(stderr, "skin_benchmark: %s\n", e.what());
            return 2;
        }
    }
    if (options.vertices < 1 || options.joints < 1 || options.runs < 1) {
        std::fprintf(stderr, "skin_benchmark: --vertices, --joints and --runs take positive numbers\n");
        return 2;
    }
    try {
        host::Plugin plugin(options.plugin);
        auto resources = plugin.resources();
        host::Host_services services(resources, host::language_english);
        if (!options.scene_file.empty()) {
            Scene_set source(services);
            build(source, options, true);
            source.scene.active = {source.figure};
            host::write_scene_file(source.scene, options.scene_file);
            std::printf("%s: %d vertices x 4 bindings, %d joints\n", options.scene_file.c_str(), options.vertices,
                        options.joints);
            return 0;
        }
        std::printf("%d vertices x 4 bindings, %d joints %s; medians of %d runs\n", options.vertices,
                    options.joints, options.flat ? "as siblings" : "in chains 8 deep", options.runs);
        for (int form : {0, 1}) {
            char const* name = form ? "binary" : "text";
            std::string const path = options.folder + "/tavrik_benchmark." + name + ".vsk";
            std::string const floor_path = options.folder + "/tavrik_benchmark_floor." + name + ".vsk";
            std::vector<double> save, save_floor, load[2], load_floor;
            double save_peak = -1, load_peak[2] = {-1, -1};
            Scene_set source(services);
            build(source, options, true);
            for (int run = 0; run < options.runs; ++run) {
                std::remove(path.c_str());
                services.dialog_answers.push_back(host::Dialog_answer{true, {{11, form}}});
                reset_peak();
                auto start = std::chrono::steady_clock::now();
                host::run_save(plugin, services, source.scene, path);
                save.push_back(seconds_since(start));
                save_peak = std::max(save_peak, peak_mb());
                start = std::chrono::steady_clock::now();
                Floor_writer(form == 1, floor_path).write(*source.figure);
                save_floor.push_back(seconds_since(start));
                if (file_size(path) <= 0 || !same_bytes(path, floor_path)) {
                    std::fprintf(stderr, "skin_benchmark: the %s save did not write the file the format gives\n", name);
                    return 1;
                }
            }
            std::size_t const expected = static_cast<std::size_t>(options.vertices) * 4;
            for (int run = 0; run < options.runs; ++run) {
                for (int hold : {0, 1}) {
                    Scene_set target(services);
                    build(target, options, false);
                    services.dialog_answers.push_back(host::Dialog_answer{true, {{11, hold}}});
                    reset_peak();
                    auto start = std::chrono::steady_clock::now();
                    host::run_load(plugin, services, target.scene, path);
                    load[hold].push_back(seconds_since(start));
                    load_peak[hold] = std::max(load_peak[hold], peak_mb());
                    std::size_t bound = 0;
                    for (auto const& v : target.mesh->vertices)
                        bound += v.skin.bindings().size();
                    if (bound != expected) {
                        std::fprintf(stderr, "skin_benchmark: the load bound %zu of %zu bindings\n", bound, expected);
                        return 1;
                    }
                }
                Floor_reader reader(source);
                auto start = std::chrono::steady_clock::now();
                std::size_t const found = reader.read(path);
                load_floor.push_back(seconds_since(start));
                if (found != expected) {
                    std::fprintf(stderr, "skin_benchmark: the floor reader found %zu of %zu bindings\n", found, expected);
                    return 1;
                }
            }
            double const megabytes = static_cast<double>(file_size(path)) / 1e6;
            std::printf("%s file: %.0f MB\n", name, megabytes);
            report(std::string("save, ") + name, median(save), median(save_floor), save_peak);
            report(std::string("load, ") + name, median(load[0]), median(load_floor), load_peak[0]);
            report(std::string("load, ") + name + ", hold", median(load[1]), median(load_floor), load_peak[1]);
            if (!options.keep)
                std::remove(path.c_str());
            std::remove(floor_path.c_str());
        }
    } catch (std::exception const& e) {
        std::fprintf(stderr, "skin_benchmark: %s\n", e.what());
        return 1;
    }
    return 0;
}
