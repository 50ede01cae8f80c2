#include "geometry/geometry.h"

namespace kestrun {

void walk_chunks(std::vector<std::uint8_t>& work, std::uint32_t target, std::vector<GeometryReport>& problems)
{
	std::optional<std::uint64_t> list_size_at;
	// Rebuilds before the scan position shift everything after them; this
	// keeps reported offsets in the inflated stream's own terms.
	std::int64_t shift = 0;

	// A match at offsets 0 to 7 has no room for a header in front of it.
	for (std::uint64_t i = 8; fits(work.size(), i, 4);) {
		if (load_u32(work, i) != target) {
			i++;
			continue;
		}
		const std::uint64_t header = i - 8;
		const std::uint32_t type = load_u32(work, header);
		if (type == chunk_geometry_list) {
			list_size_at = header + 4;
		} else if (type == chunk_geometry) {
			const std::uint64_t before = work.size();
			GeometryProblem problem = rebuild_geometry(work, header, list_size_at);
			if (problem != GeometryProblem::none)
				problems.push_back({std::uint64_t(std::int64_t(header) - shift), problem});
			if (!leaves_geometry_unconverted(problem)) {
				shift += std::int64_t(work.size()) - std::int64_t(before);
				// Go on after the rebuilt Geometry; its own bytes are not
				// examined again. In 64 bits, so the walk always moves on.
				i = header + 12 + load_u32(work, header + 4);
				continue;
			}
		}
		i++;
	}
}

} // namespace kestrun
