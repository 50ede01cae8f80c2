#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

void write_morph_target_header(bytes input, std::uint64_t sphere, std::uint16_t flags, mut_bytes header)
{
	constexpr std::uint64_t sphere_size = format::bounding_sphere_size;
	assert(fits(input.size(), sphere, sphere_size) && header.size() == format::morph_header_size);
	std::memcpy(header.data(), input.data() + sphere, sphere_size);
	store_u32(header, format::morph_has_positions_at, 1);
	store_u32(header, format::morph_has_normals_at, flags & format::flag_normals ? 1 : 0);
}

} // namespace kestrun
