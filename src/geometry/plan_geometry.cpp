#include "geometry/steps.h"

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
	if (flags & format::flag_prelit_colours)
		size += 4 * vertices;
	if (flags & format::flag_texture_coordinates)
		size += 8 * vertices;
	if (flags & format::flag_normals)
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
	// Geometry and Struct headers, geometry header and bounding sphere.
	if (!fits(len, geometry, 56))
		return unfit(GeometryProblem::header_outside);
	if (load_u32(input, geometry + 12) != format::type_struct)
		return unfit(GeometryProblem::not_struct);
	const bool native_flags = input[geometry + 27] != 0;
	const auto not_native = [native_flags](GeometryProblem problem) {
		return native_flags ? unfit(problem) : PlanResult{PlanOutcome::already_generic};
	};

	g.material_list = geometry + 24 + std::uint64_t(load_u32(input, geometry + 16));
	if (!fits(len, g.material_list, 28))
		return unfit(GeometryProblem::material_list_outside);
	if (load_u32(input, g.material_list) != format::type_material_list)
		return unfit(GeometryProblem::not_material_list);

	g.extension = g.material_list + 12 + std::uint64_t(load_u32(input, g.material_list + 4));
	if (!fits(len, g.extension, 12))
		return unfit(GeometryProblem::extension_outside);
	if (load_u32(input, g.extension) != format::type_extension)
		return unfit(GeometryProblem::not_extension);
	extension_end = g.extension + 12 + std::uint64_t(load_u32(input, g.extension + 4));

	// The Bin Mesh begins the Extension's body, and the Native Data chunk
	// follows it, its header still inside the Extension.
	if (extension_end < g.extension + 24)
		return not_native(GeometryProblem::no_bin_mesh);
	if (!fits(len, g.extension, 24))
		return unfit(GeometryProblem::extension_outside);
	if (load_u32(input, g.extension + 12) != format::type_bin_mesh)
		return not_native(GeometryProblem::no_bin_mesh);
	g.native_data = g.extension + 24 + std::uint64_t(load_u32(input, g.extension + 16));
	if (extension_end < g.native_data + 12)
		return not_native(GeometryProblem::no_native_data);
	if (!fits(len, g.native_data, 12))
		return unfit(GeometryProblem::native_data_outside);
	if (load_u32(input, g.native_data) != format::type_native_data)
		return not_native(GeometryProblem::no_native_data);
	return {PlanOutcome::rebuild};
}

} // namespace

EnclosingChunks enclosing_chunks(std::uint64_t geometry, std::uint64_t geometry_end, std::optional<ChunkExtent> list,
                                 std::optional<ChunkExtent> top)
{
	// A chunk whose header overlaps the Geometry's does not enclose it: a
	// correction would write into the Geometry's own header.
	const auto encloses = [&](const std::optional<ChunkExtent>& c) {
		return c && c->header + 12 <= geometry && c->end >= geometry_end;
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
	const std::uint64_t len = input.size();
	g = GeometryPlan();
	g.geometry = geometry;
	std::uint64_t extension_end = 0;
	if (const PlanResult types = check_chunk_types(input, g, extension_end); types.outcome != PlanOutcome::rebuild)
		return types;

	const std::uint32_t struct_old = load_u32(input, geometry + 16);
	g.flags = load_u16(input, geometry + 24);
	g.triangles = load_u32(input, geometry + 28);
	g.vertices = load_u32(input, geometry + 32);
	g.morph_targets = load_u32(input, geometry + 36);
	const std::uint32_t materials = load_u32(input, g.material_list + 24);
	const std::uint32_t bin_mesh_old = load_u32(input, g.extension + 16);
	// The Native Data header lies whole in the stream, so the Bin Mesh's
	// flag word before it does too.
	g.bin_mesh_flag = input[g.extension + 24];

	g.removed = std::uint64_t(load_u32(input, g.native_data + 4)) + 28;
	if (!fits(len, g.native_data, g.removed))
		return unfit(GeometryProblem::native_data_outside);

	// The parts must nest as they claim to: the Extension ends the Geometry,
	// and the Native Data chunk with the 16 bytes after it lies inside the
	// Extension. A size that overstates its chunk would otherwise let the
	// rebuild take bytes of the chunks after it, or send the walk past the
	// geometries that follow, leaving them unconverted without a word.
	g.geometry_end = geometry + 12 + std::uint64_t(load_u32(input, geometry + 4));
	if (g.geometry_end > len)
		return unfit(GeometryProblem::geometry_outside);
	if (extension_end != g.geometry_end)
		return unfit(GeometryProblem::geometry_size_mismatch);
	if (g.native_data + g.removed > extension_end)
		return unfit(GeometryProblem::native_data_outside_extension);

	// Descriptors, index lists, fill words and vertex records are read only
	// inside the Native Data body: a count that reaches beyond it would
	// otherwise read the chunks and geometries after it as this geometry's
	// own, and convert them again into it.
	g.native_end = g.native_data + g.removed - 16;
	const bytes native = input.first(g.native_end);
	const std::uint64_t descriptors = g.native_data + 64;
	if (!fits(native.size(), descriptors, 24 * std::uint64_t(materials)))
		return unfit(GeometryProblem::descriptors_outside);
	// The old Bin Mesh records lie ahead of the descriptors and take less
	// room each, so they fit whenever the descriptors do.
	const std::uint64_t records = g.extension + 36;

	g.kept = select_kept_meshes(native, materials, descriptors, records);
	const std::uint64_t index_start = descriptors + 24 * std::uint64_t(materials) + 4;
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
	if (2 * std::uint64_t(g.triangles) > g.removed - 28)
		return unfit(GeometryProblem::triangle_count_too_large);

	const std::uint64_t struct_size = generic_struct_size(g.flags, g.triangles, g.vertices);
	const std::uint64_t bin_mesh_size = 12 + 8 * std::uint64_t(g.kept.meshes.size()) + 4 * g.kept.index_total;
	if (struct_size > u32_limit || bin_mesh_size > u32_limit || g.kept.index_total > u32_limit)
		return unfit(GeometryProblem::size_overflow);
	g.struct_size = std::uint32_t(struct_size);
	g.bin_mesh_size = std::uint32_t(bin_mesh_size);

	const std::uint64_t added = struct_size + bin_mesh_size;
	const std::uint64_t taken = std::uint64_t(struct_old) + bin_mesh_old + g.removed;
	std::uint32_t length32 = 0;
	if (!adjusted_size(load_u32(input, g.extension + 4), bin_mesh_size, bin_mesh_old + g.removed, g.extension_size) ||
	    !adjusted_size(load_u32(input, geometry + 4), added, taken, g.geometry_size) ||
	    !adjusted_size(stream_length, added, taken, length32))
		return unfit(GeometryProblem::size_overflow);
	g.growth = std::uint32_t(added - taken);
	return {PlanOutcome::rebuild};
}

} // namespace kestrun
