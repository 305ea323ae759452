// The glTF reader's implementation, compiled here where no library of it
// exists for the target.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
