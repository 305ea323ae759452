// The files room (host/files): the binary and text streams the plug-in
// reads and writes skin files through, over a window of the file (the read
// source). It uses only the faults room.
//
// The host's file streams: a binary stream of little-endian 32-bit values
// and single bytes, and a text stream of lines.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "faults.h"
#include "host_owned.h"
#include "read_source.h"
#include "sceneinterface.h"
#include "vantelinterface.h"

namespace host {

template <>
inline constexpr char const* release_note<stream_interface> = "stream.Release";
template <>
inline constexpr char const* release_note<text_stream_interface> = "text_stream.Release";

// Why a writer failed: the system's reason for the first failure.
struct Write_failure {
    bool failed = false;
    std::string reason;
    void fail(std::string why)
    {
        if (!failed)
            reason = std::move(why);
        failed = true;
    }
    explicit operator bool() const { return failed; }
};

// Reading goes through a Read_source: a window over the file (shared with
// the text view of the same file) or bytes in memory. Reads past the end give
// zero bytes and is_end stays true. Writing creates the file at the first
// write and hands it over a buffer at a time, one system call each; a write
// that the system refuses fails at the write that hands the buffer over, or
// at the flush that the export object makes before the export ends.
class Binary_stream final : public Host_owned<stream_interface> {
public:
    static std::unique_ptr<Binary_stream> reader(std::string const& path);
    static std::unique_ptr<Binary_stream> reader(std::shared_ptr<Read_source> source);
    static std::unique_ptr<Binary_stream> writer(std::string const& path);
    // In memory: over bytes to read, or collecting what is written.
    static std::unique_ptr<Binary_stream> over(std::vector<char> const& bytes);
    static std::unique_ptr<Binary_stream> collector();
    Binary_stream(Binary_stream const&) = delete;
    Binary_stream& operator=(Binary_stream const&) = delete;
    ~Binary_stream() TAVRIK_DESTRUCTOR_OVERRIDE;

    char read_char(void* = nullptr) override;
    int32_t read_int(void* = nullptr) override;
    float read_float(void* = nullptr) override;
    bool is_end(void* = nullptr) override;
    void seek(long position, void* = nullptr) override;
    long tell(void* = nullptr) override;
    void write_text(char const* text, void* = nullptr) override;
    void write_char(char c, void* = nullptr) override;
    void write_int(int32_t value, void* = nullptr) override;
    void write_float(float value, void* = nullptr) override;
    void write_integer(int32_t value, void* = nullptr) override;

    // Hands what is buffered to the system; throws when it refuses.
    void flush();
    // Flushes a writer; throws when the file cannot be written.
    void close();
    bool written() const { return file_ != nullptr; }
    // A write or flush of this stream has failed, and why.
    bool failed() const { return failed_.failed; }
    std::string const& failure() const { return failed_.reason; }
    std::vector<char> const& bytes() const { return data_; }

private:
    Binary_stream() = default;
    char read_char_slow();
    void read_bytes(void* out, std::size_t n);
    void load_window();
    void write_bytes(void const* in, std::size_t n);
    void write_word(uint32_t u);  // little-endian

    std::string path_;
    bool writing_ = false;
    std::FILE* file_ = nullptr;
    std::vector<char> pending_;   // written, not yet handed to the system
    std::vector<char> data_;      // what a collector holds
    Write_failure failed_;
    // Reading: the position, and the window's bytes from it on (emptied by
    // the source when another view moves the window).
    std::shared_ptr<Read_source> source_;
    std::uint64_t position_ = 0;
    std::uint64_t window_start_ = 0;
    char const* window_ = nullptr;
    Read_source::Cursor cursor_;
};

// Floats are written in the shortest form that reads back exactly through a
// double, with only the characters 0-9 . + - e E; a float that has none fails
// to write.
class Text_stream final : public Host_owned<text_stream_interface> {
public:
    static std::unique_ptr<Text_stream> reader(std::string const& path);
    static std::unique_ptr<Text_stream> reader(std::shared_ptr<Read_source> source);
    static std::unique_ptr<Text_stream> writer(std::string const& path);
    static std::unique_ptr<Text_stream> over(std::string text);
    static std::unique_ptr<Text_stream> collector();
    Text_stream(Text_stream const&) = delete;
    Text_stream& operator=(Text_stream const&) = delete;
    ~Text_stream() TAVRIK_DESTRUCTOR_OVERRIDE;

    void read_line(char const** text, void* = nullptr) override;
    bool is_end(void* = nullptr) override;
    void rewind(void* = nullptr) override;
    void write_line(char const* text, void* = nullptr) override;
    void write_text(char const* text, void* = nullptr) override;
    void write_int(int32_t value, void* = nullptr) override;
    void write_float(float value, void* = nullptr) override;
    void write_char(char c, void* = nullptr) override;
    void end_line(void* = nullptr) override;

    void flush();
    void close();
    bool written() const { return file_ != nullptr; }
    bool failed() const { return failed_.failed; }
    std::string const& failure() const { return failed_.reason; }
    std::string const& text() const { return data_; }

private:
    Text_stream() = default;
    void write_raw(char const* text, std::size_t n);

    std::string path_;
    bool writing_ = false;
    std::FILE* file_ = nullptr;
    std::vector<char> pending_;
    std::string data_;
    Write_failure failed_;
    std::shared_ptr<Read_source> source_;
    std::uint64_t position_ = 0;
    std::string line_;
};

// The shortest text of a float that reads back to the same float.
std::string shortest_float_text(float value);
// The text a text stream writes for a float: the shortest one, unless that
// one reads back through a double as another float.
std::string float_text(float value);

std::vector<char> read_file(std::string const& path);

}  // namespace host
