// Inside the texture module: a Texture Native chunk's Struct, and problem
// messages that say which texture and where.
#pragma once

#include "stream/stream.h"
#include "texture/native_format.h"

#include <string>

namespace kestrun::texture {

// The chunk's Struct, or nullptr with `error` set when it has none or it
// reaches past the chunk.
const stream::Chunk* native_struct(const stream::Chunk& native, std::string& error);

// `texture "NAME" at offset N: what (numbers)`; the name when it was read.
std::string native_problem_text(const stream::Chunk& native, const NativeTexture& t, const ReadResult& r);

} // namespace kestrun::texture
