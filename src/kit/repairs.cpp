// What older converters left wrong in files users still hold, found from the
// file itself: `check` warns about it and `fix` mends it.
#include "kit/fix.h"

#include <algorithm>
#include <array>
#include <map>

namespace kestrun::kit {

namespace {

using namespace stream;
using Corners = std::array<std::uint32_t, 3>;

// A triangle's vertices in any order.
Corners corners(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
	Corners k{a, b, c};
	std::sort(k.begin(), k.end());
	return k;
}

constexpr std::int64_t conflicting = -1;

// The material of the Bin Mesh mesh that yields each triangle, or
// `conflicting` where meshes of different materials yield it.
std::map<Corners, std::int64_t> materials_by_triangle(const BinMeshInfo& bin_mesh)
{
	std::map<Corners, std::int64_t> found;
	for (const BinMeshMesh& mesh : bin_mesh.meshes) {
		const std::vector<std::uint32_t> t = mesh_triangles(mesh, bin_mesh.flag);
		for (std::size_t i = 0; i + 2 < t.size(); i += 3) {
			const auto [at, added] = found.emplace(corners(t[i], t[i + 1], t[i + 2]), mesh.material);
			if (!added && at->second != mesh.material)
				at->second = conflicting;
		}
	}
	return found;
}

bool every_material_zero(bytes records)
{
	for (std::size_t at = 0; fits(records.size(), at, format::triangle_record_size); at += format::triangle_record_size)
		if (load_u16(records, at + format::triangle_material_at) != 0)
			return false;
	return true;
}

std::optional<BinMeshInfo> generic_bin_mesh(const Chunk& geometry)
{
	const Chunk* extension = find_child(geometry, format::type_extension);
	const Chunk* chunk = extension ? find_child(*extension, format::type_bin_mesh) : nullptr;
	if (chunk == nullptr)
		return std::nullopt;
	std::optional<BinMeshInfo> info = decode_bin_mesh(*chunk, false);
	if (!info || info->flag > format::bin_mesh_strip)
		return std::nullopt;
	return info;
}

} // namespace

std::optional<TriangleMaterialRepair> plan_triangle_materials(const Chunk& geometry)
{
	const std::optional<GeometryInfo> g = decode_geometry(geometry);
	if (!g || g->native_flags != 0 || !every_material_zero(g->triangle_records))
		return std::nullopt;
	const std::optional<BinMeshInfo> bin_mesh = generic_bin_mesh(geometry);
	if (!bin_mesh || std::none_of(bin_mesh->meshes.begin(), bin_mesh->meshes.end(),
	                              [](const BinMeshMesh& m) { return m.material != 0; }))
		return std::nullopt;

	TriangleMaterialRepair repair;
	repair.records = g->triangle_records;
	const std::map<Corners, std::int64_t> found = materials_by_triangle(*bin_mesh);
	for (std::size_t at = 0; fits(repair.records.size(), at, format::triangle_record_size); at += format::triangle_record_size) {
		const format::TriangleRecord t = format::read_triangle_record(repair.records, at);
		const auto k = found.find(corners(t.second, t.first, t.third));
		const std::string which = "triangle " + std::to_string(at / format::triangle_record_size);
		if (k == found.end())
			repair.problem = which + " is in no mesh of the Bin Mesh";
		else if (k->second == conflicting)
			repair.problem = which + " is in meshes of different materials";
		else if (k->second > 0xFFFF)
			repair.problem = which + ": material " + std::to_string(k->second) + " does not fit a triangle record";
		if (!repair.problem.empty()) {
			repair.materials.clear();
			return repair;
		}
		repair.materials.push_back(std::uint16_t(k->second));
	}
	// Meshes of other materials that yield no triangle change nothing.
	if (std::all_of(repair.materials.begin(), repair.materials.end(), [](std::uint16_t m) { return m == 0; }))
		return std::nullopt;
	return repair;
}

std::optional<std::uint32_t> stray_device_id(const Chunk& dictionary)
{
	const std::optional<DictionaryInfo> info = decode_dictionary(dictionary);
	if (!info || !format::is_version_3_1(dictionary.stamp))
		return std::nullopt;
	if (info->device <= format::highest_pc_device)
		return std::nullopt;
	for (const Chunk* native : children_of_type(dictionary, format::type_texture_native)) {
		const std::optional<TextureNativeHeader> header = decode_texture_native_header(*native);
		if (!header || header->platform != format::platform_pc)
			return std::nullopt;
	}
	return info->device;
}

} // namespace kestrun::kit
