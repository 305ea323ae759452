#include "progress_bar.h"

#include <algorithm>

#if defined(_WIN32)
#include <io.h>
#define TAVRIK_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define TAVRIK_ISATTY(f) isatty(fileno(f))
#endif

namespace host {

Progress_bar::Progress_bar(std::FILE* out, bool wanted) : out_(out), enabled_(wanted && out && TAVRIK_ISATTY(out))
{
}

Progress_bar::~Progress_bar() { finish(); }

void Progress_bar::start(std::string title)
{
    if (!enabled_)
        return;
    if (started_)
        finish();
    title_ = std::move(title);
    min_ = max_ = position_ = 0;
    done_ = total_ = 0;
    started_ = true;
    start_time_ = std::chrono::steady_clock::now();
    draw(true);
}

void Progress_bar::range(int min, int max)
{
    min_ = min;
    max_ = max;
    draw(false);
}

void Progress_bar::position(int position)
{
    position_ = position;
    draw(false);
}

void Progress_bar::bytes(std::uint64_t done, std::uint64_t total)
{
    done_ = done;
    total_ = total;
    draw(false);
}

double Progress_bar::fraction() const
{
    double f = 0;
    if (max_ > min_)
        f = static_cast<double>(position_ - min_) / static_cast<double>(max_ - min_);
    if (total_ > 0)
        f = std::max(f, static_cast<double>(done_) / static_cast<double>(total_));
    return std::clamp(f, 0.0, 1.0);
}

void Progress_bar::draw(bool now)
{
    if (!enabled_ || !started_)
        return;
    auto const time = std::chrono::steady_clock::now();
    if (!now && time - last_draw_ < std::chrono::milliseconds(200))
        return;
    last_draw_ = time;
    double const f = fraction();
    constexpr int width = 30;
    int const filled = static_cast<int>(f * width + 0.5);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '-');
    double const seconds = std::chrono::duration<double>(time - start_time_).count();
    char rate[48] = "";
    if (seconds > 0 && done_ > 0)
        std::snprintf(rate, sizeof rate, "  %.1f MB/s", static_cast<double>(done_) / seconds / 1e6);
    else if (seconds > 0 && position_ > min_)
        std::snprintf(rate, sizeof rate, "  %.0f shapes/s", static_cast<double>(position_ - min_) / seconds);
    std::fprintf(out_, "\r%s [%s] %3d%%%s\033[K", title_.c_str(), bar.c_str(), static_cast<int>(f * 100 + 0.5), rate);
    std::fflush(out_);
}

void Progress_bar::finish()
{
    if (!enabled_ || !started_)
        return;
    if (total_ > 0)
        done_ = total_;  // the file was read
    draw(true);
    std::fputc('\n', out_);
    std::fflush(out_);
    started_ = false;
}

}  // namespace host
