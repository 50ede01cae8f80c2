#include "geometry/steps.h"

namespace kestrun {

std::vector<std::uint8_t> convert_stream(bytes stream, std::vector<GeometryReport>& problems)
{
	std::vector<std::uint8_t> work(stream.begin(), stream.end());
	restamp_stream(work, target_stamp);
	return walk_chunks(work, target_stamp, problems);
}

std::vector<std::uint8_t> convert_stream(std::unique_ptr<std::uint8_t[]> stream, std::uint32_t length,
                                         std::vector<GeometryReport>& problems)
{
	const mut_bytes work(stream.get(), length);
	restamp_stream(work, target_stamp);
	return walk_chunks(work, target_stamp, problems);
}

} // namespace kestrun
