#include "geometry/geometry.h"

namespace kestrun {

void write_bin_mesh_body(bytes old, std::uint8_t flag, std::span<const KeptMesh> kept, std::uint32_t index_total,
                         std::uint64_t start, mut_bytes body)
{
	std::vector<std::uint64_t> lists;
	lists.reserve(kept.size());
	const bool walked = walk_index_lists(old, start, kept, &lists).has_value();
	assert(walked && "index lists are checked before the rebuild");
	if (!walked)
		return;

	store_u32(body, 0, flag);
	store_u32(body, 4, std::uint32_t(kept.size()));
	store_u32(body, 8, index_total);
	std::uint64_t out = 12;
	for (std::size_t m = 0; m < kept.size(); m++) {
		store_u32(body, out, kept[m].index_count);
		store_u32(body, out + 4, kept[m].material);
		out += 8;
		// A strip stays a strip: indices as stored, repeats included.
		for (std::uint64_t j = 0; j < kept[m].index_count; j++, out += 4)
			store_u32(body, out, load_u16(old, lists[m] + 2 * j));
	}
}

} // namespace kestrun
