#include "library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "faults.h"
#include "vantelids.h"

namespace host {

namespace {

class Posix_library final : public Library {
public:
    Posix_library(void* handle, std::string folder) : handle_(handle), folder_(std::move(folder)) {}
    ~Posix_library() override { dlclose(handle_); }
    void* symbol(char const* name) override { return dlsym(handle_, name); }
    std::string folder() const override { return folder_; }

private:
    void* handle_;
    std::string folder_;
};

std::string folder_of(std::string const& path)
{
    std::size_t const slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

template <class Function>
void bind(Library& library, char const* name, Function& out)
{
    void* address = library.symbol(name);
    if (!address)
        throw host_error(std::string("the plug-in does not export ") + name);
    out = reinterpret_cast<Function>(address);
}

}  // namespace

std::unique_ptr<Library> open_library(std::string const& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw host_error("cannot load " + path + ": " + dlerror());
    return std::make_unique<Posix_library>(handle, folder_of(path));
}

interface_id const& iid_of(Interface_kind kind)
{
    switch (kind) {
    case Interface_kind::exporter: return exporter_iid;
    case Interface_kind::importer: return importer_iid;
    case Interface_kind::browser: break;
    }
    return browser_iid;
}

Plugin::Plugin(std::string const& path) : library_(open_library(path)), folder_(library_->folder())
{
    bind(*library_, "has_interface", has_interface);
    bind(*library_, "get_name", get_name);
    bind(*library_, "get_uuid", get_uuid);
    bind(*library_, "create_interface", create_interface);
    bind(*library_, "get_info", get_info);
    bind(*library_, "is_resident", is_resident);
    bind(*library_, "has_separate_interfaces", has_separate_interfaces);
}

std::vector<Menu_entry> Plugin::menu(vantel_interface& vantel) const
{
    std::vector<Menu_entry> entries;
    for (Interface_kind kind : {Interface_kind::exporter, Interface_kind::importer, Interface_kind::browser}) {
        interface_id const& iid = iid_of(kind);
        int const count = has_interface(iid, nullptr);
        for (int index = 0; index < count; ++index) {
            char const* name = get_name(iid, index, &vantel, nullptr);
            entries.push_back(Menu_entry{kind, index, name ? name : "", get_uuid(iid, index, nullptr)});
        }
    }
    return entries;
}

plugin_interface* Plugin::create(Interface_kind kind, int index, vantel_interface& vantel) const
{
    plugin_interface* component = nullptr;
    create_interface(iid_of(kind), index, &component, &vantel, nullptr);
    return component;
}

std::string default_plugin_path(char const* argv0)
{
    char buffer[PATH_MAX];
    ssize_t const n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string program = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string(argv0 ? argv0 : "");
    return folder_of(folder_of(program)) + "/plugin/tavrik.so";
}

}  // namespace host
