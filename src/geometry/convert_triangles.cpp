#include "geometry/steps.h"

namespace kestrun {

namespace {

// Writes one record (second, first, 0, third) when there is room; counts it
// either way.
void emit(mut_bytes section, std::uint64_t& produced, std::uint16_t first, std::uint16_t second,
          std::uint16_t third)
{
	if (fits(section.size(), 8 * produced, 8)) {
		const std::size_t at = std::size_t(8 * produced);
		store_u16(section, at, second);
		store_u16(section, at + 2, first);
		store_u16(section, at + 4, 0);
		store_u16(section, at + 6, third);
	}
	produced++;
}

void convert_list(bytes input, std::uint64_t list, std::uint32_t count, mut_bytes section, std::uint64_t& produced)
{
	// A last incomplete triple yields nothing.
	for (std::uint64_t j = 0; j + 3 <= count; j += 3) {
		const std::uint64_t at = list + 2 * j;
		emit(section, produced, load_u16(input, at), load_u16(input, at + 2), load_u16(input, at + 4));
	}
}

void convert_strip(bytes input, std::uint64_t list, std::uint32_t count, mut_bytes section, std::uint64_t& produced)
{
	for (std::uint64_t j = 0; j + 3 <= count; j++) {
		const std::uint64_t at = list + 2 * j;
		const std::uint16_t p = load_u16(input, at), q = load_u16(input, at + 2), r = load_u16(input, at + 4);
		if (p == q || p == r || q == r)
			continue;
		// Every other triangle of a strip turns the other way; keep the
		// winding by swapping its last two corners.
		if (j % 2 == 0)
			emit(section, produced, p, q, r);
		else
			emit(section, produced, p, r, q);
	}
}

} // namespace

std::uint64_t convert_triangles(bytes input, std::uint8_t flag, std::span<const KeptMesh> kept, mut_bytes section)
{
	std::uint64_t produced = 0;
	if (flag != 0 && flag != 1)
		return produced;
	for (const KeptMesh& mesh : kept) {
		if (flag == 0)
			convert_list(input, mesh.list, mesh.index_count, section, produced);
		else
			convert_strip(input, mesh.list, mesh.index_count, section, produced);
	}
	return produced;
}

} // namespace kestrun
