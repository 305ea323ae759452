// A skin file read whole into its record tree, for tools that look at a file
// without loading it: the format's own record-line, field, weight and
// joint-name readers, walked in the order the format gives. A broken file is
// reported with the byte offset (binary) or line (text) where it breaks.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tools {

struct File_binding {
    float weight = 0;
    std::vector<std::string> joint;  // the name's components, outermost first
};

struct File_record {
    int code = -1;         // the kind code (binary) or the word's code (text)
    std::string kind;      // the kind word as written, or the code's word
    std::string name;
    int count = 0;
    long where = 0;        // byte offset or line number of the record
    std::vector<std::vector<File_binding>> points;
    std::vector<File_record> children;
};

struct Skin_file {
    bool binary = false;
    std::vector<File_record> records;
};

class Broken_file : public std::runtime_error {
public:
    Broken_file(std::string const& where, std::string const& what) : std::runtime_error(where + ": " + what) {}
};

// Throws Broken_file, or std::runtime_error when the file cannot be read.
Skin_file read_skin_file(std::string const& path);

// A joint name as one text, its components joined by "/".
std::string joint_text(std::vector<std::string> const& components);

}  // namespace tools
