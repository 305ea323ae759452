#include "skin_file_reader.h"

#include <cstring>
#include <memory>

#include "format.h"
#include "names.h"
#include "streams.h"

namespace tools {

namespace {

class Binary_reader {
public:
    explicit Binary_reader(std::shared_ptr<host::Read_source> source)
        : stream_(host::Binary_stream::reader(source)), size_(source->size())
    {
    }

    Skin_file read()
    {
        Skin_file file;
        file.binary = true;
        stream_->seek(4);
        for (;;) {
            long const at = stream_->tell();
            need(4, "the trailer -1");
            if (int32_t const code = stream_->read_int(); code == skin_format::trailer_code)
                return file;
            else
                file.records.push_back(record(at, code));
        }
    }

private:
    [[noreturn]] void broken(long at, std::string const& what)
    {
        throw Broken_file("byte " + std::to_string(at), what);
    }
    void need(long bytes, char const* what)
    {
        if (static_cast<std::uint64_t>(stream_->tell()) + static_cast<std::uint64_t>(bytes) > size_)
            broken(stream_->tell(), std::string("the file ends where ") + what + " should stand");
    }
    std::string name(char const* what)
    {
        std::string out;
        for (;;) {
            need(1, what);
            char const c = stream_->read_char();
            if (c == skin_format::name_end)
                return out;
            out += c;
        }
    }
    File_record record(long at, int32_t code)
    {
        File_record r;
        r.where = at;
        r.code = code;
        char const* word = get_string(code);
        r.kind = word ? word : code == other_kind_code ? "(other kind)" : "(code " + std::to_string(code) + ")";
        r.name = name("a record's name");
        need(4, "a point count");
        r.count = stream_->read_int();
        if (r.count < 0)
            broken(stream_->tell() - 4, "a negative point count");
        for (int k = 0; k < r.count; ++k) {
            need(8, "a point record");
            stream_->read_int();
            int32_t const bindings = stream_->read_int();
            if (bindings < 0)
                broken(stream_->tell() - 4, "a negative binding count");
            std::vector<File_binding> point;
            for (int32_t b = 0; b < bindings; ++b) {
                need(4, "a weight");
                File_binding binding;
                binding.weight = stream_->read_float();
                std::string const joint = name("a joint name");
                std::size_t start = 0;
                for (std::size_t end; (end = joint.find(skin_format::component_end, start)) != std::string::npos;
                     start = end + 1)
                    binding.joint.push_back(joint.substr(start, end - start));
                binding.joint.push_back(joint.substr(start));
                point.push_back(std::move(binding));
            }
            r.points.push_back(std::move(point));
        }
        for (;;) {
            need(1, "a record's end marker");
            long const next = stream_->tell();
            if (stream_->read_char() == skin_format::record_end)
                return r;
            stream_->seek(next);
            need(4, "a nested record");
            int32_t const child = stream_->read_int();
            r.children.push_back(record(next, child));
        }
    }

    std::unique_ptr<host::Binary_stream> stream_;
    std::uint64_t size_;
};

class Text_reader {
public:
    explicit Text_reader(std::shared_ptr<host::Read_source> source) : stream_(host::Text_stream::reader(source)) {}

    Skin_file read()
    {
        Skin_file file;
        next();  // the header, checked by the caller
        std::string line;
        bool have = false;
        for (;;) {
            if (!have) {
                if (stream_->is_end())
                    broken("the file ends without its trailer \"<end>\"");
                line = next();
            }
            if (line == skin_format::trailer_line)
                return file;
            File_record r;
            have = record(line, r, false);
            file.records.push_back(std::move(r));
            if (!have)
                continue;  // closed by "}": the next line is read anew
            line = pending_;
        }
    }

private:
    [[noreturn]] void broken(std::string const& what) { throw Broken_file("line " + std::to_string(line_), what); }
    std::string next()
    {
        char const* text = nullptr;
        stream_->read_line(&text);
        ++line_;
        return text ? text : "";
    }
    // Reads one record from its record line; true when it ended at another
    // line (kept in pending_), false when a "}" closed it.
    bool record(std::string const& line, File_record& r, bool nested)
    {
        r.where = line_;
        skin_format::Record_line const parsed = skin_format::parse_record_line(line.c_str());
        if (line.find(':') == std::string::npos || parsed.name.data() == nullptr)
            broken("not a record line: \"" + line + "\"");
        r.code = parsed.code;
        std::size_t const first = line.find(':');
        r.kind = line.substr(nested ? 1 : 0, first - (nested ? 1 : 0));
        r.name = std::string(parsed.name);
        r.count = parsed.count;
        if (r.count < 0)
            broken("a negative point count");
        for (int k = 0; k < r.count; ++k) {
            if (stream_->is_end())
                broken("the file ends inside the points of \"" + r.name + "\"");
            std::string const point_line = next();
            char const* p = point_line.c_str();
            if (!std::strchr(p, ':'))
                broken("not a point line: \"" + point_line + "\"");
            skin_format::read_int_field(p);
            int const bindings = skin_format::read_int_field(p);
            std::vector<File_binding> point;
            for (int b = 0; b < bindings && *p; ++b) {
                File_binding binding;
                p = skin_format::get_float_from_text(p, binding.weight);
                std::string_view const joint = skin_format::text_joint_name(p);
                if (joint.size() < 3 || joint.substr(joint.size() - 2) != std::string{joint[0], ':'})
                    broken("a joint name that does not end with its separator and \":\"");
                char const separator = joint[0];
                std::string_view rest = joint.substr(1, joint.size() - 3);
                for (std::size_t end; (end = rest.find(separator)) != std::string_view::npos; rest.remove_prefix(end + 1))
                    binding.joint.emplace_back(rest.substr(0, end));
                binding.joint.emplace_back(rest);
                p += joint.size();
                point.push_back(std::move(binding));
            }
            if (static_cast<int>(point.size()) != bindings)
                broken("a point line with fewer bindings than it counts");
            r.points.push_back(std::move(point));
        }
        for (;;) {
            if (stream_->is_end())
                broken("the file ends inside the record \"" + r.name + "\"");
            std::string const line_after = next();
            if (!line_after.empty() && line_after[0] == '{') {
                File_record child;
                record(line_after, child, true);  // a nested record ends at its "}"
                r.children.push_back(std::move(child));
                continue;
            }
            if (!line_after.empty() && line_after[0] == '}')
                return false;
            if (nested)
                broken("a nested record not closed by \"}\": \"" + line_after + "\"");
            pending_ = line_after;
            return true;
        }
    }

    std::unique_ptr<host::Text_stream> stream_;
    long line_ = 0;
    std::string pending_;
};

}  // namespace

Skin_file read_skin_file(std::string const& path)
{
    std::shared_ptr<host::Read_source> source = host::Read_source::file(path);
    if (source->size() >= 4) {
        std::string_view const head = source->at(0);
        if (head.size() >= 4 && std::memcmp(head.data(), "\x10\x00\x02\x50", 4) == 0)
            return Binary_reader(source).read();
    }
    auto text = host::Text_stream::reader(source);
    char const* first = nullptr;
    text->read_line(&first);
    if (!first || std::strcmp(first, skin_format::header_line) != 0)
        throw Broken_file("byte 0", "not a skin file: neither the binary magic nor \"<skinfile>\"");
    return Text_reader(source).read();
}

std::string joint_text(std::vector<std::string> const& components)
{
    std::string out;
    for (std::size_t i = 0; i < components.size(); ++i)
        out += (i ? "/" : "") + components[i];
    return out;
}

}  // namespace tools
