#include "geometry/geometry.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestrun {

namespace {

constexpr std::uint64_t u32_limit = std::uint64_t(std::numeric_limits<std::uint32_t>::max());

// Generic Struct body: geometry header, surface properties, then the
// sections; the 52 bytes count the header, the properties and the morph
// target header.
std::uint64_t generic_struct_size(std::uint16_t flags, std::uint64_t triangles, std::uint64_t vertices)
{
	std::uint64_t size = 52 + 8 * triangles + 12 * vertices;
	if (flags & flag_prelit_colours)
		size += 4 * vertices;
	if (flags & flag_texture_coordinates)
		size += 8 * vertices;
	if (flags & flag_normals)
		size += 12 * vertices;
	return size;
}

// old + (new sizes) - (old sizes), which must land inside 0 to 2^32 - 1.
bool adjusted_size(std::uint64_t old, std::uint64_t add, std::uint64_t remove, std::uint32_t& result)
{
	if (old + add < remove || old + add - remove > u32_limit)
		return false;
	result = std::uint32_t(old + add - remove);
	return true;
}

struct GenericSections {
	std::uint64_t colours, texcoords, triangles, morph_header, positions, normals;
};

// Section offsets inside the generic Struct body.
GenericSections generic_sections(const GeometryLayout& g)
{
	GenericSections s;
	const std::uint64_t v = g.vertices;
	s.colours = 28;
	s.texcoords = s.colours + (g.flags & flag_prelit_colours ? 4 * v : 0);
	s.triangles = s.texcoords + (g.flags & flag_texture_coordinates ? 8 * v : 0);
	s.morph_header = s.triangles + 8 * std::uint64_t(g.triangles);
	s.positions = s.morph_header + 24;
	s.normals = s.positions + 12 * v;
	return s;
}

mut_bytes section(mut_bytes body, std::uint64_t at, std::uint64_t length, bool present)
{
	return present ? body.subspan(at, length) : mut_bytes();
}

} // namespace

GeometryProblem plan_geometry(bytes old, std::uint64_t geometry, std::uint64_t stream_length, GeometryLayout& g)
{
	const std::uint64_t len = old.size();
	g = GeometryLayout();
	g.geometry = geometry;

	// Geometry and Struct headers, geometry header and bounding sphere.
	if (!fits(len, geometry, 56))
		return GeometryProblem::header_outside;
	const std::uint32_t struct_old = load_u32(old, geometry + 16);
	g.flags = load_u16(old, geometry + 24);
	g.triangles = load_u32(old, geometry + 28);
	g.vertices = load_u32(old, geometry + 32);

	g.material_list = geometry + 24 + std::uint64_t(struct_old);
	if (!fits(len, g.material_list, 28))
		return GeometryProblem::material_list_outside;
	g.materials = load_u32(old, g.material_list + 24);

	g.extension = g.material_list + 12 + std::uint64_t(load_u32(old, g.material_list + 4));
	if (!fits(len, g.extension, 28))
		return GeometryProblem::extension_outside;
	const std::uint32_t bin_mesh_old = load_u32(old, g.extension + 16);
	g.bin_mesh_flag = old[g.extension + 24];

	g.native_data = g.extension + 24 + std::uint64_t(bin_mesh_old);
	if (!fits(len, g.native_data, 8))
		return GeometryProblem::native_data_outside;
	g.removed = std::uint64_t(load_u32(old, g.native_data + 4)) + 28;
	if (!fits(len, g.native_data, g.removed))
		return GeometryProblem::native_data_outside;

	// The parts must nest as they claim to: the Extension ends the Geometry,
	// and the Native Data chunk with the 16 bytes after it lies inside the
	// Extension. A size that overstates its chunk would otherwise let the
	// rebuild take bytes of the chunks after it, or send the walk past the
	// geometries that follow, leaving them unconverted without a word.
	const std::uint64_t geometry_end = geometry + 12 + std::uint64_t(load_u32(old, geometry + 4));
	const std::uint64_t extension_end = g.extension + 12 + std::uint64_t(load_u32(old, g.extension + 4));
	if (geometry_end > len)
		return GeometryProblem::geometry_outside;
	if (extension_end != geometry_end)
		return GeometryProblem::geometry_size_mismatch;
	if (g.native_data + g.removed > extension_end)
		return GeometryProblem::native_data_outside_extension;

	// Descriptors, index lists, fill words and vertex records are read only
	// inside the Native Data body: a count that reaches beyond it would
	// otherwise read the chunks and geometries after it as this geometry's
	// own, and convert them again into it.
	g.native_end = g.native_data + g.removed - 16;
	const bytes native = old.first(g.native_end);
	const std::uint64_t descriptors = g.native_data + 64;
	if (!fits(native.size(), descriptors, 24 * std::uint64_t(g.materials)))
		return GeometryProblem::descriptors_outside;
	// The old Bin Mesh records lie ahead of the descriptors and take less
	// room each, so they fit whenever the descriptors do.
	const std::uint64_t records = g.extension + 36;

	g.kept = select_kept_meshes(native, g.materials, descriptors, records);
	g.index_start = descriptors + 24 * std::uint64_t(g.materials) + 4;
	const std::optional<std::uint64_t> end = walk_index_lists(native, g.index_start, g.kept.meshes);
	if (!end)
		return GeometryProblem::index_list_outside;
	g.vertex_start = *end;
	if (!fits(native.size(), g.vertex_start, vertex_stride(g.flags) * g.vertices))
		return GeometryProblem::vertex_records_outside;

	// The triangle count sizes a section of the output without being checked
	// against anything read; every triangle takes at least one 2-byte index
	// of the Native Data, so a count beyond that is damage, and trusting it
	// would let a few bytes of input ask for gigabytes of zeros.
	if (2 * std::uint64_t(g.triangles) > g.removed - 28)
		return GeometryProblem::triangle_count_too_large;

	const std::uint64_t struct_size = generic_struct_size(g.flags, g.triangles, g.vertices);
	const std::uint64_t bin_mesh_size = 12 + 8 * std::uint64_t(g.kept.meshes.size()) + 4 * g.kept.index_total;
	if (struct_size > u32_limit || bin_mesh_size > u32_limit || g.kept.index_total > u32_limit)
		return GeometryProblem::size_overflow;
	g.struct_size = std::uint32_t(struct_size);
	g.bin_mesh_size = std::uint32_t(bin_mesh_size);

	const std::uint64_t added = struct_size + bin_mesh_size;
	const std::uint64_t taken = std::uint64_t(struct_old) + bin_mesh_old + g.removed;
	std::uint32_t length32 = 0;
	if (!adjusted_size(load_u32(old, g.extension + 4), bin_mesh_size, bin_mesh_old + g.removed, g.extension_size) ||
	    !adjusted_size(load_u32(old, geometry + 4), added, taken, g.geometry_size) ||
	    !adjusted_size(stream_length, added, taken, length32))
		return GeometryProblem::size_overflow;
	g.new_length = length32;
	g.growth = std::uint32_t(added - taken);
	return GeometryProblem::none;
}

void correct_geometry_sizes(mut_bytes work, const GeometryLayout& g)
{
	store_u32(work, g.geometry + 16, g.struct_size);
	store_u32(work, g.extension + 16, g.bin_mesh_size);
	store_u32(work, g.extension + 4, g.extension_size);
	store_u32(work, g.geometry + 4, g.geometry_size);
}

EnclosingSizes enclosing_sizes(std::uint64_t geometry, std::optional<std::uint64_t> list_size_at)
{
	EnclosingSizes e;
	// Only a chunk whose header ends before the Geometry begins can enclose
	// it; in a damaged stream where the two overlap, a correction would
	// write into the Geometry's own header.
	if (list_size_at && *list_size_at != 4 && *list_size_at + 8 <= geometry)
		e.list = list_size_at;
	e.first = geometry >= 12;
	return e;
}

std::uint64_t write_rebuilt_region(bytes old, const GeometryLayout& g, mut_bytes region)
{
	const std::uint64_t carried = g.extension + 24 - g.material_list;
	mut_bytes body = region.subspan(0, g.struct_size);
	mut_bytes bin_mesh = region.subspan(g.struct_size + carried, g.bin_mesh_size);

	// Geometry header without texture-set count and native flags, then the
	// three surface properties.
	std::memcpy(body.data(), old.data() + g.geometry + 24, 16);
	body[2] = 0;
	body[3] = 0;
	for (std::size_t k = 0; k < 3; k++)
		store_f32(body, 16 + 4 * k, 1.0f);
	std::memcpy(region.data() + g.struct_size, old.data() + g.material_list, carried);

	const bytes native = old.first(g.native_end);
	const GenericSections s = generic_sections(g);
	const std::uint64_t v = g.vertices;
	const TriangleResult triangles = convert_triangles(native, g.bin_mesh_flag, g.kept.meshes, g.index_start,
	                                                   body.subspan(s.triangles, 8 * std::uint64_t(g.triangles)));
	VertexSections sections;
	sections.colours = section(body, s.colours, 4 * v, g.flags & flag_prelit_colours);
	sections.texcoords = section(body, s.texcoords, 8 * v, g.flags & flag_texture_coordinates);
	sections.positions = body.subspan(s.positions, 12 * v);
	sections.normals = section(body, s.normals, 12 * v, g.flags & flag_normals);
	convert_vertex_records(native, g.flags, g.vertices, triangles.end, sections);
	write_morph_target_header(old, g.geometry + 40, g.flags, body.subspan(s.morph_header, 24));
	write_bin_mesh_body(native, g.bin_mesh_flag, g.kept.meshes, std::uint32_t(g.kept.index_total), g.index_start,
	                    bin_mesh);
	return triangles.produced;
}

GeometryProblem rebuild_geometry(std::vector<std::uint8_t>& work, std::uint64_t geometry,
                                 std::optional<std::uint64_t> list_size_at)
{
	GeometryLayout g;
	if (GeometryProblem problem = plan_geometry(work, geometry, work.size(), g); problem != GeometryProblem::none)
		return problem;

	// The enclosing chunks keep 32-bit wrap-around.
	correct_geometry_sizes(work, g);
	const EnclosingSizes enclosing = enclosing_sizes(geometry, list_size_at);
	if (enclosing.list)
		store_u32(work, *enclosing.list, load_u32(work, *enclosing.list) + g.growth);
	if (enclosing.first)
		store_u32(work, 4, load_u32(work, 4) + g.growth);

	std::vector<std::uint8_t> rebuilt(g.new_length);
	const std::uint64_t head = g.geometry + 24;
	const std::uint64_t tail = g.native_data + g.removed;
	const std::uint64_t region = rebuilt_region_length(g);
	std::copy_n(work.begin(), head, rebuilt.begin());
	const std::uint64_t produced = write_rebuilt_region(work, g, mut_bytes(rebuilt).subspan(head, region));
	std::copy(work.begin() + std::ptrdiff_t(tail), work.end(), rebuilt.begin() + std::ptrdiff_t(head + region));
	work = std::move(rebuilt);
	return produced > g.triangles ? GeometryProblem::records_dropped : GeometryProblem::none;
}

} // namespace kestrun
