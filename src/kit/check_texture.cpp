// Texture Native checks. What can be told from the header the reader
// decodes; the texel data's own layout belongs to the texture module.
#include "kit/check.h"

namespace kestrun::kit {

void check_texture_native(bytes, const stream::Chunk& texture_native, const std::string& path,
                          std::vector<Finding>& findings)
{
	const auto h = stream::decode_texture_native_header(texture_native);
	if (!h) {
		findings.push_back({Severity::error, path, texture_native.offset, "no Struct with the 88-byte texture header"});
		return;
	}
	if (h->width == 0 || h->height == 0 || h->levels == 0)
		findings.push_back({Severity::error, path, texture_native.offset,
		                    "'" + h->name + "': " + std::to_string(h->width) + "x" + std::to_string(h->height) + " with " +
		                        std::to_string(h->levels) + " levels holds no texels"});
}

} // namespace kestrun::kit
