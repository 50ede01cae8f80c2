#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

void write_morph_target_header(bytes input, std::uint64_t sphere, std::uint16_t flags, mut_bytes header)
{
	assert(fits(input.size(), sphere, 16) && header.size() == 24);
	std::memcpy(header.data(), input.data() + sphere, 16);
	store_u32(header, 16, 1);
	store_u32(header, 20, flags & format::flag_normals ? 1 : 0);
}

} // namespace kestrun
