#include "geometry/geometry.h"

namespace kestrun {

std::vector<std::uint8_t> convert_stream(bytes stream, std::vector<GeometryReport>& problems)
{
	std::vector<std::uint8_t> work(stream.begin(), stream.end());
	restamp_stream(work, target_stamp);
	walk_chunks(work, target_stamp, problems);
	return work;
}

} // namespace kestrun
