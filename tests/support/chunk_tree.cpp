#include "support/chunk_tree.h"

#include <cstdint>
#include <cstdio>

namespace kestrun {

namespace {

constexpr std::uint32_t type_struct = 0x01;
constexpr std::uint32_t type_geometry = 0x0F;
constexpr std::uint32_t type_native_data = 0x510;
constexpr int deepest = 64;

bool holds_children(std::uint32_t type)
{
	switch (type) {
	case 0x03: // Extension
	case 0x06: // Texture
	case 0x07: // Material
	case 0x08: // Material List
	case 0x0E: // Frame List
	case 0x0F: // Geometry
	case 0x10: // Clump
	case 0x14: // Atomic
	case 0x16: // Texture Dictionary
	case 0x1A: // Geometry List
		return true;
	default:
		return false;
	}
}

std::string describe(const char* what, std::uint64_t offset, std::uint32_t type)
{
	char text[160];
	std::snprintf(text, sizeof text, "chunk type 0x%X at offset %llu: %s", unsigned(type),
	              static_cast<unsigned long long>(offset), what);
	return text;
}

// The generic Struct body size for the geometry header at `header`.
std::uint64_t generic_struct_size(bytes s, std::uint64_t header)
{
	const std::uint16_t flags = load_u16(s, header);
	const std::uint64_t t = load_u32(s, header + 4);
	const std::uint64_t v = load_u32(s, header + 8);
	return 52 + 8 * t + 12 * v + (flags & 0x08 ? 4 * v : 0) + (flags & 0x04 ? 8 * v : 0) +
	       (flags & 0x10 ? 12 * v : 0);
}

std::string check_geometry(bytes s, std::uint64_t body, std::uint64_t end)
{
	if (!fits(end, body, 12) || load_u32(s, body) != type_struct)
		return describe("Geometry does not begin with a Struct", body - 12, type_geometry);
	const std::uint32_t size = load_u32(s, body + 4);
	if (size < 16)
		return describe("Geometry Struct shorter than the geometry header", body, type_struct);
	const std::uint64_t want = generic_struct_size(s, body + 12);
	if (size != want) {
		char text[96];
		std::snprintf(text, sizeof text, "Geometry Struct size %u, the generic layout needs %llu", unsigned(size),
		              static_cast<unsigned long long>(want));
		return describe(text, body, type_struct);
	}
	return {};
}

std::string check_children(bytes s, std::uint64_t pos, std::uint64_t end, int depth);

std::string check_chunk(bytes s, std::uint64_t pos, std::uint64_t end, int depth)
{
	const std::uint32_t type = load_u32(s, pos);
	const std::uint64_t size = load_u32(s, pos + 4);
	if (!fits(end, pos + 12, size))
		return describe("body reaches past the end of its parent", pos, type);
	if (type == type_native_data)
		return describe("Native Data chunk left in the stream", pos, type);
	if (!holds_children(type))
		return {};
	if (depth >= deepest)
		return describe("nested too deeply", pos, type);
	if (type == type_geometry) {
		std::string problem = check_geometry(s, pos + 12, pos + 12 + size);
		if (!problem.empty())
			return problem;
	}
	return check_children(s, pos + 12, pos + 12 + size, depth + 1);
}

// The chunks from `pos` must fill [pos, end) exactly.
std::string check_children(bytes s, std::uint64_t pos, std::uint64_t end, int depth)
{
	while (pos < end) {
		if (!fits(end, pos, 12)) {
			char text[128];
			std::snprintf(text, sizeof text, "offset %llu: %llu bytes left over, too few for a chunk header",
			              static_cast<unsigned long long>(pos), static_cast<unsigned long long>(end - pos));
			return text;
		}
		std::string problem = check_chunk(s, pos, end, depth);
		if (!problem.empty())
			return problem;
		pos += 12 + std::uint64_t(load_u32(s, pos + 4));
	}
	return {};
}

} // namespace

std::string check_chunk_tree(bytes stream)
{
	return check_children(stream, 0, stream.size(), 0);
}

} // namespace kestrun
