// Files that tavrik-host writes, and files it reads from the command line.
//
// An output never destroys what stands at its path before the new content is
// whole: a regular file (or none) is written to a temporary file created
// exclusively beside the target (after following symbolic links), given the
// target's permission bits, and renamed over it in one step; a device, FIFO
// or socket is written directly; "-" is standard output, which receives the
// content only once it is whole. The temporary file is removed on every
// failure, and on SIGINT and SIGTERM.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tools {

// A failure that names the user's path and the system's reason.
class File_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Output_file {
public:
    explicit Output_file(std::string path);
    Output_file(Output_file const&) = delete;
    Output_file& operator=(Output_file const&) = delete;
    ~Output_file();

    // The path the writers open: the temporary file, or the target itself.
    std::string const& path() const { return write_path_; }
    std::string const& target() const { return target_; }
    // Runs a writer on path(); a failure it throws is said again in the
    // user's terms (the target, never the temporary name).
    void write(std::function<void(std::string const&)> const& writer);
    // Puts the content in place.
    void keep();

private:
    std::string target_;      // as the user gave it
    std::string write_path_;  // what the writers open
    std::string final_path_;  // where the rename lands (links followed)
    bool temporary_ = false;
    bool to_stdout_ = false;
    bool kept_ = false;
    int mode_ = -1;           // the permission bits to give the new file
};

// Refuses (File_error, exit 2) an output that is one of the inputs: the
// same path, or the same file through another name or a link.
void refuse_same_file(std::vector<std::string> const& inputs, std::string const& output);

// An input file named on the command line: "-" is standard input, taken
// into a temporary file first (readers seek); another path must be a
// regular file, since a pipe or device cannot be read twice.
class Input_file {
public:
    explicit Input_file(std::string path);
    Input_file(Input_file const&) = delete;
    Input_file& operator=(Input_file const&) = delete;
    ~Input_file();
    std::string const& path() const { return path_; }
    // How the user named it, for messages.
    std::string const& name() const { return name_; }

private:
    std::string name_;
    std::string path_;
    bool temporary_ = false;
};

// A file of the tool's own in the temporary directory (a skin file with its
// names mapped, for one), removed when it goes, and on SIGINT and SIGTERM.
class Temporary_file {
public:
    explicit Temporary_file(std::string const& stem);
    Temporary_file(Temporary_file const&) = delete;
    Temporary_file& operator=(Temporary_file const&) = delete;
    ~Temporary_file();
    std::string const& path() const { return path_; }

private:
    std::string path_;
};

// The system's reason for the last failure, as "No space left on device".
std::string system_reason(int error);

}  // namespace tools
