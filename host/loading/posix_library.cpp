// The loader on Linux and macOS: dlopen, and the resource documents in the
// VXUL folder beside the library (on macOS, beside it in the bundle).
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include "faults.h"
#include "library.h"

namespace host {

namespace {

class Posix_library final : public Library {
public:
    Posix_library(void* handle, std::string folder) : handle_(handle), folder_(std::move(folder)) {}
    ~Posix_library() override { dlclose(handle_); }
    void* symbol(char const* name) override { return dlsym(handle_, name); }
    std::shared_ptr<Resource_source const> resources() override
    {
#if defined(__APPLE__)
        return resources_in_folder(folder_ + "/../Resources/VXUL");  // from Contents/MacOS
#else
        return resources_in_folder(folder_ + "/VXUL");
#endif
    }

private:
    void* handle_;
    std::string folder_;
};

}  // namespace

std::shared_ptr<Library> open_library(std::string const& path)
{
    std::string binary = path;
#if defined(__APPLE__)
    // A bundle is loaded through the library in it: x.bundle/Contents/MacOS/x.
    std::string const extension = ".bundle";
    std::string bundle = path;
    while (bundle.size() > 1 && bundle.back() == '/')
        bundle.pop_back();
    if (bundle.size() > extension.size() && bundle.compare(bundle.size() - extension.size(), extension.size(), extension) == 0) {
        std::size_t const slash = bundle.find_last_of('/');
        std::string const name = bundle.substr(slash == std::string::npos ? 0 : slash + 1);
        binary = bundle + "/Contents/MacOS/" + name.substr(0, name.size() - extension.size());
    }
#endif
    void* handle = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw host_error("cannot load " + path + ": " + dlerror());
    return std::make_shared<Posix_library>(handle, folder_of(binary));
}

std::string default_plugin_path(char const* argv0)
{
    char buffer[PATH_MAX];
    std::string program = argv0 ? argv0 : "";
#if defined(__APPLE__)
    uint32_t size = sizeof buffer;
    if (_NSGetExecutablePath(buffer, &size) == 0)
        program = buffer;
    return folder_of(folder_of(program)) + "/plugin/tavrik_mac.bundle";
#else
    ssize_t const n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0)
        program.assign(buffer, static_cast<std::size_t>(n));
    return folder_of(folder_of(program)) + "/plugin/tavrik.so";
#endif
}

}  // namespace host
