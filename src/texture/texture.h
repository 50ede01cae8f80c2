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

} // namespace kestrun::texture
