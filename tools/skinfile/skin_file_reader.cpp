#include "skin_file_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "format.h"
#include "output_file.h"
#include "names.h"
#include "read_source.h"

namespace tools {

// The file's bytes through the source's window: a position, and the bytes
// the window holds from it on.
class Skin_file_reader::Bytes {
public:
    explicit Bytes(host::Read_source& source) : source_(source), size_(source.size()) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t size() const { return size_; }
    bool at_end() const { return position_ >= size_; }
    void seek(std::uint64_t position)
    {
        position_ = position;
        cur_ = end_ = nullptr;
    }
    // The next byte, or -1 at the end.
    int get()
    {
        if (cur_ == end_ && !refill())
            return -1;
        ++position_;
        return static_cast<unsigned char>(*cur_++);
    }
    int peek()
    {
        if (cur_ == end_ && !refill())
            return -1;
        return static_cast<unsigned char>(*cur_);
    }
    // Appends bytes up to (not including) the stop byte, which is consumed;
    // false at the end, or when more than limit bytes come first.
    bool until(char stop, std::string& out, std::size_t limit)
    {
        for (;;) {
            if (cur_ == end_ && !refill())
                return false;
            auto const* found = static_cast<char const*>(std::memchr(cur_, stop, static_cast<std::size_t>(end_ - cur_)));
            std::size_t const n = static_cast<std::size_t>((found ? found : end_) - cur_);
            if (out.size() + n > limit)
                return false;
            out.append(cur_, n);
            cur_ += n + (found ? 1 : 0);
            position_ += n + (found ? 1 : 0);
            if (found)
                return true;
        }
    }

private:
    bool refill()
    {
        std::string_view const view = source_.at(position_);
        cur_ = view.data();
        end_ = view.data() + view.size();
        return !view.empty();
    }

    host::Read_source& source_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    char const* cur_ = nullptr;
    char const* end_ = nullptr;
};

Skin_file_reader::Skin_file_reader(std::string const& path)
{
    // The form from the header's bytes alone, before any window is read.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    char head[16] = {};
    std::size_t const got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    open(head, got, host::Read_source::file(path));
}

std::unique_ptr<Skin_file_reader> Skin_file_reader::over(std::string bytes)
{
    std::unique_ptr<Skin_file_reader> reader(new Skin_file_reader);
    std::string const head = bytes.substr(0, 16);
    reader->open(head.data(), head.size(), host::Read_source::memory(std::move(bytes)));
    return reader;
}

void Skin_file_reader::open(char const* head, std::size_t got, std::shared_ptr<host::Read_source> source)
{
    static char const magic[] = {'\x10', '\x00', '\x02', '\x50'};
    std::size_t const header_length = std::strlen(skin_format::header_line);
    binary_ = got >= 4 && std::memcmp(head, magic, 4) == 0;
    bool const text = !binary_ && got >= header_length &&
                      std::memcmp(head, skin_format::header_line, header_length) == 0 &&
                      (got == header_length || head[header_length] == '\n' ||
                       (head[header_length] == '\r' && (got == header_length + 1 || head[header_length + 1] == '\n')));
    if (!binary_ && !text)
        throw Broken_file("byte 0", "not a skin file: neither the binary magic nor \"<skinfile>\"");
    source_ = std::move(source);
    bytes_ = std::make_unique<Bytes>(*source_);
}

Skin_file_reader::~Skin_file_reader() = default;

void refuse_non_skin_file(std::string const& path, std::string const& name)
{
    try {
        Skin_file_reader const head(path);
    } catch (Broken_file const& e) {
        throw File_error("cannot load " + name + ": " + e.what());
    }
}

void Skin_file_reader::read(Skin_file_events& events)
{
    while (step(events)) {
    }
}

bool Skin_file_reader::step(Skin_file_events& events)
{
    if (finished_)
        return false;
    bool const more = binary_ ? step_binary(events) : step_text(events);
    finished_ = !more;
    return more;
}

std::size_t Skin_file_reader::intern(std::string const& raw, char separator)
{
    // A file names its few joints millions of times: a table of names seen,
    // placed by a hash of their length and end bytes, finds most of them with
    // one comparison instead of hashing the whole name.
    std::uint64_t head = 0, tail = 0;
    std::memcpy(&head, raw.data(), std::min<std::size_t>(raw.size(), 8));
    if (raw.size() > 8)
        std::memcpy(&tail, raw.data() + raw.size() - 8, 8);
    std::size_t const place =
        static_cast<std::size_t>(((head ^ (tail * 0x9E3779B97F4A7C15ull) ^ raw.size()) * 0xD6E8FEB86659FD93ull) >> 54);
    Seen const& seen = seen_[place];
    if (seen.name && *seen.name == raw)
        return seen.index;
    std::size_t const index = intern_anew(raw, separator);
    seen_[place] = Seen{&joint_index_.find(raw)->first, index};
    return index;
}

std::size_t Skin_file_reader::intern_anew(std::string const& raw, char separator)
{
    auto const found = joint_index_.find(raw);
    if (found != joint_index_.end())
        return found->second;
    File_joint joint;
    // Binary names hold the components between 0xFF bytes; text names start
    // with their separator and end with it and ":".
    std::string_view rest = raw;
    if (separator != skin_format::component_end)
        rest = rest.substr(1, rest.size() - 3);
    for (std::size_t end; (end = rest.find(separator)) != std::string_view::npos; rest.remove_prefix(end + 1))
        joint.components.emplace_back(rest.substr(0, end));
    joint.components.emplace_back(rest);
    joint.text = joint_text(joint.components);
    joints_.push_back(std::move(joint));
    joint_index_.emplace(raw, joints_.size() - 1);
    return joints_.size() - 1;
}

namespace {

[[noreturn]] void broken_at_byte(std::uint64_t at, std::string const& what)
{
    throw Broken_file("byte " + std::to_string(at), what);
}

std::string shown(std::string_view text)
{
    constexpr std::size_t most = 60;
    return "\"" + std::string(text.substr(0, most)) + (text.size() > most ? "...\"" : "\"");
}

// The number grammar of a text weight: sign, digits with at most one point
// (at least one digit), then an optional exponent with digits.
bool is_number(std::string_view text)
{
    std::size_t i = 0, digits = 0;
    auto digit_run = [&]() {
        std::size_t const start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    digits += digit_run();
    if (i < text.size() && text[i] == '.') {
        ++i;
        digits += digit_run();
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digit_run() == 0)
            return false;
    }
    return i == text.size();
}

}  // namespace

bool Skin_file_reader::step_binary(Skin_file_events& events)
{
    Bytes& in = *bytes_;
    int& depth = depth_;  // the depth of the innermost open record
    auto need = [&](std::uint64_t n, char const* what) {
        if (in.position() + n > in.size())
            broken_at_byte(in.position(), std::string("the file ends where ") + what + " should stand");
    };
    auto read_int = [&]() {
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i)
            u |= static_cast<std::uint32_t>(in.get()) << (8 * i);
        return static_cast<std::int32_t>(u);
    };
    std::string& name = name_;
    auto read_name = [&](char const* what) {
        name.clear();
        std::uint64_t const at = in.position();
        if (!in.until(skin_format::name_end, name, max_name)) {
            if (!in.at_end())
                broken_at_byte(at, std::string(what) + " longer than " + std::to_string(max_name) + " bytes");
            broken_at_byte(in.size(), std::string("the file ends where ") + what + " should end");
        }
    };

    std::vector<File_binding>& point = point_;
    File_record& record = record_;
    auto read_record = [&](std::uint64_t at, std::int32_t code, int depth) {
        record.where = static_cast<long>(at);
        record.code = code;
        record.depth = depth;
        char const* word = get_string(code);
        record.kind = word ? word : code == other_kind_code ? "(other kind)" : "(code " + std::to_string(code) + ")";
        std::uint64_t const name_at = in.position();
        read_name("a record's name");
        record.name = name;
        events.name(Name_span{name_at, name, false, 0});
        need(4, "a point count");
        record.count = read_int();
        if (record.count < 0)
            broken_at_byte(in.position() - 4, "a negative point count");
        events.record(record);
        points_left_ = record.count;
    };
    auto read_point = [&]() {
        need(8, "a point record");
        read_int();
        std::int32_t const bindings = read_int();
        if (bindings < 0)
            broken_at_byte(in.position() - 4, "a negative binding count");
        point.clear();
        for (std::int32_t b = 0; b < bindings; ++b) {
            need(4, "a weight");
            std::int32_t const bits = read_int();
            File_binding binding;
            std::memcpy(&binding.weight, &bits, sizeof binding.weight);
            std::uint64_t const name_at = in.position();
            read_name("a joint name");
            binding.joint = intern(name, skin_format::component_end);
            events.name(Name_span{name_at, name, true, binding.joint});
            point.push_back(binding);
        }
        events.point(point);
    };

    if (!started_) {
        in.seek(4);
        depth = -1;
        started_ = true;
    }
    if (points_left_ > 0) {
        --points_left_;
        read_point();
        return true;
    }
    std::uint64_t const at = in.position();
    if (depth < 0) {
        need(4, "the trailer -1");
        std::int32_t const code = read_int();
        if (code == skin_format::trailer_code)
            return false;
        read_record(at, code, 0);
        depth = 0;
        return true;
    }
    need(1, "a record's end marker");
    if (in.peek() == static_cast<unsigned char>(skin_format::record_end)) {
        in.get();
        events.record_end(depth--);
        return true;
    }
    need(4, "a nested record");
    std::int32_t const code = read_int();
    read_record(at, code, ++depth);
    return true;
}

bool Skin_file_reader::step_text(Skin_file_events& events)
{
    Bytes& in = *bytes_;
    long& line_number = line_number_;
    std::uint64_t& line_start = line_start_;  // the byte offset of the line
    std::string& line = line_;
    auto broken = [&](std::string const& what) -> void { throw Broken_file("line " + std::to_string(line_number), what); };
    // The next line without its end; false at the end of the file.
    auto next = [&]() {
        if (in.at_end())
            return false;
        line.clear();
        ++line_number;
        line_start = in.position();
        if (!in.until('\n', line, max_line) && !in.at_end())
            broken("a line longer than " + std::to_string(max_line) + " bytes");
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    };

    std::vector<std::string>& open_names = open_names_;  // the names of the open records, outermost first
    std::vector<File_binding>& point = point_;
    File_record& record = record_;
    std::string& raw = name_;
    auto read_record = [&](bool nested) {
        record.where = line_number;
        record.depth = static_cast<int>(open_names.size());
        skin_format::Record_line const parsed = skin_format::parse_record_line(line.c_str());
        std::size_t const first = line.find(':');
        if (first == std::string::npos || parsed.name.data() == nullptr)
            broken("not a record line: " + shown(line));
        record.code = parsed.code;
        record.kind = line.substr(nested ? 1 : 0, first - (nested ? 1 : 0));
        record.name = std::string(parsed.name);
        events.name(Name_span{line_start + static_cast<std::uint64_t>(parsed.name.data() - line.c_str()), parsed.name,
                              false, 0});
        record.count = parsed.count;
        if (record.count < 0)
            broken("a negative point count");
        events.record(record);
        open_names.push_back(record.name);
        points_left_ = record.count;
    };
    auto read_point = [&]() {
        if (!next())
            broken("the file ends inside the points of " + shown(open_names.back()));
        char const* p = line.c_str();
        if (!std::strchr(p, ':'))
            broken("not a point line: " + shown(line));
        skin_format::read_int_field(p);
        int const bindings = skin_format::read_int_field(p);
        point.clear();
        for (int b = 0; b < bindings && *p; ++b) {
            // A weight is a whole number of the format's characters,
            // followed by one of the writer's four separators.
            std::size_t const run = std::strspn(p, "0123456789.+-eE");
            char const after = p[run];
            if (is_number(std::string_view(p, run)) && after == '\0')
                broken("a point line that ends where a joint name should start");
            if (!is_number(std::string_view(p, run)) || after == '\0' || !std::strchr("/:\"\\", after)) {
                std::size_t const extent = std::strcspn(p, "/\"\\");
                broken("a weight that is not a number: " + shown(std::string_view(p, extent)));
            }
            File_binding binding;
            p = skin_format::get_float_from_text(p, binding.weight);
            // "1e999" is a number of the grammar that no float holds: as "inf", not a weight.
            if (!std::isfinite(binding.weight))
                broken("a weight that is not finite: " + shown(std::string_view(p - run, run)));
            std::string_view const joint = skin_format::text_joint_name(p);
            if (joint.size() < 3 || joint[joint.size() - 2] != joint[0] || joint.back() != ':')
                broken("a joint name that does not end with its separator and \":\"");
            raw.assign(joint.data(), joint.size());
            binding.joint = intern(raw, joint[0]);
            events.name(Name_span{line_start + static_cast<std::uint64_t>(joint.data() - line.c_str()), joint, true,
                                  binding.joint});
            p += joint.size();
            point.push_back(binding);
        }
        if (static_cast<int>(point.size()) != bindings)
            broken("a point line with fewer bindings than it counts");
        events.point(point);
    };

    if (!started_) {
        next();  // the header, checked when the file was opened
        started_ = true;
    }
    if (points_left_ > 0) {
        --points_left_;
        read_point();
        return true;
    }
    bool& pending = pending_;  // a line read that is still to be taken
    if (!pending && !next()) {
        if (open_names.empty())
            broken("the file ends without its trailer \"<end>\"");
        broken("the file ends inside the record " + shown(open_names.back()));
    }
    pending = false;
    if (open_names.empty()) {
        if (line == skin_format::trailer_line)
            return false;
        read_record(false);
        return true;
    }
    if (!line.empty() && line[0] == '{') {
        read_record(true);
        return true;
    }
    if (!line.empty() && line[0] == '}') {
        open_names.pop_back();
        events.record_end(static_cast<int>(open_names.size()));
        return true;
    }
    if (open_names.size() > 1)
        broken("a nested record not closed by \"}\": " + shown(line));
    // Any other line ends a top-level record and is read anew.
    open_names.pop_back();
    events.record_end(0);
    pending = true;
    return true;
}

std::string joint_text(std::vector<std::string> const& components)
{
    std::string out;
    for (std::size_t i = 0; i < components.size(); ++i)
        out += (i ? "/" : "") + components[i];
    return out;
}

}  // namespace tools
