// Fuzz target: any bytes as a skin file through every report tavrik-host
// gives with --json: inspect, stats, diff (against itself and against the
// example's skins) and check (loaded by the real plug-in into the example
// scene). Whatever the bytes, names that are not UTF-8 among them, each
// report is one JSON document on standard output: the report, or the error
// object of a command that could not be done.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "library.h"
#include "map_commands.h"
#include "report_commands.h"
#include "request.h"
#include "skin_diff.h"
#include "skin_stats.h"

namespace {

// The command's standard output, its standard error dropped.
template <class Command>
std::string printed(Command command)
{
    std::ostringstream out, errors;
    auto* const cout_buffer = std::cout.rdbuf(out.rdbuf());
    auto* const cerr_buffer = std::cerr.rdbuf(errors.rdbuf());
    try {
        command();
    } catch (...) {
        std::cout.rdbuf(cout_buffer);
        std::cerr.rdbuf(cerr_buffer);
        throw;
    }
    std::cout.rdbuf(cout_buffer);
    std::cerr.rdbuf(cerr_buffer);
    return out.str();
}

void expect_one_document(std::string const& text)
{
    // parse refuses bytes that are not UTF-8 and anything after the document.
    nlohmann::json const report = nlohmann::json::parse(text, nullptr, false);
    if (report.is_discarded() || !report.is_object() || !report.contains("version"))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    static host::Plugin const plugin(TAVRIK_PLUGIN_PATH);
    static std::string const file = "/tmp/json_reports_fuzz." + std::to_string(getpid()) + ".vsk";
    static std::string const scene = std::string(TAVRIK_SOURCE_DIR) + "/examples/character.json";
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    tools::Request request;
    request.json = true;
    request.quiet = true;
    expect_one_document(printed([&] { tools::inspect(file, file, true); }));
    request.files = {file};
    expect_one_document(printed([&] { tools::stats(request); }));
    for (std::string const& other : {file, scene}) {
        request.files = {file, other};
        expect_one_document(printed([&] { tools::diff(request, 1e-6); }));
    }
    request.files = {scene, file};
    expect_one_document(printed([&] {
        tools::Mapped_input const mapped(file, "");
        tools::check(plugin, request, mapped, "");
    }));
    return 0;
}
