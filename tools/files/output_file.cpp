#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tools {

std::string system_reason(int error) { return std::strerror(error); }

namespace {

// Temporary files that a signal must not leave behind. The handler only
// reads these fixed buffers and calls unlink, which is safe in a handler.
constexpr int max_temporaries = 8;
constexpr std::size_t max_path = 4096;
char temporaries[max_temporaries][max_path];
std::atomic<bool> temporary_used[max_temporaries];

extern "C" void remove_temporaries_and_die(int signal)
{
    for (int i = 0; i < max_temporaries; ++i)
        if (temporary_used[i].load())
#if defined(_WIN32)
            _unlink(temporaries[i]);
#else
            unlink(temporaries[i]);
#endif
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

int remember_temporary(std::string const& path)
{
    static bool installed = false;
    if (!installed) {
        std::signal(SIGINT, remove_temporaries_and_die);
        std::signal(SIGTERM, remove_temporaries_and_die);
        installed = true;
    }
    if (path.size() >= max_path)
        return -1;
    for (int i = 0; i < max_temporaries; ++i)
        if (!temporary_used[i].load()) {
            std::memcpy(temporaries[i], path.c_str(), path.size() + 1);
            temporary_used[i].store(true);
            return i;
        }
    return -1;
}

void forget_temporary(std::string const& path)
{
    for (int i = 0; i < max_temporaries; ++i)
        if (temporary_used[i].load() && path == temporaries[i])
            temporary_used[i].store(false);
}

std::string directory_of(std::string const& path)
{
    std::size_t const slash = path.find_last_of(
#if defined(_WIN32)
        "/\\"
#else
        "/"
#endif
    );
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(std::string const& path)
{
    std::size_t const slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a path lands once its symbolic links are followed; a link to a
// file not yet there lands where that file would be.
std::string follow_links(std::string path)
{
#if !defined(_WIN32)
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t const n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return path;
        std::string const target(buffer.data(), static_cast<std::size_t>(n));
        path = target[0] == '/' ? target : directory_of(path) + "/" + target;
    }
    throw File_error("cannot write " + path + ": " + system_reason(ELOOP));
#else
    return path;
#endif
}

std::string temporary_directory()
{
#if defined(_WIN32)
    char buffer[MAX_PATH + 1];
    DWORD const n = GetTempPathA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string(".");
#else
    char const* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
#endif
}

// Creates a new file of a name no one else has, beside `near`; gives its path.
std::string create_exclusively(std::string const& directory, std::string const& base, int mode,
                               std::string const& user_path)
{
#if defined(_WIN32)
    (void)mode;  // Windows files carry no mode bits
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string const path = directory + "\\." + base + "." + std::to_string(random() % 1000000) + ".tmp";
        int const fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            _close(fd);
            return path;
        }
        if (errno != EEXIST)
            throw File_error("cannot write " + user_path + ": " + system_reason(errno));
    }
    throw File_error("cannot write " + user_path + ": no free temporary name");
#else
    std::string name = directory + "/." + base + ".XXXXXX";
    int const fd = mkstemp(name.data());
    if (fd < 0)
        throw File_error("cannot write " + user_path + ": " + system_reason(errno));
    if (mode >= 0)
        (void)fchmod(fd, static_cast<mode_t>(mode));
    close(fd);
    return name;
#endif
}

bool rename_over(std::string const& from, std::string const& to)
{
#if defined(_WIN32)
    auto wide = [](std::string const& s) {
        int const n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
        std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, out.data(), n);
        return out;
    };
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void remove_file(std::string const& path)
{
    forget_temporary(path);
    std::remove(path.c_str());
}

// Copies a file to standard output; false when the output refused it.
bool copy_to_stdout(std::string const& path)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (std::size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;)
        ok = std::fwrite(buffer.data(), 1, n, stdout) == n;
    ok = ok && !std::ferror(in) && std::fflush(stdout) == 0;
    std::fclose(in);
    return ok;
}

}  // namespace

Output_file::Output_file(std::string path) : target_(std::move(path))
{
    if (target_ == "-") {
        to_stdout_ = true;
        temporary_ = true;
        write_path_ = create_exclusively(temporary_directory(), "tavrik-host-stdout", -1, "standard output");
        remember_temporary(write_path_);
        return;
    }
    final_path_ = follow_links(target_);
    struct stat st;
    bool const exists = ::stat(final_path_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw File_error("cannot write " + target_ + ": " + system_reason(EISDIR));
    if (exists && !S_ISREG(st.st_mode)) {
        // A device, FIFO or socket takes the content as it comes.
        write_path_ = target_;
        return;
    }
#if defined(_WIN32)
    mode_ = -1;
#else
    if (exists) {
        mode_ = static_cast<int>(st.st_mode & 07777);
    } else {
        mode_t const mask = umask(0);
        umask(mask);
        mode_ = static_cast<int>(0666 & ~mask);
    }
#endif
    write_path_ = create_exclusively(directory_of(final_path_), base_of(final_path_), mode_, target_);
    temporary_ = true;
    remember_temporary(write_path_);
#if !defined(_WIN32)
    if (exists && geteuid() == 0)
        (void)chown(write_path_.c_str(), st.st_uid, st.st_gid);  // root keeps the owner
#endif
}

Output_file::~Output_file()
{
    if (temporary_ && !kept_)
        remove_file(write_path_);
}

void Output_file::write(std::function<void(std::string const&)> const& writer)
{
    try {
        writer(write_path_);
    } catch (std::exception const& e) {
        std::string message = e.what();
        std::string const named = to_stdout_ ? std::string("standard output") : target_;
        if (temporary_)
            for (std::size_t at = 0; (at = message.find(write_path_, at)) != std::string::npos; at += named.size())
                message.replace(at, write_path_.size(), named);
        throw File_error(message);
    }
}

void Output_file::keep()
{
    if (!temporary_) {
        kept_ = true;
        return;
    }
    if (to_stdout_) {
        bool const ok = copy_to_stdout(write_path_);
        int const error = errno;
        remove_file(write_path_);
        kept_ = true;
        if (!ok)
            throw File_error("cannot write standard output: " + system_reason(error));
        return;
    }
    if (!rename_over(write_path_, final_path_)) {
        int const error = errno;
        remove_file(write_path_);
        kept_ = true;
        throw File_error("cannot write " + target_ + ": " + system_reason(error));
    }
    forget_temporary(write_path_);
    kept_ = true;
}

void refuse_same_file(std::vector<std::string> const& inputs, std::string const& output)
{
    if (output == "-")
        return;
    struct stat out;
    bool const out_exists = ::stat(output.c_str(), &out) == 0;
    for (std::string const& input : inputs) {
        if (input == "-")
            continue;
        struct stat in;
        bool same = input == output;
        if (!same && out_exists && ::stat(input.c_str(), &in) == 0)
            same = in.st_dev == out.st_dev && in.st_ino == out.st_ino
#if defined(_WIN32)
                   && in.st_ino != 0
#endif
                ;
        if (same)
            throw File_error("the output " + output + " is the input " + input + ": give another output path");
    }
}

Input_file::Input_file(std::string path) : name_(std::move(path))
{
    if (name_ == "-") {
        name_ = "standard input";
        path_ = create_exclusively(temporary_directory(), "tavrik-host-stdin", -1, name_);
        temporary_ = true;
        remember_temporary(path_);
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        std::FILE* out = std::fopen(path_.c_str(), "wb");
        bool ok = out != nullptr;
        std::vector<char> buffer(1 << 20);
        for (std::size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0;)
            ok = std::fwrite(buffer.data(), 1, n, out) == n;
        int const error = errno;
        ok = ok && !std::ferror(stdin);
        if (out)
            ok = std::fclose(out) == 0 && ok;
        if (!ok)
            throw File_error("cannot read standard input into a temporary file: " + system_reason(error));
        return;
    }
    path_ = name_;
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0)
        throw File_error("cannot open " + name_ + ": " + system_reason(errno));
    if (S_ISDIR(st.st_mode))
        throw File_error("cannot read " + name_ + ": " + system_reason(EISDIR));
    if (!S_ISREG(st.st_mode))
        throw File_error("cannot read " + name_ +
                         ": not a regular file (a pipe or device cannot be read twice); give - to read standard input");
}

Input_file::~Input_file()
{
    if (temporary_)
        remove_file(path_);
}

}  // namespace tools

namespace tools {

Temporary_file::Temporary_file(std::string const& stem)
    : path_(create_exclusively(temporary_directory(), stem, -1, stem))
{
    remember_temporary(path_);
}

Temporary_file::~Temporary_file() { remove_file(path_); }

}  // namespace tools
