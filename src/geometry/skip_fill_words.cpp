#include "geometry/geometry.h"

namespace kestrun {

std::uint64_t skip_fill_words(bytes old, std::uint64_t pos)
{
	while (fits(old.size(), pos, 4) && load_u32(old, pos) == fill_word)
		pos += 4;
	return pos;
}

std::optional<std::uint64_t> walk_index_lists(bytes old, std::uint64_t start, std::span<const KeptMesh> kept,
                                              std::vector<std::uint64_t>* list_starts)
{
	std::uint64_t pos = skip_fill_words(old, start);
	for (const KeptMesh& mesh : kept) {
		if (!fits(old.size(), pos, 2 * std::uint64_t(mesh.index_count)))
			return std::nullopt;
		if (list_starts)
			list_starts->push_back(pos);
		// An odd list is padded with one u16 to a whole word.
		pos += 2 * std::uint64_t(mesh.index_count) + (mesh.index_count & 1 ? 2 : 0);
		pos = skip_fill_words(old, pos);
	}
	return pos;
}

} // namespace kestrun
