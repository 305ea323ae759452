// Times tavrik-host's commands end to end on the benchmark scene, each in a
// process of its own, against a floor measured in the same run: RapidJSON
// reading the same scene file in place and writing it back compact, which is
// the least any command that reads and writes a scene file has to do.
//   scene_benchmark [--vertices N]... [--runs K] [--folder DIR] [--keep]
// The scene comes from skin_benchmark --scene, beside this program. Each line
// prints the median of K interleaved runs, its ratio to the floor, the
// process's peak memory and its ratio to the floor's; a last table gives the
// time per million vertices of each size, to show growth is linear. Then
// remap, diff and stats of the text skin file, against the plug-in's own load
// of that file as skin_benchmark measures it in the same run. Linux.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/filewritestream.h>
#include <rapidjson/writer.h>

namespace {

// The floor: the file read whole, parsed in place, written back compact
// through a 64 KiB buffer.
int floor_child(std::string const& in, std::string const& out)
{
    FILE* f = std::fopen(in.c_str(), "rb");
    if (!f)
        return 2;
    std::fseek(f, 0, SEEK_END);
    long const size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::vector<char> text(static_cast<std::size_t>(size) + 1);
    if (std::fread(text.data(), 1, static_cast<std::size_t>(size), f) != static_cast<std::size_t>(size))
        return 2;
    std::fclose(f);
    text[static_cast<std::size_t>(size)] = 0;
    rapidjson::Document document;
    document.ParseInsitu(text.data());
    if (document.HasParseError()) {
        std::fprintf(stderr, "floor: %s\n", rapidjson::GetParseError_En(document.GetParseError()));
        return 2;
    }
    FILE* o = std::fopen(out.c_str(), "wb");
    if (!o)
        return 2;
    std::vector<char> buffer(1 << 16);
    rapidjson::FileWriteStream stream(o, buffer.data(), buffer.size());
    rapidjson::Writer<rapidjson::FileWriteStream> writer(stream);
    document.Accept(writer);
    stream.Flush();
    return std::ferror(o) || std::fclose(o) != 0 ? 2 : 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long file_mb(std::string const& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    std::fseek(f, 0, SEEK_END);
    long const size = std::ftell(f);
    std::fclose(f);
    return size / 1000000;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    int runs = 3;
    std::string folder = "/tmp";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string const arg = argv[i];
        bool const has_value = i + 1 < argc;
        if (arg == "--vertices" && has_value)
            sizes.push_back(std::atoi(argv[++i]));
        else if (arg == "--runs" && has_value)
            runs = std::atoi(argv[++i]);
        else if (arg == "--folder" && has_value)
            folder = argv[++i];
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "scene_benchmark: unknown option or missing value: %s\n", arg.c_str());
            return 2;
        }
    }
    if (sizes.empty())
        sizes = {300000, 1000000};
    if (runs < 1 || std::any_of(sizes.begin(), sizes.end(), [](int n) { return n < 1; })) {
        std::fprintf(stderr, "scene_benchmark: --vertices and --runs take positive numbers\n");
        return 2;
    }
    try {
        std::string const bin = folder_of_program();
        std::string const tool = bin + "/tavrik-host";
        std::vector<std::string> const commands = {"show", "save", "load", "clear", "joint-clear", "reset"};
        std::map<std::string, std::vector<double>> per_million;  // command -> seconds per 1M vertices, by size
        for (int n : sizes) {
            std::string const stem = folder + "/tavrik_scene_benchmark_" + std::to_string(n);
            std::string const scene = stem + ".json", skins = stem + ".vsk", out = stem + ".out.json", floor_out = stem + ".floor.json";
            run({bin + "/skin_benchmark", "--vertices", std::to_string(n), "--scene", scene});
            run({tool, "--quiet", "save", scene, skins});
            auto words = [&](std::string const& command) -> std::vector<std::string> {
                if (command == "show")
                    return {tool, "show", scene};
                if (command == "save")
                    return {tool, "--quiet", "save", scene, out};
                if (command == "load")  // into the bound scene: the floor's input, a whole skin file bound anew
                    return {tool, "--quiet", "load", scene, skins, out};
                return {tool, "--quiet", command, scene, out};
            };
            std::vector<double> floor_time, floor_peak;
            std::map<std::string, std::vector<double>> time, peak;
            for (int r = 0; r < runs; ++r) {
                Measure const f = in_child([&] { return floor_child(scene, floor_out); });
                floor_time.push_back(f.seconds);
                floor_peak.push_back(f.peak_mb);
                for (auto const& c : commands) {
                    Measure const m = run(words(c));
                    time[c].push_back(m.seconds);
                    peak[c].push_back(m.peak_mb);
                }
            }
            double const ft = median(floor_time), fp = *std::max_element(floor_peak.begin(), floor_peak.end());
            std::printf("%d vertices x 4 bindings: scene file %ld MB, skin file %ld MB; medians of %d runs\n", n,
                        file_mb(scene), file_mb(skins), runs);
            std::printf("  %-12s %8.2f s %26s peak %6.0f MB\n", "floor", ft, "", fp);
            for (auto const& c : commands) {
                double const t = median(time[c]), p = *std::max_element(peak[c].begin(), peak[c].end());
                std::printf("  %-12s %8.2f s   ratio %5.2fx  %8s peak %6.0f MB   ratio %5.2fx\n", c.c_str(), t, t / ft, "",
                            p, p / fp);
                per_million[c].push_back(t * 1e6 / n);
            }
            per_million["floor"].push_back(ft * 1e6 / n);

            // The tools on skin files, against the plug-in's load of the same file.
            std::string const report = stem + ".skin_benchmark.txt", map = stem + ".map", text = folder + "/tavrik_benchmark.text.vsk";
            run({bin + "/skin_benchmark", "--vertices", std::to_string(n), "--runs", std::to_string(runs), "--keep", folder}, report);
            double plugin_load = 0, skin_floor = 0;
            if (FILE* f = std::fopen(report.c_str(), "r")) {
                char line[512];
                while (std::fgets(line, sizeof line, f))
                    if (std::sscanf(line, "load, text %lf s floor %lf s", &plugin_load, &skin_floor) == 2)
                        break;
                std::fclose(f);
            }
            // A load reads a skin file besides the scene, which the scene's
            // floor does not: its floor with the skin file's floor read added.
            if (skin_floor > 0)
                std::printf("  %-12s %8.2f s   ratio %5.2fx to the floor and the skin file's floor read (%.2f s)\n", "load",
                            median(time["load"]), median(time["load"]) / (ft + skin_floor), skin_floor);
            if (FILE* f = std::fopen(map.c_str(), "w")) {
                std::fputs("strip-prefix joint_\nadd-prefix j\n", f);
                std::fclose(f);
            }
            std::string const renamed = stem + ".renamed.vsk";
            std::map<std::string, std::vector<double>> tool_time, tool_peak;
            std::vector<std::pair<std::string, std::vector<std::string>>> const tools = {
                {"remap", {tool, "remap", text, renamed, "--map", map}},
                {"diff", {tool, "diff", text, text}},
                {"stats", {tool, "stats", text}}};
            for (int r = 0; r < runs; ++r)
                for (auto const& [name, command] : tools) {
                    Measure const m = run(command);
                    tool_time[name].push_back(m.seconds);
                    tool_peak[name].push_back(m.peak_mb);
                }
            std::printf("  text skin file %ld MB, the plug-in's load of it %.2f s (skin_benchmark):\n", file_mb(text), plugin_load);
            for (auto const& [name, command] : tools) {
                double const t = median(tool_time[name]);
                std::printf("  %-12s %8.2f s   ratio %5.2fx to that load   peak %6.0f MB\n", name.c_str(), t,
                            plugin_load > 0 ? t / plugin_load : 0.0,
                            *std::max_element(tool_peak[name].begin(), tool_peak[name].end()));
            }
            for (auto const& path : {report, map, renamed, text, folder + "/tavrik_benchmark.binary.vsk"})
                std::remove(path.c_str());
            if (!keep)
                for (auto const& path : {scene, skins, out, floor_out})
                    std::remove(path.c_str());
        }
        if (sizes.size() > 1) {
            std::printf("seconds per 1,000,000 vertices at");
            for (int n : sizes)
                std::printf(" %d", n);
            std::printf(":\n");
            for (auto const& [c, values] : per_million) {
                std::printf("  %-12s", c.c_str());
                for (double v : values)
                    std::printf(" %8.2f", v);
                std::printf("\n");
            }
        }
    } catch (std::exception const& e) {
        std::fprintf(stderr, "scene_benchmark: %s\n", e.what());
        return 1;
    }
    return 0;
}
