#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

void convert_vertex_records(bytes input, std::uint16_t flags, std::uint32_t vertices, std::uint64_t start,
                            const VertexSections& sections)
{
	const std::uint64_t stride = vertex_stride(flags);
	assert(fits(input.size(), start, stride * vertices));
	const bool normals = flags & format::flag_normals;
	const bool colours = flags & format::flag_prelit_colours;
	const bool texcoords = flags & format::flag_texture_coordinates;
	// The console's record order: position, packed normal, colour, texture
	// coordinates.
	const std::uint64_t normal_at = format::native_position_size;
	const std::uint64_t colour_at = normal_at + (normals ? format::native_normal_size : 0);
	const std::uint64_t texcoord_at = colour_at + (colours ? format::native_colour_size : 0);

	// Plain pointers, taken once: the loop is the converter's hottest, and
	// the views' own fields would otherwise compete for registers.
	const std::uint8_t* record = input.data() + start;
	std::uint8_t* position = sections.positions.data();
	std::uint8_t* normal = sections.normals.data();
	std::uint8_t* colour = sections.colours.data();
	std::uint8_t* texcoord = sections.texcoords.data();
	for (std::uint64_t i = 0; i < vertices; i++, record += stride) {
		std::memcpy(position, record, format::native_position_size);
		position += 12;
		if (normals) {
			std::uint32_t packed;
			std::memcpy(&packed, record + normal_at, 4);
			const std::array<float, 3> n = decode_packed_normal(host_is_little ? packed : swap_bytes(packed));
			store_f32(mut_bytes(normal, 12), 0, n[0]);
			store_f32(mut_bytes(normal, 12), 4, n[1]);
			store_f32(mut_bytes(normal, 12), 8, n[2]);
			normal += 12;
		}
		if (colours) {
			// Stored blue, green, red, alpha; written red, green, blue, alpha.
			const std::uint8_t* c = record + colour_at;
			colour[0] = c[2];
			colour[1] = c[1];
			colour[2] = c[0];
			colour[3] = c[3];
			colour += 4;
		}
		if (texcoords) {
			std::memcpy(texcoord, record + texcoord_at, format::native_texcoord_size);
			texcoord += 8;
		}
	}
}

} // namespace kestrun
