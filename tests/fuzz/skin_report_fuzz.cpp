// Fuzz target: any bytes through the skin file reader of inspect and check.
// No input crashes it, and a file it refuses is refused with the byte or line
// where it breaks; nothing else may be thrown.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "skin_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    try {
        auto reader = tools::Skin_file_reader::over(std::string(reinterpret_cast<char const*>(data), size));
        tools::Skin_file_events events;
        reader->read(events);
        for (tools::File_joint const& joint : reader->joints())
            if (joint.components.empty())
                std::abort();
    } catch (tools::Broken_file const& e) {
        std::string const what = e.what();
        if (what.rfind("byte ", 0) != 0 && what.rfind("line ", 0) != 0)
            std::abort();
    }
    return 0;
}
