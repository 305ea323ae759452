// A skin file read as a stream of records and points, for tools that look at
// a file without loading it: the format's own record-line, field, weight and
// joint-name readers, walked in the order the format gives, without
// recursion and in memory that grows with the distinct joint names and the
// nesting depth, not with the file. A broken file is reported with the byte
// offset (binary) or line (text) where it breaks.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host {
class Read_source;
}

namespace tools {

struct File_binding {
    float weight = 0;
    std::size_t joint = 0;  // index into the reader's joint table
};

// A joint name as the file writes it, once per distinct name.
struct File_joint {
    std::vector<std::string> components;  // outermost first
    std::string text;                     // the components joined by "/"
};

struct File_record {
    int code = -1;     // the kind code (binary) or the word's code (text)
    std::string kind;  // the kind word as written, or the code's word
    std::string name;
    int count = 0;
    long where = 0;    // byte offset or line number of the record
    int depth = 0;     // 0 for a top-level record
};

class Broken_file : public std::runtime_error {
public:
    Broken_file(std::string const& where, std::string const& what) : std::runtime_error(where + ": " + what) {}
};

// Refuses (File_error naming the file as `name`) a file whose first bytes are
// neither the binary magic nor "<skinfile>", before anything reads it whole:
// the host reads a text file's first line in one piece, however long.
void refuse_non_skin_file(std::string const& path, std::string const& name);

// Where a name stands in the file's bytes: a record's name, or a joint name
// as written (text: with its separators and the closing ":"; binary: the
// components with their 0xFF bytes, without the closing 0x00).
struct Name_span {
    std::uint64_t offset = 0;
    std::string_view bytes;
    bool joint = false;
    std::size_t index = 0;  // the joint's index in the reader's table
};

// What a reader reports, in file order: each record, then its points, then
// the records nested in it, then its end. A name's span comes before the
// record or point it belongs to.
class Skin_file_events {
public:
    virtual ~Skin_file_events() = default;
    virtual void name(Name_span const&) {}
    virtual void record(File_record const&) {}
    virtual void point(std::vector<File_binding> const&) {}
    virtual void record_end(int /*depth*/) {}
};

class Skin_file_reader {
public:
    // Opens the file and tells its form from the header's bytes alone.
    // Throws Broken_file for a file that is not a skin file, or
    // std::runtime_error when it cannot be read.
    explicit Skin_file_reader(std::string const& path);
    // The same over bytes in memory.
    static std::unique_ptr<Skin_file_reader> over(std::string bytes);
    ~Skin_file_reader();

    bool binary() const { return binary_; }
    // Reads every record; throws Broken_file where the file breaks.
    void read(Skin_file_events& events);
    // Reads the next item only: a record's start, one of its points, a
    // record's end, or the trailer; false once the trailer has been read.
    // For tools that walk two files side by side.
    bool step(Skin_file_events& events);
    std::vector<File_joint> const& joints() const { return joints_; }

    // The longest line a text file may hold, and the longest binary name.
    static constexpr std::size_t max_line = 16u << 20;
    static constexpr std::size_t max_name = 1u << 16;

private:
    class Bytes;
    Skin_file_reader() = default;
    void open(char const* head, std::size_t got, std::shared_ptr<host::Read_source> source);
    bool step_binary(Skin_file_events& events);
    bool step_text(Skin_file_events& events);
    std::size_t intern(std::string const& raw, char separator);
    std::size_t intern_anew(std::string const& raw, char separator);

    std::shared_ptr<host::Read_source> source_;
    std::unique_ptr<Bytes> bytes_;
    bool binary_ = false;
    std::vector<File_joint> joints_;
    std::unordered_map<std::string, std::size_t> joint_index_;
    struct Seen {
        std::string const* name = nullptr;  // a key of joint_index_ (nodes stay where they are)
        std::size_t index = 0;
    };
    std::vector<Seen> seen_ = std::vector<Seen>(1024);

    // Where a step-by-step read stands.
    bool started_ = false, finished_ = false;
    int depth_ = -1;                      // binary: the innermost open record
    int points_left_ = 0;                 // points of the last record still to be read
    long line_number_ = 0;                // text
    std::uint64_t line_start_ = 0;
    std::string line_;
    bool pending_ = false;
    std::vector<std::string> open_names_;
    std::vector<File_binding> point_;     // scratch
    File_record record_;
    std::string name_;
};

// A joint name as one text, its components joined by "/".
std::string joint_text(std::vector<std::string> const& components);

}  // namespace tools
