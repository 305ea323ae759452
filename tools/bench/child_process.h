// Programs the benchmarks run, each in a process of its own, with its time
// and peak resident memory. Linux.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Measure {
    double seconds = 0;
    double peak_mb = 0;
};

std::string folder_of_program()
{
    std::vector<char> path(4096);
    ssize_t const n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find the programs beside this one");
    std::string const self(path.data(), static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/'));
}

// Runs `child` in a process of its own; its time and peak resident memory.
template <class Child>
Measure in_child(Child child)
{
    auto const start = std::chrono::steady_clock::now();
    pid_t const pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0)
        _exit(child());
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        throw std::runtime_error(std::string("wait: ") + std::strerror(errno));
    Measure m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        throw std::runtime_error("a measured run failed (status " + std::to_string(status) + ")");
    return m;
}

// Runs a program with its output to /dev/null (the summaries would swamp the
// table), or to a file.
Measure run(std::vector<std::string> const& words, std::string const& output = "/dev/null")
{
    return in_child([&] {
        std::vector<char*> argv;
        for (auto const& w : words)
            argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        if (FILE* out = std::fopen(output.c_str(), "w")) {
            dup2(fileno(out), 1);
            dup2(fileno(out), 2);
        }
        execv(argv[0], argv.data());
        return 127;
    });
}

}  // namespace
