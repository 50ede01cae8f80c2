#include "stream/stream.h"

namespace kestrun::stream {

std::vector<std::uint32_t> unroll_strip(std::span<const std::uint32_t> strip)
{
	std::vector<std::uint32_t> list;
	if (strip.size() < 3)
		return list;
	list.reserve(3 * (strip.size() - 2));
	for (std::size_t j = 0; j + 2 < strip.size(); j++) {
		const std::uint32_t p = strip[j], q = strip[j + 1], r = strip[j + 2];
		// Repeated vertices are the stitches between strips: no area to draw.
		// They still count for the parity of the positions after them.
		if (p == q || p == r || q == r)
			continue;
		if (j % 2 == 0)
			list.insert(list.end(), {p, q, r});
		else
			list.insert(list.end(), {p, r, q});
	}
	return list;
}

std::vector<std::uint32_t> mesh_triangles(const BinMeshMesh& mesh, std::uint32_t flag)
{
	if (flag == 1)
		return unroll_strip(mesh.indices);
	return {mesh.indices.begin(), mesh.indices.begin() + std::ptrdiff_t(mesh.indices.size() / 3 * 3)};
}

} // namespace kestrun::stream
