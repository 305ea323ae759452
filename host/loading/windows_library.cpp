// The loader on Windows: LoadLibrary and GetProcAddress, and the resource
// documents embedded in the library, found by type, name and language.
#include <windows.h>

#include "faults.h"
#include "library.h"

namespace host {

namespace {

// Paths arrive in the system's code page, as the command line and the C++
// file streams take them.
std::wstring wide(std::string const& text)
{
    int const n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring const& text)
{
    int const n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string system_message(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD const n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n ? narrow(std::wstring(text, n)) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

class Windows_library final : public Library, public std::enable_shared_from_this<Windows_library> {
public:
    explicit Windows_library(HMODULE module) : module_(module) {}
    ~Windows_library() override { FreeLibrary(module_); }

    void* symbol(char const* name) override { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
    std::shared_ptr<Resource_source const> resources() override;

    // One VXUL resource by name and language, found as the host finds it.
    std::optional<std::string> document(std::string const& name, int language) const
    {
        std::wstring const resource_name = wide(name);
        auto const wanted = static_cast<LANGID>(language);
        HRSRC const found = FindResourceExW(module_, L"VXUL", resource_name.c_str(), wanted);
        HGLOBAL const loaded = found ? LoadResource(module_, found) : nullptr;
        void const* bytes = loaded ? LockResource(loaded) : nullptr;
        if (!bytes)
            return std::nullopt;
        return std::string(static_cast<char const*>(bytes), SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

class Module_resources final : public Resource_source {
public:
    explicit Module_resources(std::shared_ptr<Windows_library const> library) : library_(std::move(library)) {}

    std::optional<std::string> document(std::string const& name, int language) const override
    {
        return library_->document(name, language);
    }

private:
    std::shared_ptr<Windows_library const> library_;
};

std::shared_ptr<Resource_source const> Windows_library::resources()
{
    return std::make_shared<Module_resources>(shared_from_this());
}

}  // namespace

std::shared_ptr<Library> open_library(std::string const& path)
{
    HMODULE const module = LoadLibraryW(wide(path).c_str());
    if (!module)
        throw host_error("cannot load " + path + ": " + system_message(GetLastError()));
    return std::make_shared<Windows_library>(module);
}

std::string default_plugin_path(char const*)
{
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        DWORD const n = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (n < program.size()) {
            program.resize(n);
            break;
        }
        program.resize(program.size() * 2);
    }
#if defined(_WIN64)
    char const* library = "tavrik64.dll";
#else
    char const* library = "tavrik.dll";
#endif
    return folder_of(folder_of(narrow(program))) + "\\plugin\\" + library;
}

}  // namespace host
