#include "streams.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "faults.h"

namespace host {

namespace {

template <class Bytes>
Bytes read_whole_file(std::string const& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw host_error("cannot open " + path);
    Bytes bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long const size = std::ftell(file);
        if (size > 0)
            bytes.resize(static_cast<std::size_t>(size));
        std::rewind(file);
    }
    std::size_t const got = bytes.empty() ? 0 : std::fread(&bytes[0], 1, bytes.size(), file);
    bool const failed = std::ferror(file) != 0 || got != bytes.size();
    std::fclose(file);
    if (failed)
        throw host_error("cannot read " + path);
    return bytes;
}

}  // namespace

std::vector<char> read_file(std::string const& path) { return read_whole_file<std::vector<char>>(path); }

namespace {

constexpr std::size_t write_buffer_size = 1 << 20;

std::FILE* open_for_writing(std::string const& path, Write_failure& failed)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        failed.fail(std::strerror(errno));
        throw host_error("cannot create " + path + ": " + failed.reason);
    }
    // The stream keeps its own buffer and hands it over whole: one system
    // call per buffer, and its failure reported at that call.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

void hand_over(std::FILE* file, std::vector<char>& pending, std::string const& path, Write_failure& failed)
{
    if (!file || pending.empty())
        return;
    std::size_t const n = pending.size();
    std::size_t const written = std::fwrite(pending.data(), 1, n, file);
    pending.clear();
    if (written != n) {
        failed.fail(std::strerror(errno));
        throw host_error("cannot write " + path + ": " + failed.reason);
    }
}

// Appends to a writer's buffer, creating the file at the first write.
void buffer_write(std::FILE*& file, std::vector<char>& pending, std::string const& path, Write_failure& failed,
                  char const* bytes, std::size_t n)
{
    if (!file) {
        file = open_for_writing(path, failed);
        pending.reserve(write_buffer_size);
    }
    pending.insert(pending.end(), bytes, bytes + n);
    if (pending.size() >= write_buffer_size)
        hand_over(file, pending, path, failed);
}

void close_file(std::FILE*& file, std::vector<char>& pending, std::string const& path, Write_failure& failed)
{
    if (!file)
        return;
    std::string reason;
    try {
        hand_over(file, pending, path, failed);
    } catch (std::exception const& e) {
        reason = e.what();
    }
    bool const closed = std::fclose(file) == 0;
    int const error = errno;
    file = nullptr;
    if (!reason.empty() || !closed) {
        if (reason.empty())
            failed.fail(std::strerror(error));
        throw host_error(!reason.empty() ? reason : "cannot write " + path + ": " + failed.reason);
    }
}

}  // namespace

std::string float_text(float value)
{
    // Readers take a weight through a double to a float. Rarely (once among
    // all floats, with its negative) the shortest text lies so near the middle
    // between two floats that its double is that middle, which rounds to the
    // neighbour: such a value gets the double's own digits, which read back
    // exactly.
    char buffer[64];
    auto const shortest = std::to_chars(buffer, buffer + sizeof buffer, value);
    double through = 0;
    std::from_chars(buffer, shortest.ptr, through);
    if (static_cast<float>(through) == value)
        return std::string(buffer, shortest.ptr);
    auto const exact = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
    return std::string(buffer, exact.ptr);
}

std::string shortest_float_text(float value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Binary stream.

std::unique_ptr<Binary_stream> Binary_stream::reader(std::shared_ptr<Read_source> source)
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->source_ = std::move(source);
    s->source_->attach(&s->cursor_);
    return s;
}

std::unique_ptr<Binary_stream> Binary_stream::reader(std::string const& path) { return reader(Read_source::file(path)); }

std::unique_ptr<Binary_stream> Binary_stream::writer(std::string const& path)
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->path_ = path;
    s->writing_ = true;
    return s;
}

std::unique_ptr<Binary_stream> Binary_stream::over(std::vector<char> const& bytes)
{
    return reader(Read_source::memory(std::string(bytes.begin(), bytes.end())));
}

std::unique_ptr<Binary_stream> Binary_stream::collector()
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->writing_ = true;
    return s;
}

Binary_stream::~Binary_stream()
{
    if (source_)
        source_->detach(&cursor_);
    try {
        close();
    } catch (...) {
    }
}

void Binary_stream::flush() { hand_over(file_, pending_, path_, failed_); }

void Binary_stream::close() { close_file(file_, pending_, path_, failed_); }

void Binary_stream::load_window()
{
    std::string_view const view = source_->at(position_);
    window_start_ = position_;
    window_ = cursor_.cur = view.data();
    cursor_.end = view.data() + view.size();
}

char Binary_stream::read_char_slow()
{
    if (writing_ || !source_)
        throw host_error("stream is not open for reading");
    load_window();
    if (cursor_.cur == cursor_.end)
        return 0;  // past the end: a zero byte
    ++position_;
    return *cursor_.cur++;
}

char Binary_stream::read_char(void*)
{
    check("stream.read_char");
    // Names are read a byte at a time: the common case is one compare.
    if (cursor_.cur != cursor_.end) {
        ++position_;
        return *cursor_.cur++;
    }
    return read_char_slow();
}

void Binary_stream::read_bytes(void* out, std::size_t n)
{
    if (writing_ || !source_)
        throw host_error("stream is not open for reading");
    char* to = static_cast<char*>(out);
    while (n > 0) {
        if (cursor_.cur == cursor_.end) {
            load_window();
            if (cursor_.cur == cursor_.end) {
                std::memset(to, 0, n);  // past the end: zero bytes
                return;
            }
        }
        std::size_t const taken = std::min(n, static_cast<std::size_t>(cursor_.end - cursor_.cur));
        std::memcpy(to, cursor_.cur, taken);
        cursor_.cur += taken;
        position_ += taken;
        to += taken;
        n -= taken;
    }
}

int32_t Binary_stream::read_int(void*)
{
    check("stream.read_int");
    unsigned char b[4];
    read_bytes(b, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
}

float Binary_stream::read_float(void*)
{
    check("stream.read_float");
    int32_t const bits = read_int();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool Binary_stream::is_end(void*)
{
    check("stream.is_end");
    if (writing_ || !source_)
        return true;
    return position_ >= source_->size();
}

void Binary_stream::seek(long position, void*)
{
    check("stream.seek");
    if (position < 0)
        throw host_error("seek before the start of the stream");
    auto const target = static_cast<std::uint64_t>(position);
    // A step back inside the window keeps it.
    if (cursor_.end && target >= window_start_ &&
        target <= window_start_ + static_cast<std::uint64_t>(cursor_.end - window_))
        cursor_.cur = window_ + (target - window_start_);
    else
        cursor_.cur = cursor_.end = nullptr;
    position_ = target;
}

long Binary_stream::tell(void*)
{
    check("stream.tell");
    return static_cast<long>(position_);
}

void Binary_stream::write_bytes(void const* in, std::size_t n)
{
    if (!writing_)
        throw host_error("stream is not open for writing");
    if (path_.empty())
        data_.insert(data_.end(), static_cast<char const*>(in), static_cast<char const*>(in) + n);
    else
        buffer_write(file_, pending_, path_, failed_, static_cast<char const*>(in), n);
}

void Binary_stream::write_word(uint32_t u)
{
    unsigned char const b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    write_bytes(b, 4);
}

void Binary_stream::write_text(char const* text, void*)
{
    check("stream.write_text");
    write_bytes(text, std::strlen(text));
}

void Binary_stream::write_char(char c, void*)
{
    check("stream.write_char");
    write_bytes(&c, 1);
}

void Binary_stream::write_int(int32_t value, void*)
{
    check("stream.write_int");
    write_word(static_cast<uint32_t>(value));
}

void Binary_stream::write_float(float value, void*)
{
    check("stream.write_float");
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    write_word(bits);
}

void Binary_stream::write_integer(int32_t value, void*)
{
    check("stream.write_integer");
    write_word(static_cast<uint32_t>(value));
}

// Text stream.

std::unique_ptr<Text_stream> Text_stream::reader(std::shared_ptr<Read_source> source)
{
    std::unique_ptr<Text_stream> s(new Text_stream);
    s->source_ = std::move(source);
    return s;
}

std::unique_ptr<Text_stream> Text_stream::reader(std::string const& path) { return reader(Read_source::file(path)); }

std::unique_ptr<Text_stream> Text_stream::writer(std::string const& path)
{
    std::unique_ptr<Text_stream> s(new Text_stream);
    s->path_ = path;
    s->writing_ = true;
    return s;
}

std::unique_ptr<Text_stream> Text_stream::over(std::string text) { return reader(Read_source::memory(std::move(text))); }

std::unique_ptr<Text_stream> Text_stream::collector()
{
    std::unique_ptr<Text_stream> s(new Text_stream);
    s->writing_ = true;
    return s;
}

Text_stream::~Text_stream()
{
    try {
        close();
    } catch (...) {
    }
}

void Text_stream::flush() { hand_over(file_, pending_, path_, failed_); }

void Text_stream::close() { close_file(file_, pending_, path_, failed_); }

void Text_stream::read_line(char const** text, void*)
{
    check("text_stream.read_line");
    if (writing_ || !source_)
        throw host_error("stream is not open for reading");
    line_.clear();
    // A line may run across the window's end: it is gathered piece by piece.
    for (;;) {
        std::string_view const view = source_->at(position_);
        if (view.empty())
            break;
        auto const* end = static_cast<char const*>(std::memchr(view.data(), '\n', view.size()));
        if (end) {
            std::size_t const length = static_cast<std::size_t>(end - view.data());
            line_.append(view.data(), length);
            position_ += length + 1;
            break;
        }
        line_.append(view.data(), view.size());
        position_ += view.size();
    }
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    *text = line_.c_str();
}

bool Text_stream::is_end(void*)
{
    check("text_stream.is_end");
    if (writing_ || !source_)
        return true;
    return position_ >= source_->size();
}

void Text_stream::rewind(void*)
{
    check("text_stream.rewind");
    position_ = 0;
}

void Text_stream::write_raw(char const* text, std::size_t n)
{
    if (!writing_)
        throw host_error("stream is not open for writing");
    if (path_.empty())
        data_.append(text, n);
    else
        buffer_write(file_, pending_, path_, failed_, text, n);
}

void Text_stream::write_line(char const* text, void*)
{
    check("text_stream.write_line");
    line_ += text;
    line_ += '\n';
    write_raw(line_.data(), line_.size());
    line_.clear();
}

void Text_stream::write_text(char const* text, void*)
{
    check("text_stream.write_text");
    line_ += text;
}

void Text_stream::write_int(int32_t value, void*)
{
    check("text_stream.write_int");
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    line_.append(buffer, result.ptr);
}

void Text_stream::write_float(float value, void*)
{
    check("text_stream.write_float");
    if (!std::isfinite(value))
        throw host_error("a float that is not finite has no text form");
    line_ += float_text(value);
}

void Text_stream::write_char(char c, void*)
{
    check("text_stream.write_char");
    line_ += c;
}

void Text_stream::end_line(void*)
{
    check("text_stream.end_line");
    line_ += '\n';
    write_raw(line_.data(), line_.size());
    line_.clear();
}

}  // namespace host
