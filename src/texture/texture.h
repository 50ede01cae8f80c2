// Texture natives: decoding console (platform 5) and PC (platform 8) Texture
// Native chunks into RGBA images, and encoding images as PNG.
#pragma once

#include "stream/stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::texture {

// An image, 8 bits per channel, rows top to bottom, R, G, B, A per texel.
struct Image {
	std::uint32_t width = 0, height = 0;
	std::vector<std::uint8_t> rgba; // width * height * 4
};

struct DecodedTexture {
	std::string name, mask;
	std::uint32_t filter = 0, address_u = 0, address_v = 0;
	bool has_alpha = false;
	std::vector<Image> levels; // level 0 the largest
};

// Decodes a console (platform 5) or PC (platform 8) Texture Native chunk.
// Nothing, with `error` saying what and where, when the chunk cannot be read.
std::optional<DecodedTexture> decode_texture_native(const stream::Chunk& native, std::string& error);

// An RGBA PNG of `image` (libspng); empty on failure.
std::vector<std::uint8_t> encode_png(const Image& image);

// Any PNG as 8-bit RGBA (libspng); nothing when it cannot be decoded.
std::optional<Image> decode_png(bytes png);

// What is wrong with a Texture Native chunk of either platform, as
// `check` reports it ("texture "name" at offset N: what (numbers)"); empty
// when its sizes agree with its levels and it can be read.
std::string texture_native_problem(const stream::Chunk& native);

// A console texture dictionary stream made into a PC one: every console
// Texture Native's Struct rewritten in the PC layout (levels unswizzled, DXT
// blocks copied, the palette reordered, a size before each level), every
// chunk header's stamp set to 0x00000310, every enclosing size recomputed;
// texel, palette, block and Extension data pass unchanged, and so do PC
// natives; the dictionary's Struct keeps all but its device id, which
// becomes 0. Every top-level dictionary of the stream is converted. Whole or
// nothing: any texture that cannot be converted, any damage to the chunk
// structure, or a texture count other than the natives found fails it. A
// stream with no console texture and without the console stamp is already
// a PC one and is left alone.
struct DictionaryResult {
	enum class Status { converted, already_pc, failed };
	Status status = Status::failed;
	std::vector<std::uint8_t> stream; // the PC dictionary when converted
	std::string error;                // what and where when failed
	std::uint32_t textures = 0;       // Texture Native chunks in the dictionary
};
DictionaryResult convert_dictionary(bytes stream);

// The first damage of the dictionaries in `tree`: a chunk cut off, bytes
// that are no whole chunk, nesting past the reader's depth, or a texture
// count other than the Texture Natives found. Empty when there is none.
std::string dictionary_damage(const stream::Tree& tree);

} // namespace kestrun::texture
