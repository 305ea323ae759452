// The bytes a reading stream sees: a file read through a window of bounded
// size, opened at the first read, or bytes held in memory. The binary and
// the text view of one file share one source, so the file is opened and read
// once, and a load holds no more of it than the window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class Read_source {
public:
    static std::shared_ptr<Read_source> file(std::string path);
    static std::shared_ptr<Read_source> memory(std::string bytes);
    Read_source(Read_source const&) = delete;
    Read_source& operator=(Read_source const&) = delete;
    ~Read_source();

    std::uint64_t size();
    // The bytes from position on that the window holds: empty only at or past
    // the end. Refilling the window at another position invalidates what an
    // earlier call gave (and empties the attached cursors).
    std::string_view at(std::uint64_t position);

    // A reader that keeps pointers into the window: a refill empties them,
    // so that its fast path needs no other test.
    struct Cursor {
        char const* cur = nullptr;
        char const* end = nullptr;
    };
    void attach(Cursor* cursor) { cursors_.push_back(cursor); }
    void detach(Cursor* cursor);

    // Told how far into the file each refill reaches, for a progress display.
    std::function<void(std::uint64_t done, std::uint64_t size)> on_fill;

    static constexpr std::size_t window_size = 1 << 20;

private:
    Read_source() = default;
    void open();
    void fill(std::uint64_t position);

    std::string path_;
    std::FILE* file_ = nullptr;
    bool opened_ = false;
    std::uint64_t size_ = 0;
    std::string buffer_;           // the window, or all the bytes of a memory source
    std::uint64_t start_ = 0;      // file position of buffer_[0]
    std::vector<Cursor*> cursors_;
};

}  // namespace host
