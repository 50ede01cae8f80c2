#include "geometry/steps.h"

#include <limits>

namespace kestrun {

namespace {

using format::chunk_header_size;
using format::first_child_at;
using format::struct_body_at;

constexpr std::uint64_t u32_limit = std::uint64_t(std::numeric_limits<std::uint32_t>::max());

// The Geometry and Struct headers, the geometry header and the bounding
// sphere: what every check reads first.
constexpr std::uint64_t geometry_fixed = struct_body_at + format::geometry_header_size + format::bounding_sphere_size;
// The Native Data chunk's header and the bytes after it that are not a chunk.
constexpr std::uint64_t native_data_overhead = chunk_header_size + format::native_data_tail;

// The body size a chunk's header at `header` states.
std::uint64_t stated_size(bytes input, std::uint64_t header)
{
	return load_u32(input, header + format::chunk_size_at);
}

// Where the chunk at `header` ends by its stated size.
std::uint64_t chunk_end(bytes input, std::uint64_t header)
{
	return header + chunk_header_size + stated_size(input, header);
}

// old + (new sizes) - (old sizes), which must land inside 0 to 2^32 - 1.
bool adjusted_size(std::uint64_t old, std::uint64_t add, std::uint64_t remove, std::uint32_t& result)
{
	if (old + add < remove || old + add - remove > u32_limit)
		return false;
	result = std::uint32_t(old + add - remove);
	return true;
}

PlanResult unfit(GeometryProblem problem)
{
	return {PlanOutcome::unfit, problem};
}

// The Geometry's chunks, found by position, must have their types. The
// Struct, Material List and Extension are the layout of every Geometry; a
// missing Bin Mesh or Native Data chunk is the mark of one already generic,
// unless its native flags say otherwise. Reads only whole headers inside the
// stream.
PlanResult check_chunk_types(bytes input, GeometryPlan& g, std::uint64_t& extension_end)
{
	const std::uint64_t len = input.size();
	const std::uint64_t geometry = g.geometry;
	if (!fits(len, geometry, geometry_fixed))
		return unfit(GeometryProblem::header_outside);
	if (load_u32(input, geometry + first_child_at) != format::type_struct)
		return unfit(GeometryProblem::not_struct);
	const bool native_flags = input[geometry + struct_body_at + format::geometry_native_at] != 0;
	const auto not_native = [native_flags](GeometryProblem problem) {
		return native_flags ? unfit(problem) : PlanResult{PlanOutcome::already_generic};
	};

	g.material_list = chunk_end(input, geometry + first_child_at);
	if (!fits(len, g.material_list, struct_body_at + format::list_count_size))
		return unfit(GeometryProblem::material_list_outside);
	if (load_u32(input, g.material_list) != format::type_material_list)
		return unfit(GeometryProblem::not_material_list);

	g.extension = chunk_end(input, g.material_list);
	if (!fits(len, g.extension, chunk_header_size))
		return unfit(GeometryProblem::extension_outside);
	if (load_u32(input, g.extension) != format::type_extension)
		return unfit(GeometryProblem::not_extension);
	extension_end = chunk_end(input, g.extension);

	// The Bin Mesh begins the Extension's body, and the Native Data chunk
	// follows it, its header still inside the Extension.
	const std::uint64_t bin_mesh = g.extension + first_child_at;
	if (extension_end < bin_mesh + chunk_header_size)
		return not_native(GeometryProblem::no_bin_mesh);
	if (!fits(len, bin_mesh, chunk_header_size))
		return unfit(GeometryProblem::extension_outside);
	if (load_u32(input, bin_mesh) != format::type_bin_mesh)
		return not_native(GeometryProblem::no_bin_mesh);
	g.native_data = chunk_end(input, bin_mesh);
	if (extension_end < g.native_data + chunk_header_size)
		return not_native(GeometryProblem::no_native_data);
	if (!fits(len, g.native_data, chunk_header_size))
		return unfit(GeometryProblem::native_data_outside);
	if (load_u32(input, g.native_data) != format::type_native_data)
		return not_native(GeometryProblem::no_native_data);
	return {PlanOutcome::rebuild};
}

// The counts of the geometry header, the Material List's count and the Bin
// Mesh's flag; then the Native Data chunk's extent, which with the
// Extension's and the Geometry's must nest as the chunks claim to: the
// Extension ends the Geometry, and the Native Data chunk with the 16 bytes
// after it lies inside the Extension. A size that overstates its chunk would
// otherwise let the rebuild take bytes of the chunks after it, or send the
// walk past the geometries that follow, leaving them unconverted without a
// word.
PlanResult check_nesting(bytes input, GeometryPlan& g, std::uint64_t extension_end)
{
	const std::uint64_t len = input.size();
	const std::uint64_t header = g.geometry + struct_body_at;
	g.flags = load_u16(input, header + format::geometry_flags_at);
	g.triangles = load_u32(input, header + format::geometry_triangles_at);
	g.vertices = load_u32(input, header + format::geometry_vertices_at);
	g.morph_targets = load_u32(input, header + format::geometry_morphs_at);
	// The Native Data header lies whole in the stream, so the Bin Mesh's
	// flag word before it does too.
	g.bin_mesh_flag = input[g.extension + first_child_at + chunk_header_size];

	g.removed = stated_size(input, g.native_data) + native_data_overhead;
	if (!fits(len, g.native_data, g.removed))
		return unfit(GeometryProblem::native_data_outside);
	g.geometry_end = chunk_end(input, g.geometry);
	if (g.geometry_end > len)
		return unfit(GeometryProblem::geometry_outside);
	if (extension_end != g.geometry_end)
		return unfit(GeometryProblem::geometry_size_mismatch);
	if (g.native_data + g.removed > extension_end)
		return unfit(GeometryProblem::native_data_outside_extension);
	return {PlanOutcome::rebuild};
}

// Descriptors, index lists, fill words and vertex records are read only
// inside the Native Data body: a count that reaches beyond it would
// otherwise read the chunks and geometries after it as this geometry's own,
// and convert them again into it.
PlanResult plan_native_data(bytes input, GeometryPlan& g)
{
	const std::uint32_t materials =
	    load_u32(input, g.material_list + struct_body_at + format::list_count_at);
	g.native_end = g.native_data + g.removed - format::native_data_tail;
	const bytes native = input.first(g.native_end);
	const std::uint64_t descriptors = g.native_data + chunk_header_size + format::native_descriptors_at;
	const std::uint64_t descriptors_size = format::native_descriptor_size * std::uint64_t(materials);
	if (!fits(native.size(), descriptors, descriptors_size))
		return unfit(GeometryProblem::descriptors_outside);
	// The old Bin Mesh records lie ahead of the descriptors and take less
	// room each, so they fit whenever the descriptors do.
	const std::uint64_t records = g.extension + first_child_at + chunk_header_size + format::bin_mesh_header_size;

	g.kept = select_kept_meshes(native, materials, descriptors, records);
	const std::uint64_t index_start = descriptors + descriptors_size + format::native_after_descriptors;
	const std::optional<std::uint64_t> end = walk_index_lists(native, index_start, g.kept.meshes);
	if (!end)
		return unfit(GeometryProblem::index_list_outside);
	g.vertex_start = *end;
	if (!fits(native.size(), g.vertex_start, vertex_stride(g.flags) * g.vertices))
		return unfit(GeometryProblem::vertex_records_outside);

	// The triangle count sizes a section of the output without being checked
	// against anything read; every triangle takes at least one 2-byte index
	// of the Native Data, so a count beyond that is damage, and trusting it
	// would let a few bytes of input ask for gigabytes of zeros.
	if (2 * std::uint64_t(g.triangles) > g.removed - native_data_overhead)
		return unfit(GeometryProblem::triangle_count_too_large);
	return {PlanOutcome::rebuild};
}

// The generic Struct's and the new Bin Mesh's sizes, and the Extension's,
// the Geometry's and the stream's once changed; all must fit in 32 bits.
PlanResult plan_sizes(bytes input, GeometryPlan& g, std::uint64_t stream_length)
{
	const std::uint64_t sets = g.flags & format::flag_texture_coordinates ? 1 : 0;
	const std::uint64_t struct_size =
	    format::generic_layout(g.flags, sets, g.triangles, g.vertices, 1, true).size;
	const std::uint64_t bin_mesh_size = format::bin_mesh_header_size +
	                                    format::bin_mesh_record_size * std::uint64_t(g.kept.meshes.size()) +
	                                    4 * g.kept.index_total;
	if (struct_size > u32_limit || bin_mesh_size > u32_limit || g.kept.index_total > u32_limit)
		return unfit(GeometryProblem::size_overflow);
	g.struct_size = std::uint32_t(struct_size);
	g.bin_mesh_size = std::uint32_t(bin_mesh_size);

	const std::uint64_t struct_old = stated_size(input, g.geometry + first_child_at);
	const std::uint64_t bin_mesh_old = stated_size(input, g.extension + first_child_at);
	const std::uint64_t added = struct_size + bin_mesh_size;
	const std::uint64_t taken = struct_old + bin_mesh_old + g.removed;
	std::uint32_t length32 = 0;
	if (!adjusted_size(stated_size(input, g.extension), bin_mesh_size, bin_mesh_old + g.removed, g.extension_size) ||
	    !adjusted_size(stated_size(input, g.geometry), added, taken, g.geometry_size) ||
	    !adjusted_size(stream_length, added, taken, length32))
		return unfit(GeometryProblem::size_overflow);
	g.growth = std::uint32_t(added - taken);
	return {PlanOutcome::rebuild};
}

} // namespace

EnclosingChunks enclosing_chunks(std::uint64_t geometry, std::uint64_t geometry_end, std::optional<ChunkExtent> list,
                                 std::optional<ChunkExtent> top)
{
	// A chunk whose header overlaps the Geometry's does not enclose it: a
	// correction would write into the Geometry's own header.
	const auto encloses = [&](const std::optional<ChunkExtent>& c) {
		return c && c->header + chunk_header_size <= geometry && c->end >= geometry_end;
	};
	EnclosingChunks e;
	if (encloses(top))
		e.top = top->header;
	if (encloses(list) && list->header != e.top)
		e.list = list->header;
	return e;
}

PlanResult plan_geometry(bytes input, std::uint64_t geometry, std::uint64_t stream_length, GeometryPlan& g)
{
	g = GeometryPlan();
	g.geometry = geometry;
	std::uint64_t extension_end = 0;
	// Each stage runs only when the ones before it found the Geometry fit.
	PlanResult result = check_chunk_types(input, g, extension_end);
	if (result.outcome == PlanOutcome::rebuild)
		result = check_nesting(input, g, extension_end);
	if (result.outcome == PlanOutcome::rebuild)
		result = plan_native_data(input, g);
	if (result.outcome == PlanOutcome::rebuild)
		result = plan_sizes(input, g, stream_length);
	return result;
}

} // namespace kestrun
