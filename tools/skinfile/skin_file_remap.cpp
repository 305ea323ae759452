#include "skin_file_remap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "format.h"
#include "names.h"
#include "output_file.h"
#include "skin_file_reader.h"

namespace tools {

namespace {

// The plug-in reads each name and each joint name component into 256 bytes.

std::string shown(std::string const& name) { return "\"" + name + "\""; }

class Remapper : public Skin_file_events {
public:
    Remapper(std::string const& in_path, std::string const& out_path, Name_map& map, Skin_file_reader const& reader)
        : map_(map), reader_(reader), in_path_(in_path), out_path_(out_path), buffer_(1 << 20)
    {
        out_buffer_.reserve(1 << 20);
        in_ = std::fopen(in_path.c_str(), "rb");
        if (!in_)
            throw std::runtime_error("cannot open " + in_path + ": " + system_reason(errno));
        out_ = std::fopen(out_path.c_str(), "wb");
        if (!out_) {
            int const error = errno;
            std::fclose(in_);
            throw std::runtime_error("cannot write " + out_path + ": " + system_reason(error));
        }
    }
    ~Remapper() override
    {
        if (in_)
            std::fclose(in_);
        if (out_)
            std::fclose(out_);
    }

    void name(Name_span const& span) override
    {
        std::string const* replacement = span.joint ? joint(span) : record_name(span);
        copy(span.offset - done_);
        if (replacement) {
            skip(span.bytes.size());
            put(replacement->data(), replacement->size());
        } else {
            copy(span.bytes.size());
        }
    }

    void finish()
    {
        copy(SIZE_MAX);
        flush();
        bool const ok = std::fflush(out_) == 0 && !std::ferror(out_);
        int const error = errno;
        bool const closed = std::fclose(out_) == 0;
        out_ = nullptr;
        if (!ok || !closed)
            throw std::runtime_error("cannot write " + out_path_ + ": " + system_reason(error));
    }

    Remap_result result;

private:
    // The joint's name as it is to be written, or null to keep its bytes.
    std::string const* joint(Name_span const& span)
    {
        if (span.index >= joints_.size())
            joints_.resize(span.index + 1);
        auto& known = joints_[span.index];
        if (known)
            return known->empty() ? nullptr : &*known;
        ++result.joints;
        File_joint const& file_joint = reader_.joints()[span.index];
        std::vector<std::string> mapped;
        bool changed = false;
        for (std::string const& c : file_joint.components) {
            mapped.push_back(component(c));
            changed = changed || mapped.back() != c;
        }
        known.emplace();
        if (!changed)
            return nullptr;
        ++result.joints_renamed;
        std::string path;  // the binary form: components ended by 0xFF, the last by 0x00
        for (std::size_t i = 0; i < mapped.size(); ++i) {
            std::string const& c = mapped[i];
            if (c.find_first_of(std::string("\0\xFF", 2)) != std::string::npos || c.size() > longest_name || c.empty())
                refuse_joint(file_joint, mapped, c.empty() ? "an empty name" :
                             c.size() > longest_name ? "a name longer than 255 bytes" :
                             "the byte 0x00 or 0xFF, which no form can hold in a name");
            path += c;
            path += i + 1 < mapped.size() ? '\xFF' : '\0';
        }
        if (result.binary) {
            path.pop_back();
            *known = path;
        } else {
            char const separator = text_path_separator(path);
            if (separator == 0)
                refuse_joint(file_joint, mapped,
                             "a name the text form cannot hold (every separator occurs in it, a component starts "
                             "with \":\", or it holds a line break); remap a binary file");
            path.pop_back();
            *known = separator + path + separator + ":";
        }
        return &*known;
    }

    std::string const* record_name(Name_span const& span)
    {
        ++result.records;
        std::string const name(span.bytes);
        auto found = records_.find(name);
        if (found == records_.end()) {
            refuse_long(name, "shape");
            std::string mapped = map_.apply(name, Name_map::Scope::shapes);
            if (mapped != name) {
                char const* problem = mapped.empty()                      ? "an empty name"
                                      : mapped.size() > longest_name      ? "a name longer than 255 bytes"
                                      : mapped.find('\0') != std::string::npos ? "the byte 0x00, which no form can hold"
                                      : !result.binary && !skin_format::is_text_safe_name(mapped.c_str())
                                          ? "a name the text form cannot hold (\":\" or a line break); remap a binary file"
                                          : nullptr;
                if (problem)
                    throw Remap_refused("the map renames the shape " + shown(name) + " to " + shown(mapped) + ", " +
                                        problem);
            } else {
                mapped.clear();  // kept as it is
            }
            found = records_.emplace(name, std::move(mapped)).first;
        }
        if (found->second.empty())
            return nullptr;
        ++result.records_renamed;
        return &found->second;
    }

    std::string const& component(std::string const& c)
    {
        auto found = components_.find(c);
        if (found == components_.end()) {
            refuse_long(c, "joint");
            found = components_.emplace(c, map_.apply(c, Name_map::Scope::joints)).first;
        }
        return found->second;
    }

    // No rule runs on a name the plug-in could not load anyway.
    static void refuse_long(std::string const& name, char const* kind)
    {
        if (name.size() > longest_name)
            throw Remap_refused(std::string("the file names a ") + kind + " of " + std::to_string(name.size()) +
                                " bytes (" + shown(name.substr(0, 32)) + "...), longer than the plug-in can load " +
                                "(255 bytes); no rule was applied");
    }

    [[noreturn]] void refuse_joint(File_joint const& joint, std::vector<std::string> const& mapped, char const* why)
    {
        throw Remap_refused("the map renames the joint " + shown(joint.text) + " to " + shown(joint_text(mapped)) +
                            ", " + why);
    }

    // Copies up to n bytes of the input (to its end for SIZE_MAX), or
    // steps over them, through a window of the input of its own: names are
    // a few bytes apart, too close for a read and a seek each.
    void copy(std::uint64_t n) { pass(n, true); }
    void skip(std::uint64_t n) { pass(n, false); }
    void pass(std::uint64_t n, bool keep)
    {
        while (n > 0) {
            if (at_ == held_) {
                held_ = std::fread(buffer_.data(), 1, buffer_.size(), in_);
                at_ = 0;
                if (held_ == 0) {
                    if (std::ferror(in_))
                        throw std::runtime_error("cannot read " + in_path_ + ": " + system_reason(errno));
                    return;
                }
            }
            std::size_t const take = static_cast<std::size_t>(std::min<std::uint64_t>(n, held_ - at_));
            if (keep)
                put(buffer_.data() + at_, take);
            at_ += take;
            done_ += take;
            n -= take;
        }
    }
    void put(char const* data, std::size_t n)
    {
        if (out_buffer_.size() + n > out_buffer_.capacity())
            flush();
        if (n > out_buffer_.capacity())
            write(data, n);
        else
            out_buffer_.append(data, n);
    }
    void flush()
    {
        write(out_buffer_.data(), out_buffer_.size());
        out_buffer_.clear();
    }
    void write(char const* data, std::size_t n)
    {
        if (n && std::fwrite(data, 1, n, out_) != n)
            throw std::runtime_error("cannot write " + out_path_ + ": " + system_reason(errno));
    }

    Name_map& map_;
    Skin_file_reader const& reader_;
    std::string in_path_, out_path_;
    std::FILE* in_ = nullptr;
    std::FILE* out_ = nullptr;
    std::uint64_t done_ = 0;  // input bytes copied or skipped
    std::vector<char> buffer_;
    std::size_t at_ = 0, held_ = 0;  // the window: where it stands, how much it holds
    std::string out_buffer_;
    std::vector<std::optional<std::string>> joints_;  // by joint index: empty when kept
    std::unordered_map<std::string, std::string> components_, records_;
};

}  // namespace

Remap_result remap_skin_file(std::string const& in_path, std::string const& out_path, Name_map& map)
{
    Skin_file_reader reader(in_path);
    Remapper remapper(in_path, out_path, map, reader);
    remapper.result.binary = reader.binary();
    reader.read(remapper);
    remapper.finish();
    return remapper.result;
}

}  // namespace tools
