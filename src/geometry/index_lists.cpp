#include "geometry/steps.h"

namespace kestrun {

std::uint64_t skip_fill_words(bytes input, std::uint64_t pos)
{
	while (fits(input.size(), pos, 4) && load_u32(input, pos) == format::fill_word)
		pos += 4;
	return pos;
}

std::optional<std::uint64_t> walk_index_lists(bytes input, std::uint64_t start, std::span<KeptMesh> kept)
{
	std::uint64_t pos = skip_fill_words(input, start);
	for (KeptMesh& mesh : kept) {
		if (!fits(input.size(), pos, 2 * std::uint64_t(mesh.index_count)))
			return std::nullopt;
		mesh.list = pos;
		// An odd list is padded with one u16 to a whole word.
		pos += 2 * std::uint64_t(mesh.index_count) + (mesh.index_count & 1 ? 2 : 0);
		pos = skip_fill_words(input, pos);
	}
	return pos;
}

} // namespace kestrun
