#include "stream/stream.h"

namespace kestrun::stream {

std::vector<std::uint32_t> unroll_strip(std::span<const std::uint32_t> strip)
{
	std::vector<std::uint32_t> list;
	if (strip.size() < 3)
		return list;
	list.reserve(3 * (strip.size() - 2));
	format::unroll_strip(
	    strip.size(), [&](std::uint64_t j) { return strip[std::size_t(j)]; },
	    [&](std::uint32_t p, std::uint32_t q, std::uint32_t r) { list.insert(list.end(), {p, q, r}); });
	return list;
}

std::vector<std::uint32_t> mesh_triangles(const BinMeshMesh& mesh, std::uint32_t flag)
{
	if (flag == format::bin_mesh_strip)
		return unroll_strip(mesh.indices);
	return {mesh.indices.begin(), mesh.indices.begin() + std::ptrdiff_t(mesh.indices.size() / 3 * 3)};
}

} // namespace kestrun::stream
