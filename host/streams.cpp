#include "streams.h"

#include <charconv>
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

std::FILE* open_for_writing(std::string const& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw host_error("cannot create " + path);
    std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
    return file;
}

void close_file(std::FILE*& file, std::string const& path, bool& failed)
{
    if (!file)
        return;
    bool const ok = std::fflush(file) == 0;
    bool const closed = std::fclose(file) == 0;
    file = nullptr;
    if (!ok || !closed) {
        failed = true;
        throw host_error("cannot write " + path);
    }
}

void flush_file(std::FILE* file, std::string const& path, bool& failed)
{
    if (file && std::fflush(file) != 0) {
        failed = true;
        throw host_error("cannot write " + path);
    }
}

std::FILE* open_or_fail(std::string const& path, bool& failed)
{
    try {
        return open_for_writing(path);
    } catch (...) {
        failed = true;
        throw;
    }
}

}  // namespace

std::string shortest_float_text(float value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Binary stream.

std::unique_ptr<Binary_stream> Binary_stream::reader(std::string const& path)
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->path_ = path;
    s->data_ = read_file(path);
    return s;
}

std::unique_ptr<Binary_stream> Binary_stream::writer(std::string const& path)
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->path_ = path;
    s->writing_ = true;
    return s;
}

std::unique_ptr<Binary_stream> Binary_stream::over(std::vector<char> bytes)
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->data_ = std::move(bytes);
    return s;
}

std::unique_ptr<Binary_stream> Binary_stream::collector()
{
    std::unique_ptr<Binary_stream> s(new Binary_stream);
    s->writing_ = true;
    return s;
}

Binary_stream::~Binary_stream()
{
    try {
        close();
    } catch (...) {
    }
}

void Binary_stream::flush() { flush_file(file_, path_, failed_); }

void Binary_stream::close() { close_file(file_, path_, failed_); }

void Binary_stream::read_bytes(void* out, std::size_t n)
{
    if (writing_)
        throw host_error("stream is not open for reading");
    std::size_t const available = position_ < data_.size() ? data_.size() - position_ : 0;
    std::size_t const taken = n < available ? n : available;
    if (taken > 0)
        std::memcpy(out, data_.data() + position_, taken);
    std::memset(static_cast<char*>(out) + taken, 0, n - taken);
    position_ += taken;
}

char Binary_stream::read_char(void*)
{
    check("stream.read_char");
    if (!writing_ && position_ < data_.size())
        return data_[position_++];
    char c;
    read_bytes(&c, 1);
    return c;
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
    return position_ >= data_.size();
}

void Binary_stream::seek(long position, void*)
{
    check("stream.seek");
    if (position < 0)
        throw host_error("seek before the start of the stream");
    position_ = static_cast<std::size_t>(position);
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
    if (!file_ && !path_.empty())
        file_ = open_or_fail(path_, failed_);
    if (file_ && std::fwrite(in, 1, n, file_) != n) {
        failed_ = true;
        throw host_error("cannot write " + path_);
    }
    if (path_.empty())
        data_.insert(data_.end(), static_cast<char const*>(in), static_cast<char const*>(in) + n);
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

std::unique_ptr<Text_stream> Text_stream::reader(std::string const& path)
{
    std::unique_ptr<Text_stream> s(new Text_stream);
    s->path_ = path;
    s->data_ = read_whole_file<std::string>(path);
    return s;
}

std::unique_ptr<Text_stream> Text_stream::writer(std::string const& path)
{
    std::unique_ptr<Text_stream> s(new Text_stream);
    s->path_ = path;
    s->writing_ = true;
    return s;
}

std::unique_ptr<Text_stream> Text_stream::over(std::string text)
{
    std::unique_ptr<Text_stream> s(new Text_stream);
    s->data_ = std::move(text);
    return s;
}

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

void Text_stream::flush() { flush_file(file_, path_, failed_); }

void Text_stream::close() { close_file(file_, path_, failed_); }

void Text_stream::read_line(char const** text, void*)
{
    check("text_stream.read_line");
    if (writing_)
        throw host_error("stream is not open for reading");
    std::size_t const end = data_.find('\n', position_);
    std::size_t const stop = end == std::string::npos ? data_.size() : end;
    std::size_t const start = position_ < data_.size() ? position_ : data_.size();
    line_.assign(data_, start, stop > start ? stop - start : 0);
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    position_ = end == std::string::npos ? data_.size() : end + 1;
    *text = line_.c_str();
}

bool Text_stream::is_end(void*)
{
    check("text_stream.is_end");
    return position_ >= data_.size();
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
    if (!file_ && !path_.empty())
        file_ = open_or_fail(path_, failed_);
    if (file_ && std::fwrite(text, 1, n, file_) != n) {
        failed_ = true;
        throw host_error("cannot write " + path_);
    }
    if (path_.empty())
        data_.append(text, n);
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
    line_ += shortest_float_text(value);
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
