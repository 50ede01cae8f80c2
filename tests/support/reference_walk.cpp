#include "support/reference_walk.h"

namespace kestrun::testing {

std::vector<std::uint8_t> reference_convert_stream(bytes stream, std::vector<GeometryReport>& problems)
{
	std::vector<std::uint8_t> work(stream.begin(), stream.end());
	restamp_stream(work, target_stamp);
	std::optional<std::uint64_t> list_size_at;
	std::int64_t shift = 0;
	for (std::uint64_t i = 8; fits(work.size(), i, 4);) {
		if (load_u32(work, i) != target_stamp) {
			i++;
			continue;
		}
		const std::uint64_t header = i - 8;
		const std::uint32_t type = load_u32(work, header);
		if (type == chunk_geometry_list) {
			list_size_at = header + 4;
		} else if (type == chunk_geometry) {
			const std::uint64_t before = work.size();
			const GeometryProblem problem = rebuild_geometry(work, header, list_size_at);
			if (problem != GeometryProblem::none)
				problems.push_back({std::uint64_t(std::int64_t(header) - shift), problem});
			if (!leaves_geometry_unconverted(problem)) {
				shift += std::int64_t(work.size()) - std::int64_t(before);
				i = header + 12 + load_u32(work, header + 4);
				continue;
			}
		}
		i++;
	}
	return work;
}

} // namespace kestrun::testing
