#include "geometry/steps.h"

namespace kestrun {

namespace {

// Writes one record (second, first, material, third) when there is room;
// counts it either way. The material is the kept mesh's, the one the rebuilt
// Bin Mesh lists for it: readers that take materials from the triangles
// must find the same split as those that take it from the Bin Mesh.
void emit(mut_bytes section, std::uint64_t& produced, std::uint16_t material, std::uint16_t first,
          std::uint16_t second, std::uint16_t third)
{
	constexpr std::uint64_t record = format::triangle_record_size;
	if (fits(section.size(), record * produced, record)) {
		const std::size_t at = std::size_t(record * produced);
		store_u16(section, at, second);
		store_u16(section, at + 2, first);
		store_u16(section, at + format::triangle_material_at, material);
		store_u16(section, at + 6, third);
	}
	produced++;
}

void convert_list(bytes input, const KeptMesh& mesh, mut_bytes section, std::uint64_t& produced)
{
	const auto material = std::uint16_t(mesh.material);
	// A last incomplete triple yields nothing.
	for (std::uint64_t j = 0; j + 3 <= mesh.index_count; j += 3) {
		const std::uint64_t at = mesh.list + 2 * j;
		emit(section, produced, material, load_u16(input, at), load_u16(input, at + 2), load_u16(input, at + 4));
	}
}

void convert_strip(bytes input, const KeptMesh& mesh, mut_bytes section, std::uint64_t& produced)
{
	const auto material = std::uint16_t(mesh.material);
	format::unroll_strip(
	    mesh.index_count, [&](std::uint64_t j) { return load_u16(input, mesh.list + 2 * j); },
	    [&](std::uint16_t p, std::uint16_t q, std::uint16_t r) { emit(section, produced, material, p, q, r); });
}

} // namespace

std::uint64_t convert_triangles(bytes input, std::uint8_t flag, std::span<const KeptMesh> kept, mut_bytes section)
{
	std::uint64_t produced = 0;
	if (flag != format::bin_mesh_list && flag != format::bin_mesh_strip)
		return produced;
	for (const KeptMesh& mesh : kept) {
		if (flag == format::bin_mesh_list)
			convert_list(input, mesh, section, produced);
		else
			convert_strip(input, mesh, section, produced);
	}
	return produced;
}

} // namespace kestrun
