#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

namespace {

using format::chunk_header_size;
using format::first_child_at;
using format::struct_body_at;

// Section offsets inside the generic Struct body: surface properties, one
// set of texture coordinates when the flags ask for them, one morph target.
format::GenericLayout generic_sections(const GeometryPlan& g)
{
	const std::uint64_t sets = g.flags & format::flag_texture_coordinates ? 1 : 0;
	return format::generic_layout(g.flags, sets, g.triangles, g.vertices, 1, true);
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
	const std::uint64_t header = g.geometry + struct_body_at;
	copy_from(input, header, format::geometry_header_size, body, 0);
	body[format::geometry_sets_at] = 0;
	body[format::geometry_native_at] = 0;
	store_u32(body, format::geometry_morphs_at, 1);
	for (std::size_t k = 0; k < 3; k++)
		store_f32(body, format::geometry_header_size + 4 * k, 1.0f);

	const bytes native = input.first(g.native_end);
	const format::GenericLayout s = generic_sections(g);
	const std::uint64_t v = g.vertices;
	const std::uint64_t produced = convert_triangles(
	    native, g.bin_mesh_flag, g.kept.meshes,
	    body.subspan(s.triangles, format::triangle_record_size * std::uint64_t(g.triangles)));
	const std::uint64_t positions = s.morph + format::morph_header_size;
	VertexSections sections;
	sections.colours = section(body, s.colours, 4 * v, g.flags & format::flag_prelit_colours);
	sections.texcoords = section(body, s.texcoords, s.texcoord_set, g.flags & format::flag_texture_coordinates);
	sections.positions = body.subspan(positions, 12 * v);
	sections.normals = section(body, positions + 12 * v, 12 * v, g.flags & format::flag_normals);
	convert_vertex_records(native, g.flags, g.vertices, g.vertex_start, sections);
	write_morph_target_header(input, header + format::geometry_header_size, g.flags,
	                          body.subspan(s.morph, format::morph_header_size));
	return produced;
}

} // namespace

std::uint64_t rebuild_geometry(const GeometryPlan& g, bytes input, std::vector<std::uint8_t>& output)
{
	// Geometry and Struct headers, the new Struct body, then the Material
	// List with the Extension and Bin Mesh headers as they stand, the new Bin
	// Mesh body, and what followed the 16 bytes after the Native Data chunk
	// up to the end of the Extension.
	const std::uint64_t bin_mesh_body = first_child_at + chunk_header_size; // in the Extension
	const std::uint64_t carried = g.extension + bin_mesh_body - g.material_list;
	const std::uint64_t rest = g.native_data + g.removed;
	const std::uint64_t extension_at = struct_body_at + std::uint64_t(g.struct_size) + (g.extension - g.material_list);
	const std::uint64_t rest_at = extension_at + bin_mesh_body + g.bin_mesh_size;
	assert(rest_at + (g.geometry_end - rest) == rebuilt_length(g));

	const std::size_t start = output.size();
	output.resize(start + rebuilt_length(g));
	const mut_bytes chunk = mut_bytes(output).subspan(start);
	copy_from(input, g.geometry, struct_body_at, chunk, 0);
	store_u32(chunk, format::chunk_size_at, g.geometry_size);
	store_u32(chunk, first_child_at + format::chunk_size_at, g.struct_size);
	const std::uint64_t produced = write_struct_body(g, input, chunk.subspan(struct_body_at, g.struct_size));
	copy_from(input, g.material_list, carried, chunk, struct_body_at + std::uint64_t(g.struct_size));
	store_u32(chunk, extension_at + format::chunk_size_at, g.extension_size);
	store_u32(chunk, extension_at + first_child_at + format::chunk_size_at, g.bin_mesh_size);
	write_bin_mesh_body(input.first(g.native_end), g.bin_mesh_flag, g.kept.meshes,
	                    std::uint32_t(g.kept.index_total), chunk.subspan(extension_at + bin_mesh_body, g.bin_mesh_size));
	copy_from(input, rest, g.geometry_end - rest, chunk, rest_at);
	return produced;
}

} // namespace kestrun
