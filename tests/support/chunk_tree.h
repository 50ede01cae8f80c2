// Structural check of a converted stream, for the tests.
#pragma once

#include "common/bytes.h"

#include <string>

namespace kestrun {

// Empty when `stream` is a consistent chunk tree, else a description of the
// first inconsistency, with its offset. Checked: the top-level chunks fill the
// stream exactly; every chunk lies inside its parent; the size of every chunk
// that holds children (Clump, Frame List, Geometry List, Geometry, Material
// List, Material, Texture, Extension, Atomic, Texture Dictionary) is the sum
// of its children's headers and bodies; no Native Data chunk is left; every
// Geometry begins with a Struct whose size matches the generic layout its
// header (flags, triangle and vertex counts) asks for. Other chunks are
// leaves and are not looked into.
std::string check_chunk_tree(bytes stream);

} // namespace kestrun
