// The glTF reader's implementation, compiled here where no library of it
// exists for the target. Images are not decoded: the host reads only nodes,
// meshes and skins.
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#include <tiny_gltf.h>
