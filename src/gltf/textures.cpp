#include "gltf/gltf.h"
#include "texture/texture.h"

namespace kestrun::gltf {

namespace {

std::string lower(std::string s)
{
	for (char& c : s)
		if (c >= 'A' && c <= 'Z')
			c = char(c - 'A' + 'a');
	return s;
}

} // namespace

bool TextureLibrary::add_dictionary(std::vector<std::uint8_t> stream, std::string& error)
{
	// The tree's views point into the stream: both stay where they are, in a
	// dictionary of their own, for as long as the library lives.
	auto dictionary = std::make_unique<Dictionary>();
	dictionary->stream = std::move(stream);
	dictionary->tree = stream::parse_tree(dictionary->stream);
	bool found = false;
	for (const stream::Chunk& top : dictionary->tree.top) {
		if (top.type != format::type_texture_dictionary)
			continue;
		found = true;
		for (const stream::Chunk* native : stream::children_of_type(top, format::type_texture_native))
			if (const auto header = stream::decode_texture_native_header(*native)) {
				natives_.emplace(header->name, native);
				natives_folded_.emplace(lower(header->name), native);
			}
	}
	if (!found) {
		error = "holds no texture dictionary";
		return false;
	}
	dictionaries_.push_back(std::move(dictionary));
	return true;
}

const EncodedTexture* TextureLibrary::find(const std::string& name)
{
	auto native = natives_.find(name);
	if (native == natives_.end()) {
		native = natives_folded_.find(lower(name));
		if (native == natives_folded_.end())
			return nullptr;
	}
	if (const auto done = encoded_.find(native->second); done != encoded_.end())
		return &done->second;
	EncodedTexture& encoded = encoded_[native->second];
	const std::optional<texture::DecodedTexture> decoded = texture::decode_texture_native(*native->second, encoded.error);
	if (!decoded || decoded->levels.empty()) {
		if (encoded.error.empty())
			encoded.error = "no image";
		return &encoded;
	}
	encoded.has_alpha = decoded->has_alpha;
	encoded.filter = decoded->filter;
	encoded.address_u = decoded->address_u;
	encoded.address_v = decoded->address_v;
	encoded.png = texture::encode_png(decoded->levels[0]);
	if (encoded.png.empty())
		encoded.error = "cannot be encoded as PNG";
	return &encoded;
}

} // namespace kestrun::gltf
