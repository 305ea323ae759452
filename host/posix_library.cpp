// The loader on Linux and macOS: dlopen, and the resource documents in the
// VXUL folder beside the library.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "faults.h"
#include "library.h"

namespace host {

namespace {

class Posix_library final : public Library {
public:
    Posix_library(void* handle, std::string folder) : handle_(handle), folder_(std::move(folder)) {}
    ~Posix_library() override { dlclose(handle_); }
    void* symbol(char const* name) override { return dlsym(handle_, name); }
    std::shared_ptr<Resource_source const> resources() override { return resources_in_folder(folder_ + "/VXUL"); }

private:
    void* handle_;
    std::string folder_;
};

}  // namespace

std::shared_ptr<Library> open_library(std::string const& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw host_error("cannot load " + path + ": " + dlerror());
    return std::make_shared<Posix_library>(handle, folder_of(path));
}

std::string default_plugin_path(char const* argv0)
{
    char buffer[PATH_MAX];
    ssize_t const n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string program = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string(argv0 ? argv0 : "");
    return folder_of(folder_of(program)) + "/plugin/tavrik.so";
}

}  // namespace host
