// Texture Native checks: the texture module reads the chunk as a converter
// or exporter would, so a texture that checks clean also converts and
// decodes. Its sizes must agree with its levels, swizzled sides must be
// powers of two, and the format must be one we know.
#include "kit/check.h"
#include "texture/texture.h"

namespace kestrun::kit {

void check_texture_native(bytes, const stream::Chunk& texture_native, const std::string& path,
                          std::vector<Finding>& findings)
{
	if (std::string problem = texture::texture_native_problem(texture_native); !problem.empty())
		findings.push_back({Severity::error, path, texture_native.offset, problem});
}

} // namespace kestrun::kit
