#include "format/format.h"

#include <algorithm>
#include <cstdio>

namespace kestrun::format {

namespace {

struct TypeName {
	std::uint32_t type;
	const char* name;
	bool holds_children;
};

// Every type we name, and whether its body holds chunks.
constexpr TypeName type_names[] = {
	{type_struct, "Struct", false},
	{type_string, "String", false},
	{type_extension, "Extension", true},
	{type_camera, "Camera", true},
	{type_texture, "Texture", true},
	{type_material, "Material", true},
	{type_material_list, "Material List", true},
	{type_frame_list, "Frame List", true},
	{type_geometry, "Geometry", true},
	{type_clump, "Clump", true},
	{type_light, "Light", true},
	{type_atomic, "Atomic", true},
	{type_texture_native, "Texture Native", true},
	{type_texture_dictionary, "Texture Dictionary", true},
	{type_geometry_list, "Geometry List", true},
	{type_uv_animation_dictionary, "UV Animation Dictionary", false},
	{type_bin_mesh, "Bin Mesh", false},
	{type_native_data, "Native Data", false},
	{type_frame_name, "Frame", false},
};

const TypeName* find_type(std::uint32_t type)
{
	for (const TypeName& t : type_names)
		if (t.type == type)
			return &t;
	return nullptr;
}

} // namespace

const char* chunk_type_name(std::uint32_t type)
{
	const TypeName* t = find_type(type);
	return t ? t->name : nullptr;
}

std::string chunk_type_label(std::uint32_t type)
{
	if (const char* name = chunk_type_name(type))
		return name;
	char text[16];
	std::snprintf(text, sizeof text, "0x%08X", unsigned(type));
	return text;
}

bool holds_children(std::uint32_t type)
{
	const TypeName* t = find_type(type);
	return t && t->holds_children;
}

Version decode_stamp(std::uint32_t stamp)
{
	if (stamp < 0x10000)
		return {stamp << 8, std::nullopt};
	return {(((stamp >> 14) & 0x3FF00) + 0x30000) | ((stamp >> 16) & 0x3F), std::uint16_t(stamp & 0xFFFF)};
}

std::string version_text(std::uint32_t version)
{
	char text[48];
	std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(version >> 16), unsigned(version >> 12 & 0xF),
	              unsigned(version >> 8 & 0xF), unsigned(version & 0xFF));
	return text;
}

bool is_version_3_1(std::uint32_t stamp)
{
	return (decode_stamp(stamp).version & 0xFFF00) == version_3_1;
}

std::uint32_t texture_sets(std::uint32_t flags, std::uint32_t stored)
{
	if (stored != 0)
		return stored;
	return flags & flag_second_texture_set ? 2 : flags & flag_texture_coordinates ? 1 : 0;
}

GenericLayout generic_layout(std::uint32_t flags, std::uint64_t sets, std::uint64_t triangles,
                             std::uint64_t vertices, std::uint64_t morph_targets, bool surface_properties)
{
	GenericLayout l;
	l.colours = geometry_header_size + (surface_properties ? surface_properties_size : 0);
	l.texcoords = l.colours + (flags & flag_prelit_colours ? 4 * vertices : 0);
	l.texcoord_set = 8 * vertices;
	l.triangles = l.texcoords + sets * l.texcoord_set;
	l.morph = l.triangles + triangle_record_size * triangles;
	l.morph_size = morph_header_size + 12 * vertices + (flags & flag_normals ? 12 * vertices : 0);
	l.size = l.morph + morph_targets * l.morph_size;
	return l;
}

bool has_surface_properties(std::uint32_t stamp)
{
	return decode_stamp(stamp).version < version_3_4;
}

bool read_texture_native_header(bytes body, TextureNativeHeader& h)
{
	if (body.size() < texture_native_header_size)
		return false;
	h.platform = load_u32(body, 0);
	h.filter_word = load_u32(body, 4);
	h.name_field = body.subspan(8, texture_name_size);
	h.mask_field = body.subspan(40, texture_name_size);
	h.raster_format = load_u32(body, 72);
	h.alpha = load_u32(body, 76);
	h.width = load_u16(body, 80);
	h.height = load_u16(body, 82);
	h.depth = body[84];
	h.level_count = body[85];
	h.raster_type = body[86];
	h.compression = body[87];
	return true;
}

Filter split_filter_word(std::uint32_t word)
{
	return {word & 0xFF, word >> 8 & 0x0F, word >> 12 & 0x0F};
}

std::string fixed_name(bytes field)
{
	const auto end = std::find(field.begin(), field.end(), std::uint8_t(0));
	return std::string(field.begin(), end);
}

namespace {

// The length of the UTF-8 sequence that starts `text` at `i`, or 0 when it
// is not a whole, shortest-form one.
std::size_t utf8_length(std::string_view text, std::size_t i)
{
	const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
	const unsigned char lead = byte(i);
	const std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
	if (n == 0 || i + n > text.size())
		return 0;
	std::uint32_t code = n == 1 ? lead : lead & (0x7F >> n);
	for (std::size_t k = 1; k < n; k++) {
		if ((byte(i + k) & 0xC0) != 0x80)
			return 0;
		code = (code << 6) | (byte(i + k) & 0x3F);
	}
	static constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
	const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
	return code < least[n] || code > 0x10FFFF || surrogate ? 0 : n;
}

} // namespace

std::string printable(std::string_view name)
{
	static constexpr char digits[] = "0123456789abcdef";
	std::string out;
	for (std::size_t i = 0; i < name.size();) {
		const unsigned char c = static_cast<unsigned char>(name[i]);
		const std::size_t n = utf8_length(name, i);
		if (n == 0)
			out += "\xEF\xBF\xBD"; // U+FFFD
		else if (c == '"' || c == '\\')
			out += {'\\', char(c)};
		else if (c < 0x20 || c == 0x7F)
			out += std::string("\\u00") + digits[c >> 4] + digits[c & 0xF];
		else
			out.append(name.substr(i, n));
		i += n == 0 ? 1 : n;
	}
	return out;
}

} // namespace kestrun::format
