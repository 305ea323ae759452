#include "read_source.h"

#include <algorithm>

#include "faults.h"

namespace host {

namespace {

bool seek_to(std::FILE* file, std::uint64_t position)
{
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

std::uint64_t size_of(std::FILE* file)
{
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return 0;
    __int64 const size = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return 0;
    off_t const size = ftello(file);
#endif
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

}  // namespace

std::shared_ptr<Read_source> Read_source::file(std::string path)
{
    std::shared_ptr<Read_source> source(new Read_source);
    source->path_ = std::move(path);
    return source;
}

std::shared_ptr<Read_source> Read_source::memory(std::string bytes)
{
    std::shared_ptr<Read_source> source(new Read_source);
    source->size_ = bytes.size();
    source->buffer_ = std::move(bytes);
    source->opened_ = true;
    return source;
}

Read_source::~Read_source()
{
    if (file_)
        std::fclose(file_);
}

void Read_source::open()
{
    opened_ = true;
    file_ = std::fopen(path_.c_str(), "rb");
    if (!file_)
        throw host_error("cannot open " + path_);
    // The window is filled straight from the system: no second buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    size_ = size_of(file_);
    buffer_.reserve(window_size);
}

std::uint64_t Read_source::size()
{
    if (!opened_)
        open();
    return size_;
}

void Read_source::fill(std::uint64_t position)
{
    std::size_t const wanted =
        position < size_ ? static_cast<std::size_t>(std::min<std::uint64_t>(window_size, size_ - position)) : 0;
    buffer_.resize(wanted);
    if (wanted > 0 && (!seek_to(file_, position) || std::fread(&buffer_[0], 1, wanted, file_) != wanted))
        throw host_error("cannot read " + path_);
    start_ = position;
    for (Cursor* cursor : cursors_)
        cursor->cur = cursor->end = nullptr;
    if (on_fill)
        on_fill(position + wanted, size_);
}

void Read_source::detach(Cursor* cursor)
{
    cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), cursor), cursors_.end());
}

std::string_view Read_source::at(std::uint64_t position)
{
    if (!opened_)
        open();
    if (position >= size_)
        return {};
    if (position < start_ || position >= start_ + buffer_.size()) {
        if (!file_)
            return {};  // a memory source holds every byte
        fill(position);
    }
    std::size_t const offset = static_cast<std::size_t>(position - start_);
    return std::string_view(buffer_.data() + offset, buffer_.size() - offset);
}

}  // namespace host
