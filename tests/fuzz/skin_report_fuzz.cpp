// Fuzz target: any bytes through the skin file reader of inspect and check,
// and through remap. No input crashes the reader, and a file it refuses is
// refused with the byte or line where it breaks; nothing else may be thrown.
// A file it reads, remapped with every name renamed, reads again with as many
// records and points and no more joints (names written with other separators
// become one), unless remap refuses a new name.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "name_map.h"
#include "skin_file_reader.h"
#include "skin_file_remap.h"

namespace {

struct Counts final : tools::Skin_file_events {
    void record(tools::File_record const&) override { ++records; }
    void point(std::vector<tools::File_binding> const& b) override { ++points, bindings += b.size(); }
    std::size_t records = 0, points = 0, bindings = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    std::string const bytes(reinterpret_cast<char const*>(data), size);
    Counts counts;
    std::size_t joints = 0;
    try {
        auto reader = tools::Skin_file_reader::over(bytes);
        reader->read(counts);
        for (tools::File_joint const& joint : reader->joints())
            if (joint.components.empty())
                std::abort();
        joints = reader->joints().size();
    } catch (tools::Broken_file const& e) {
        std::string const what = e.what();
        if (what.rfind("byte ", 0) != 0 && what.rfind("line ", 0) != 0)
            std::abort();
        return 0;
    }
    static std::string const in = "/tmp/skin_report_fuzz_in." + std::to_string(getpid());
    static std::string const out = "/tmp/skin_report_fuzz_out." + std::to_string(getpid());
    if (FILE* f = std::fopen(in.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    tools::Name_map map = tools::Name_map::parse("s/(.*)/$1_/", "fuzz.map");
    try {
        tools::remap_skin_file(in, out, map);
    } catch (tools::Remap_refused const&) {
        return 0;
    }
    Counts again;
    tools::Skin_file_reader reader(out);
    reader.read(again);  // a Broken_file here is a finding
    if (again.records != counts.records || again.points != counts.points || again.bindings != counts.bindings ||
        reader.joints().size() > joints)
        std::abort();
    return 0;
}
