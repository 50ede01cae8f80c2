#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

void convert_vertex_records(bytes input, std::uint16_t flags, std::uint32_t vertices, std::uint64_t start,
                            const VertexSections& sections)
{
	const std::uint64_t stride = vertex_stride(flags);
	assert(fits(input.size(), start, stride * vertices));
	const bool normals = flags & flag_normals;
	const bool colours = flags & flag_prelit_colours;
	const bool texcoords = flags & flag_texture_coordinates;
	// The console's record order: position, packed normal, colour, texture
	// coordinates.
	const std::uint64_t colour_at = normals ? 16 : 12;
	const std::uint64_t texcoord_at = 12 + (normals ? 4 : 0) + (colours ? 4 : 0);

	for (std::uint64_t i = 0; i < vertices; i++) {
		const std::uint64_t record = start + i * stride;
		std::memcpy(sections.positions.data() + 12 * i, input.data() + record, 12);
		if (normals) {
			const std::array<float, 3> n = decode_packed_normal(load_u32(input, record + 12));
			for (std::size_t k = 0; k < 3; k++)
				store_f32(sections.normals, 12 * i + 4 * k, n[k]);
		}
		if (colours) {
			// Stored blue, green, red, alpha; written red, green, blue, alpha.
			const std::uint8_t* c = input.data() + record + colour_at;
			std::uint8_t* out = sections.colours.data() + 4 * i;
			out[0] = c[2];
			out[1] = c[1];
			out[2] = c[0];
			out[3] = c[3];
		}
		if (texcoords)
			std::memcpy(sections.texcoords.data() + 8 * i, input.data() + record + texcoord_at, 8);
	}
}

} // namespace kestrun
