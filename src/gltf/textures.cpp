#include "gltf/gltf.h"
#include "common/ascii.h"
#include "texture/texture.h"

namespace kestrun::gltf {

namespace {

// The folder part of a path, separators of either system; the file name
// after it; the name without its last extension. Paths are UTF-8 strings,
// taken as they are on every system.
std::string folder_of(const std::string& path)
{
	const std::size_t slash = path.find_last_of("/\\");
	return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string stem_of(const std::string& path)
{
	const std::size_t slash = path.find_last_of("/\\");
	const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
	const std::size_t dot = name.rfind('.');
	return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

bool TextureLibrary::add_dictionary(std::vector<std::uint8_t> stream, std::string& error, const std::string& source)
{
	// The tree's views point into the stream: both stay where they are, in a
	// dictionary of their own, for as long as the library lives.
	auto dictionary = std::make_unique<Dictionary>();
	dictionary->stream = std::move(stream);
	dictionary->tree = stream::parse_tree(dictionary->stream);
	dictionary->source = source;
	bool found = false;
	for (const stream::Chunk& top : dictionary->tree.top) {
		if (top.type != format::type_texture_dictionary)
			continue;
		found = true;
		for (const stream::Chunk* native : stream::children_of_type(top, format::type_texture_native))
			if (const auto header = stream::decode_texture_native_header(*native)) {
				dictionary->natives.emplace(header->name, native);
				dictionary->natives_folded.emplace(ascii_lowered(header->name), native);
			}
	}
	if (!found) {
		error = "holds no texture dictionary";
		return false;
	}
	order_.push_back(dictionary.get());
	dictionaries_.push_back(std::move(dictionary));
	return true;
}

void TextureLibrary::prefer_for(const std::string& model, bool same_folder_next)
{
	const std::string stem = ascii_lowered(stem_of(model));
	const auto tier = [&](const Dictionary& d) {
		if (ascii_lowered(stem_of(d.source)) == stem)
			return 0;
		return same_folder_next && folder_of(d.source) == folder_of(model) ? 1 : 2;
	};
	order_.clear();
	for (int t = 0; t <= 2; t++)
		for (const auto& d : dictionaries_)
			if (tier(*d) == t)
				order_.push_back(d.get());
}

const stream::Chunk* TextureLibrary::look_up(const std::string& name) const
{
	for (const Dictionary* d : order_)
		if (const auto native = d->natives.find(name); native != d->natives.end())
			return native->second;
	const std::string folded = ascii_lowered(name);
	for (const Dictionary* d : order_)
		if (const auto native = d->natives_folded.find(folded); native != d->natives_folded.end())
			return native->second;
	return nullptr;
}

const EncodedTexture* TextureLibrary::find(const std::string& name)
{
	const stream::Chunk* native = look_up(name);
	if (native == nullptr)
		return nullptr;
	if (const auto done = encoded_.find(native); done != encoded_.end())
		return &done->second;
	return encode(native);
}

const EncodedTexture* TextureLibrary::encode(const stream::Chunk* native)
{
	EncodedTexture& encoded = encoded_[native];
	const std::optional<texture::DecodedTexture> decoded = texture::decode_texture_native(*native, encoded.error);
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
