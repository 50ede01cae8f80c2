#include "geometry/steps.h"

namespace kestrun {

KeptMeshes select_kept_meshes(bytes input, std::uint32_t materials, std::uint64_t descriptors, std::uint64_t records)
{
	KeptMeshes kept;
	kept.meshes.reserve(materials);
	for (std::uint64_t i = 0; i < materials; i++) {
		const std::uint32_t count = load_u32(input, descriptors + format::native_descriptor_size * i + format::native_index_count_at);
		if (count < 3) {
			kept.dropped++;
			continue;
		}
		// Only the lowest byte of the Bin Mesh record's material index counts.
		kept.meshes.push_back({count, input[records + format::bin_mesh_record_size * i + format::bin_mesh_material_at], 0});
		kept.index_total += count;
	}
	return kept;
}

} // namespace kestrun
