// The chunk tree: type names, version stamps, and the bounds-safe parse.
#include "stream/stream.h"

#include <cstdio>

namespace kestrun::stream {

const char* chunk_type_name(std::uint32_t type)
{
	switch (type) {
	case type_struct: return "Struct";
	case type_string: return "String";
	case type_extension: return "Extension";
	case type_camera: return "Camera";
	case type_texture: return "Texture";
	case type_material: return "Material";
	case type_material_list: return "Material List";
	case type_frame_list: return "Frame List";
	case type_geometry: return "Geometry";
	case type_clump: return "Clump";
	case type_light: return "Light";
	case type_atomic: return "Atomic";
	case type_texture_native: return "Texture Native";
	case type_texture_dictionary: return "Texture Dictionary";
	case type_geometry_list: return "Geometry List";
	case type_uv_animation_dictionary: return "UV Animation Dictionary";
	case type_bin_mesh: return "Bin Mesh";
	case type_native_data: return "Native Data";
	case type_frame_name: return "Frame";
	default: return nullptr;
	}
}

std::string chunk_type_label(std::uint32_t type)
{
	if (const char* name = chunk_type_name(type))
		return name;
	char text[16];
	std::snprintf(text, sizeof text, "0x%08X", unsigned(type));
	return text;
}

bool is_container_type(std::uint32_t type)
{
	switch (type) {
	case type_clump:
	case type_frame_list:
	case type_geometry_list:
	case type_geometry:
	case type_material_list:
	case type_material:
	case type_texture:
	case type_atomic:
	case type_extension:
	case type_texture_dictionary:
	case type_texture_native:
	case type_light:
	case type_camera:
		return true;
	default:
		return false;
	}
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

namespace {

struct Header {
	std::uint32_t type, size, stamp;
};

Header load_header(bytes stream, std::uint64_t pos)
{
	return {load_u32(stream, pos), load_u32(stream, pos + 4), load_u32(stream, pos + 8)};
}

// A whole chunk with `stamp` starts at `pos` and ends by `end`.
bool plausible_chunk_at(bytes stream, std::uint64_t pos, std::uint64_t end, std::uint32_t stamp)
{
	if (!fits(end, pos, 12))
		return false;
	const Header h = load_header(stream, pos);
	return h.stamp == stamp && fits(end, pos + 12, h.size);
}

// The console keeps 16 bytes after a geometry's Native Data chunk that are
// not a chunk. They are stepped over only when what stands there is not a
// chunk and what follows them is the end of the body or a chunk.
bool console_gap_at(bytes stream, std::uint64_t pos, std::uint64_t end, std::uint32_t stamp)
{
	if (!fits(end, pos, 16) || plausible_chunk_at(stream, pos, end, stamp))
		return false;
	return end - pos == 16 || plausible_chunk_at(stream, pos + 16, end, stamp);
}

void parse_body(bytes stream, Chunk& parent, std::uint32_t grandparent, int depth);

// Parses the chunks from `begin` to `end` into `out`; returns the bytes
// left at the end that do not make a whole header.
std::uint64_t parse_chain(bytes stream, std::uint64_t begin, std::uint64_t end, std::uint32_t parent_type,
                          std::uint32_t grandparent_type, int depth, std::vector<Chunk>& out,
                          std::optional<std::uint64_t>* gap)
{
	std::uint64_t pos = begin;
	while (end - pos >= 12) {
		const Header h = load_header(stream, pos);
		Chunk c;
		c.offset = pos;
		c.type = h.type;
		c.size = h.size;
		c.stamp = h.stamp;
		const std::uint64_t body = pos + 12;
		const std::uint64_t available = end - body;
		c.cut_off = h.size > available;
		c.body = stream.subspan(body, c.cut_off ? available : h.size);
		parse_body(stream, c, parent_type, depth + 1);
		pos = body + c.body.size();
		const bool native_data = c.type == type_native_data && !c.cut_off;
		const std::uint32_t stamp = c.stamp;
		out.push_back(std::move(c));
		if (gap && native_data && parent_type == type_extension && grandparent_type == type_geometry &&
		    !*gap && console_gap_at(stream, pos, end, stamp)) {
			*gap = pos;
			pos += 16;
		}
	}
	return end - pos;
}

void parse_body(bytes stream, Chunk& parent, std::uint32_t grandparent, int depth)
{
	if (!is_container_type(parent.type))
		return;
	if (depth >= max_depth) {
		parent.depth_limited = true;
		return;
	}
	const std::uint64_t begin = parent.offset + 12;
	parent.trailing = parse_chain(stream, begin, begin + parent.body.size(), parent.type, grandparent, depth,
	                              parent.children, &parent.console_gap);
}

} // namespace

Tree parse_tree(bytes stream)
{
	Tree tree;
	tree.trailing = parse_chain(stream, 0, stream.size(), 0, 0, 0, tree.top, nullptr);
	return tree;
}

const Chunk* find_child(const Chunk& parent, std::uint32_t type)
{
	for (const Chunk& c : parent.children)
		if (c.type == type)
			return &c;
	return nullptr;
}

std::vector<const Chunk*> children_of_type(const Chunk& parent, std::uint32_t type)
{
	std::vector<const Chunk*> found;
	for (const Chunk& c : parent.children)
		if (c.type == type)
			found.push_back(&c);
	return found;
}

} // namespace kestrun::stream
