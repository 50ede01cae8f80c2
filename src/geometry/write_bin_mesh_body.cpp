#include "geometry/steps.h"

namespace kestrun {

void write_bin_mesh_body(bytes input, std::uint8_t flag, std::span<const KeptMesh> kept, std::uint32_t index_total,
                         mut_bytes body)
{
	store_u32(body, format::bin_mesh_flag_at, flag);
	store_u32(body, format::bin_mesh_count_at, std::uint32_t(kept.size()));
	store_u32(body, format::bin_mesh_total_at, index_total);
	std::uint64_t out = format::bin_mesh_header_size;
	for (const KeptMesh& mesh : kept) {
		store_u32(body, out, mesh.index_count);
		store_u32(body, out + format::bin_mesh_material_at, mesh.material);
		out += format::bin_mesh_record_size;
		// A strip stays a strip: indices as stored, repeats included.
		for (std::uint64_t j = 0; j < mesh.index_count; j++, out += format::bin_mesh_index_size)
			store_u32(body, out, load_u16(input, mesh.list + 2 * j));
	}
}

} // namespace kestrun
