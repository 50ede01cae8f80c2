#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

namespace {

struct GenericSections {
	std::uint64_t colours, texcoords, triangles, morph_header, positions, normals;
};

// Section offsets inside the generic Struct body.
GenericSections generic_sections(const GeometryPlan& g)
{
	GenericSections s;
	const std::uint64_t v = g.vertices;
	s.colours = 28;
	s.texcoords = s.colours + (g.flags & format::flag_prelit_colours ? 4 * v : 0);
	s.triangles = s.texcoords + (g.flags & format::flag_texture_coordinates ? 8 * v : 0);
	s.morph_header = s.triangles + 8 * std::uint64_t(g.triangles);
	s.positions = s.morph_header + 24;
	s.normals = s.positions + 12 * v;
	return s;
}

mut_bytes section(mut_bytes body, std::uint64_t at, std::uint64_t length, bool present)
{
	return present ? body.subspan(at, length) : mut_bytes();
}

void copy_from(bytes input, std::uint64_t from, std::uint64_t length, mut_bytes to, std::uint64_t at)
{
	std::memcpy(to.data() + at, input.data() + from, length);
}

// The generic Struct body, in `body` (zero-filled): the geometry header, the
// surface properties and the sections. Returns the triangle records the
// index lists produced.
std::uint64_t write_struct_body(const GeometryPlan& g, bytes input, mut_bytes body)
{
	// Geometry header without texture-set count and native flags, and with
	// the one morph target the native data holds.
	copy_from(input, g.geometry + 24, 16, body, 0);
	body[2] = 0;
	body[3] = 0;
	store_u32(body, 12, 1);
	for (std::size_t k = 0; k < 3; k++)
		store_f32(body, 16 + 4 * k, 1.0f);

	const bytes native = input.first(g.native_end);
	const GenericSections s = generic_sections(g);
	const std::uint64_t v = g.vertices;
	const std::uint64_t produced = convert_triangles(native, g.bin_mesh_flag, g.kept.meshes,
	                                                 body.subspan(s.triangles, 8 * std::uint64_t(g.triangles)));
	VertexSections sections;
	sections.colours = section(body, s.colours, 4 * v, g.flags & format::flag_prelit_colours);
	sections.texcoords = section(body, s.texcoords, 8 * v, g.flags & format::flag_texture_coordinates);
	sections.positions = body.subspan(s.positions, 12 * v);
	sections.normals = section(body, s.normals, 12 * v, g.flags & format::flag_normals);
	convert_vertex_records(native, g.flags, g.vertices, g.vertex_start, sections);
	write_morph_target_header(input, g.geometry + 40, g.flags, body.subspan(s.morph_header, 24));
	return produced;
}

} // namespace

std::uint64_t rebuild_geometry(const GeometryPlan& g, bytes input, std::vector<std::uint8_t>& output)
{
	// Geometry and Struct headers, the new Struct body, then the Material
	// List with the Extension and Bin Mesh headers as they stand, the new Bin
	// Mesh body, and what followed the 16 bytes after the Native Data chunk
	// up to the end of the Extension.
	const std::uint64_t carried = g.extension + 24 - g.material_list;
	const std::uint64_t rest = g.native_data + g.removed;
	const std::uint64_t extension_at = 24 + std::uint64_t(g.struct_size) + (g.extension - g.material_list);
	const std::uint64_t rest_at = extension_at + 24 + g.bin_mesh_size;
	assert(rest_at + (g.geometry_end - rest) == rebuilt_length(g));

	const std::size_t start = output.size();
	output.resize(start + rebuilt_length(g));
	const mut_bytes chunk = mut_bytes(output).subspan(start);
	copy_from(input, g.geometry, 24, chunk, 0);
	store_u32(chunk, 4, g.geometry_size);
	store_u32(chunk, 16, g.struct_size);
	const std::uint64_t produced = write_struct_body(g, input, chunk.subspan(24, g.struct_size));
	copy_from(input, g.material_list, carried, chunk, 24 + std::uint64_t(g.struct_size));
	store_u32(chunk, extension_at + 4, g.extension_size);
	store_u32(chunk, extension_at + 16, g.bin_mesh_size);
	write_bin_mesh_body(input.first(g.native_end), g.bin_mesh_flag, g.kept.meshes,
	                    std::uint32_t(g.kept.index_total), chunk.subspan(extension_at + 24, g.bin_mesh_size));
	copy_from(input, rest, g.geometry_end - rest, chunk, rest_at);
	return produced;
}

} // namespace kestrun
