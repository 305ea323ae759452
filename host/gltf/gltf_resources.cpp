#include "gltf_resources.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <tiny_gltf.h>

#include "faults.h"
#include "streams.h"

namespace host {

namespace {

std::string resource_root;

std::string folder_of(std::string const& path)
{
    std::size_t const slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// The path with "..", "." and symbolic links resolved; empty when it does not exist.
std::string resolved(std::string const& path)
{
#if defined(_WIN32)
    char buffer[4096];
    return _fullpath(buffer, path.c_str(), sizeof buffer) ? std::string(buffer) : std::string();
#else
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string out(real);
    std::free(real);
    return out;
#endif
}

struct Confinement {
    std::string root;  // resolved, ending in a separator
};

Confinement confinement_for(std::string const& model_path)
{
    std::string root = resolved(resource_root.empty() ? folder_of(model_path) : resource_root);
    if (root.empty())
        throw host_error("cannot resolve the folder of " + model_path);
    if (root.back() != '/' && root.back() != '\\')
        root += '/';
    return {root};
}

// Empty when the file may be read; else why not.
std::string refusal(Confinement const& c, std::string const& path, std::string const& shown)
{
    std::string const real = resolved(path);
    if (real.empty())
        return "cannot read " + shown + ": " + std::strerror(errno);
    if (real.compare(0, c.root.size(), c.root) != 0)
        return "refused " + shown + ": it lies outside " + c.root +
               " (the model's folder; --resources DIR allows another)";
    return {};
}

}  // namespace

void set_model_resource_root(std::string root) { resource_root = std::move(root); }

tinygltf::FsCallbacks confined_file_callbacks(std::string const& model_path)
{
    // One confinement per model read; tinygltf hands it back to each callback.
    static thread_local Confinement current;
    current = confinement_for(model_path);
    tinygltf::FsCallbacks callbacks{};
    // Every name "exists", so that the read below can say why it is refused.
    callbacks.FileExists = [](std::string const&, void*) { return true; };
    callbacks.ExpandFilePath = [](std::string const& path, void*) { return path; };
    callbacks.ReadWholeFile = [](std::vector<unsigned char>* out, std::string* err, std::string const& path,
                                 void* data) {
        std::string const why = refusal(*static_cast<Confinement*>(data), path, path);
        if (!why.empty()) {
            if (err)
                *err += why + "\n";
            return false;
        }
        return tinygltf::ReadWholeFile(out, err, path, nullptr);
    };
    callbacks.WriteWholeFile = [](std::string* err, std::string const&, std::vector<unsigned char> const&, void*) {
        if (err)
            *err += "no file is written while a model is read";
        return false;
    };
    callbacks.user_data = &current;
    return callbacks;
}

std::vector<char> read_model_image(std::string const& model_path, std::string const& uri)
{
    Confinement const c = confinement_for(model_path);
    std::string const path = folder_of(model_path) + uri;
    std::string const why = refusal(c, path, "the image " + uri);
    if (!why.empty())
        throw host_error(why);
    return read_file(path);
}

std::string image_type(std::vector<char> const& bytes)
{
    auto starts = [&](char const* signature, std::size_t n, std::size_t at = 0) {
        return bytes.size() >= at + n && std::memcmp(bytes.data() + at, signature, n) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return "image/png";
    if (starts("\xff\xd8\xff", 3))
        return "image/jpeg";
    if (starts("RIFF", 4) && starts("WEBP", 4, 8))
        return "image/webp";
    return {};
}

}  // namespace host
