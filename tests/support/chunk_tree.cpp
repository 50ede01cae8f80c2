#include "support/chunk_tree.h"

#include "format/format.h"

#include <cstdint>
#include <cstdio>

namespace kestrun {

namespace {

constexpr int deepest = 64;

std::string describe(const char* what, std::uint64_t offset, std::uint32_t type)
{
	char text[160];
	std::snprintf(text, sizeof text, "chunk type 0x%X at offset %llu: %s", unsigned(type),
	              static_cast<unsigned long long>(offset), what);
	return text;
}

// The generic Struct body size for the geometry header at `header`, as the
// converter writes it: surface properties, one texture set, one morph target.
std::uint64_t generic_struct_size(bytes s, std::uint64_t header)
{
	const std::uint16_t flags = load_u16(s, header + format::geometry_flags_at);
	const std::uint64_t t = load_u32(s, header + format::geometry_triangles_at);
	const std::uint64_t v = load_u32(s, header + format::geometry_vertices_at);
	return format::generic_layout(flags, flags & format::flag_texture_coordinates ? 1 : 0, t, v, 1, true).size;
}

std::string check_geometry(bytes s, std::uint64_t body, std::uint64_t end)
{
	if (!fits(end, body, 12) || load_u32(s, body) != format::type_struct)
		return describe("Geometry does not begin with a Struct", body - 12, format::type_geometry);
	const std::uint32_t size = load_u32(s, body + 4);
	if (size < 16)
		return describe("Geometry Struct shorter than the geometry header", body, format::type_struct);
	const std::uint64_t want = generic_struct_size(s, body + 12);
	if (size != want) {
		char text[96];
		std::snprintf(text, sizeof text, "Geometry Struct size %u, the generic layout needs %llu", unsigned(size),
		              static_cast<unsigned long long>(want));
		return describe(text, body, format::type_struct);
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
	if (type == format::type_native_data)
		return describe("Native Data chunk left in the stream", pos, type);
	if (!format::holds_children(type))
		return {};
	if (depth >= deepest)
		return describe("nested too deeply", pos, type);
	if (type == format::type_geometry) {
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
