// The host's progress indicator as a user of the command line sees it: one
// line on a terminal with a bar, the share done and the rate, redrawn at most
// five times a second; nothing at all where the stream is not a terminal
// (a pipe, a file) or the user asked for quiet. The plug-in's progress calls
// drive it, and so does the file a load reads, so that a load of one large
// shape moves it too.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace host {

class Progress_bar {
public:
    Progress_bar(std::FILE* out, bool wanted);
    Progress_bar(Progress_bar const&) = delete;
    Progress_bar& operator=(Progress_bar const&) = delete;
    ~Progress_bar();

    bool active() const { return enabled_; }
    void start(std::string title);
    void range(int min, int max);
    void position(int position);
    void bytes(std::uint64_t done, std::uint64_t total);
    // Draws the last state and ends the line.
    void finish();

private:
    void draw(bool now);
    double fraction() const;

    std::FILE* out_;
    bool enabled_;
    bool started_ = false;
    std::string title_;
    int min_ = 0, max_ = 0, position_ = 0;
    std::uint64_t done_ = 0, total_ = 0;
    std::chrono::steady_clock::time_point start_time_, last_draw_;
};

}  // namespace host
