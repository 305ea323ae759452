// The files a .gltf model names (its buffers and images): read only from the
// model's own folder and below, after ".." and symbolic links are resolved,
// unless a wider folder is named. Models come from outside and what is made
// of them is shared, so a model must not carry other files into an output.
#pragma once

#include <string>
#include <vector>

namespace tinygltf {
struct FsCallbacks;
}

namespace host {

// The folder below which every model's resources must lie; empty: each
// model's own folder.
void set_model_resource_root(std::string root);

// Callbacks through which tinygltf reads a model's buffers; a file outside the
// allowed folder is refused with an error that names it.
tinygltf::FsCallbacks confined_file_callbacks(std::string const& model_path);

// The bytes of an image file a model names; throws host_error when it lies
// outside the allowed folder or cannot be read.
std::vector<char> read_model_image(std::string const& model_path, std::string const& uri);

// "image/png", "image/jpeg" or "image/webp" by the bytes' signature; empty
// when they are none of these.
std::string image_type(std::vector<char> const& bytes);

}  // namespace host
