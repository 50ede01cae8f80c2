#include "gltf/gltf.h"

namespace kestrun::gltf {

namespace {

constexpr std::uint32_t glb_magic = 0x46546C67;      // "glTF"
constexpr std::uint32_t glb_version = 2;
constexpr std::uint32_t chunk_json = 0x4E4F534A;     // "JSON"
constexpr std::uint32_t chunk_bin = 0x004E4942;      // "BIN\0"

constexpr std::uint64_t padded(std::uint64_t n)
{
	return (n + 3) / 4 * 4;
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
	const std::size_t at = out.size();
	out.resize(at + 4);
	store_u32(out, at, v);
}

// A chunk header, the data, then `pad` up to the next multiple of four: the
// JSON chunk is padded with spaces (still JSON), the BIN chunk with zeros.
void put_chunk(std::vector<std::uint8_t>& out, std::uint32_t type, bytes data, std::uint8_t pad)
{
	put_u32(out, std::uint32_t(padded(data.size())));
	put_u32(out, type);
	out.insert(out.end(), data.begin(), data.end());
	out.resize(out.size() + (padded(data.size()) - data.size()), pad);
}

} // namespace

std::optional<std::vector<std::uint8_t>> write_glb(const std::string& json, bytes bin)
{
	const std::uint64_t total =
	    12 + 8 + padded(json.size()) + (bin.empty() ? 0 : 8 + padded(bin.size()));
	if (total > 0xFFFFFFFFu)
		return std::nullopt;
	std::vector<std::uint8_t> out;
	out.reserve(std::size_t(total));
	put_u32(out, glb_magic);
	put_u32(out, glb_version);
	put_u32(out, std::uint32_t(total));
	put_chunk(out, chunk_json, bytes(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()), ' ');
	if (!bin.empty())
		put_chunk(out, chunk_bin, bin, 0);
	return out;
}

} // namespace kestrun::gltf
