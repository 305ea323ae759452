// Times tavrik-host transfer end to end on a made-up pair of scenes: a
// target mesh of N vertices (a gently waved sheet, 60 joints, at most four
// influences a vertex) and a source of the same sheet sampled otherwise,
// jittered, with a hole in its middle, so that about a fifth of the target
// matches nothing and is inpainted. Prints the command's own report (its
// stages) and the process's time and peak memory.
//   transfer_benchmark [--vertices N] [--method M] [--folder DIR] [--keep]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

constexpr int joint_columns = 10, joint_rows = 6;

struct Sheet {
    double width = 0, height = 0;
};

double wave(double x, double y) { return 5 * std::sin(x / 40) * std::cos(y / 50); }

// A number in [0, 1) from two integers, the same on every run.
double jitter(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return (h & 0xFFFFFF) / double(0x1000000);
}

// The four joints around (x, y) on the joints' lattice, weighted bilinearly.
std::string skin_at(Sheet const& sheet, double x, double y)
{
    double const u = std::min(std::max(x / sheet.width * (joint_columns - 1), 0.0), joint_columns - 1.000001);
    double const v = std::min(std::max(y / sheet.height * (joint_rows - 1), 0.0), joint_rows - 1.000001);
    int const i = static_cast<int>(u), j = static_cast<int>(v);
    double const fu = u - i, fv = v - j;
    double const w[4] = {(1 - fu) * (1 - fv), fu * (1 - fv), (1 - fu) * fv, fu * fv};
    int const joint[4] = {j * joint_columns + i, j * joint_columns + i + 1, (j + 1) * joint_columns + i, (j + 1) * joint_columns + i + 1};
    std::string out = ",\"skin\":[";
    char text[96];
    bool first = true;
    for (int k = 0; k < 4; ++k) {
        if (w[k] <= 0)
            continue;
        std::snprintf(text, sizeof text, "%s{\"joint\":\"root/j%d\",\"weight\":%.9g}", first ? "" : ",", joint[k], w[k]);
        out += text;
        first = false;
    }
    return out + "]";
}

// A sheet of columns x rows vertices; with `hole`, the vertices inside the
// middle square and their triangles left out, and every vertex jittered.
void write_scene(std::string const& path, Sheet const& sheet, int columns, int rows, bool skinned, bool hole)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    std::fputs("{\"root\":{\"kind\":\"part\",\"name\":\"root\",\"children\":[", f);
    for (int j = 0; j < joint_rows * joint_columns; ++j)
        std::fprintf(f, "{\"kind\":\"rotator\",\"name\":\"j%d\",\"center\":[%g,%g,0],\"axis\":[0,0,1]},", j,
                     (j % joint_columns) * sheet.width / (joint_columns - 1), (j / joint_columns) * sheet.height / (joint_rows - 1));
    std::fputs("{\"kind\":\"polygon\",\"name\":\"body\",\"vertices\":[", f);
    double const dx = sheet.width / (columns - 1), dy = sheet.height / (rows - 1);
    double const side = 0.32 * std::min(sheet.width, sheet.height);
    auto inside = [&](double x, double y) {
        return hole && std::fabs(x - sheet.width / 2) < side && std::fabs(y - sheet.height / 2) < side;
    };
    std::vector<std::int64_t> index(static_cast<std::size_t>(columns) * rows, -1);
    std::int64_t count = 0;
    std::string line;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            double x = c * dx, y = r * dy;
            if (hole && c > 0 && c < columns - 1 && r > 0 && r < rows - 1)
                x += (jitter(c, r) - 0.5) * 0.4 * dx, y += (jitter(r, c) - 0.5) * 0.4 * dy;
            if (inside(x, y))
                continue;
            char text[128];
            std::snprintf(text, sizeof text, "%s{\"position\":[%.7g,%.7g,%.7g]", count ? "," : "", x, y, wave(x, y));
            line = text;
            if (skinned)
                line += skin_at(sheet, x, y);
            line += "}";
            std::fputs(line.c_str(), f);
            index[static_cast<std::size_t>(r) * columns + c] = count++;
        }
    std::fputs("],\"triangles\":[", f);
    bool first = true;
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c) {
            std::int64_t const a = index[static_cast<std::size_t>(r) * columns + c], b = index[static_cast<std::size_t>(r) * columns + c + 1],
                               d = index[static_cast<std::size_t>(r + 1) * columns + c], e = index[static_cast<std::size_t>(r + 1) * columns + c + 1];
            if (a < 0 || b < 0 || d < 0 || e < 0)
                continue;
            std::fprintf(f, "%s%lld,%lld,%lld,%lld,%lld,%lld", first ? "" : ",", (long long)a, (long long)b, (long long)e,
                         (long long)a, (long long)e, (long long)d);
            first = false;
        }
    std::fputs("]}]}}\n", f);
    if (std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv)
try {
    long vertices = 300000;
    std::string method = "inpaint", folder = "/tmp";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string const a = argv[i];
        if (a == "--vertices" && i + 1 < argc)
            vertices = std::stol(argv[++i]);
        else if (a == "--method" && i + 1 < argc)
            method = argv[++i];
        else if (a == "--folder" && i + 1 < argc)
            folder = argv[++i];
        else if (a == "--keep")
            keep = true;
        else
            throw std::runtime_error("usage: transfer_benchmark [--vertices N] [--method M] [--folder DIR] [--keep]");
    }
    Sheet const sheet{1200, 1000};
    int const columns = static_cast<int>(std::sqrt(vertices * 1.2)), rows = static_cast<int>(vertices / columns);
    std::string const source = folder + "/transfer_source.json", target = folder + "/transfer_target.json",
                      out = folder + "/transfer_out.json", report = folder + "/transfer_report.txt";
    write_scene(source, sheet, columns * 9 / 10, rows * 9 / 10, true, true);
    write_scene(target, sheet, columns, rows, false, false);
    std::printf("target: %d x %d = %d vertices, 60 joints; source: %d x %d, jittered, with a hole\n", columns, rows,
                columns * rows, columns * 9 / 10, rows * 9 / 10);
    Measure const m = run({folder_of_program() + "/tavrik-host", "transfer", source, target, out, "--method", method}, report);
    if (FILE* f = std::fopen(report.c_str(), "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, f))
            std::fputs(line, stdout);
        std::fclose(f);
    }
    std::printf("transfer end to end: %.2f s, peak %.0f MB\n", m.seconds, m.peak_mb);
    if (!keep)
        for (std::string const& p : {source, target, out, report})
            std::remove(p.c_str());
    return 0;
} catch (std::exception const& e) {
    std::cerr << "transfer_benchmark: " << e.what() << "\n";
    return 2;
}
