// Texture checks. A Texture Native is read by the texture module as a
// converter or exporter would, so a texture that checks clean also converts
// and decodes: its sizes must agree with its levels, swizzled sides must be
// powers of two, and the format must be one we know.
#include "kit/check.h"
#include "kit/check_parts.h"
#include "kit/fix.h"
#include "texture/texture.h"

namespace kestrun::kit {

namespace checks {

void check_texture_native(Findings& findings, const stream::Chunk& texture_native, const std::string& path)
{
	if (std::string problem = texture::texture_native_problem(texture_native); !problem.empty())
		findings.add(Severity::error, path, texture_native.offset, problem);
}

// The dictionary's texture count is a u16 beside the device id, so the
// generic u32 count does not serve.
void check_dictionary(Findings& findings, const stream::Chunk& dictionary, const std::string& path)
{
	if (const std::string problem = stream::dictionary_count_problem(dictionary); !problem.empty())
		findings.add(Severity::error, path, dictionary.offset, problem);
	if (const auto device = stray_device_id(dictionary))
		findings.add(Severity::warning, path, dictionary.offset, "device id " + n(*device) + " in a PC dictionary");
	// What a half-made conversion leaves: PC readers take the stamp's word.
	for (const stream::Chunk* native : stream::children_of_type(dictionary, format::type_texture_native))
		if (const auto header = stream::decode_texture_native_header(*native);
		    header && header->platform == format::platform_console && format::is_version_3_1(native->stamp))
			findings.add(Severity::warning, path, native->offset, "console texture in a PC-stamped dictionary");
}

} // namespace checks

} // namespace kestrun::kit
