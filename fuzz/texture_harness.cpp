// The texture reader's entry point: any bytes as an inflated texture
// dictionary, converted and every texture in it decoded.
#include "harness.h"

#include "stream/stream.h"
#include "texture/texture.h"

namespace kestrun::fuzz {

namespace {

bool all_pc_stamps(const stream::Chunk& c)
{
	if (c.stamp != format::pc_stamp || c.cut_off || c.trailing != 0)
		return false;
	for (const stream::Chunk& child : c.children)
		if (!all_pc_stamps(child))
			return false;
	return true;
}

void decode_every_texture(const stream::Tree& tree)
{
	for (const stream::Chunk& top : tree.top) {
		for (const stream::Chunk* native : stream::children_of_type(top, format::type_texture_native)) {
			std::string error;
			const std::optional<texture::DecodedTexture> t = texture::decode_texture_native(*native, error);
			require(t.has_value() == error.empty(), "a decoded texture with an error, or a failure without one");
			require(t.has_value() == texture::texture_native_problem(*native).empty(),
			        "check and the decoder disagree about a texture");
			if (!t)
				continue;
			for (const texture::Image& level : t->levels)
				require(level.rgba.size() == std::size_t(level.width) * level.height * 4, "image size disagrees with its sides");
		}
	}
}

} // namespace

int texture_entry(const std::uint8_t* data, std::size_t size)
{
	const bytes input(data, size);
	decode_every_texture(stream::parse_tree(input));
	const texture::DictionaryResult r = texture::convert_dictionary(input);
	require((r.status == texture::DictionaryResult::Status::failed) != r.error.empty(), "failure and error text disagree");
	if (r.status != texture::DictionaryResult::Status::converted) {
		require(r.stream.empty(), "output from a dictionary that was not converted");
		return 0;
	}
	// What came out is a clean PC dictionary that converts to itself.
	const stream::Tree tree = stream::parse_tree(r.stream);
	require(tree.trailing == 0 && !tree.top.empty(), "the converted stream has damage");
	for (const stream::Chunk& c : tree.top)
		require(all_pc_stamps(c), "the converted stream has a chunk without the PC stamp, or damage");
	decode_every_texture(tree);
	require(texture::convert_dictionary(r.stream).status == texture::DictionaryResult::Status::already_pc,
	        "the converted dictionary is not taken as a PC one");
	return 0;
}

} // namespace kestrun::fuzz
