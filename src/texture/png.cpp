#include "texture/texture.h"

#include <spng.h>

#include <cstdlib>
#include <memory>

namespace kestrun::texture {

namespace {

struct ContextFree {
	void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

} // namespace

std::vector<std::uint8_t> encode_png(const Image& image)
{
	if (image.width == 0 || image.height == 0 || image.rgba.size() != std::size_t(image.width) * image.height * 4)
		return {};
	Context ctx(spng_ctx_new(SPNG_CTX_ENCODER));
	if (!ctx || spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1) != 0)
		return {};
	spng_ihdr ihdr{};
	ihdr.width = image.width;
	ihdr.height = image.height;
	ihdr.bit_depth = 8;
	ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
	if (spng_set_ihdr(ctx.get(), &ihdr) != 0 ||
	    spng_encode_image(ctx.get(), image.rgba.data(), image.rgba.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0)
		return {};
	std::size_t size = 0;
	int error = 0;
	void* png = spng_get_png_buffer(ctx.get(), &size, &error);
	if (png == nullptr || error != 0) {
		std::free(png);
		return {};
	}
	std::vector<std::uint8_t> out(static_cast<std::uint8_t*>(png), static_cast<std::uint8_t*>(png) + size);
	std::free(png);
	return out;
}

std::optional<Image> decode_png(bytes png)
{
	Context ctx(spng_ctx_new(0));
	if (!ctx || spng_set_png_buffer(ctx.get(), png.data(), png.size()) != 0)
		return std::nullopt;
	spng_ihdr ihdr{};
	std::size_t size = 0;
	if (spng_get_ihdr(ctx.get(), &ihdr) != 0 || spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0)
		return std::nullopt;
	Image image;
	image.width = ihdr.width;
	image.height = ihdr.height;
	image.rgba.resize(size);
	if (spng_decode_image(ctx.get(), image.rgba.data(), size, SPNG_FMT_RGBA8, 0) != 0)
		return std::nullopt;
	return image;
}

} // namespace kestrun::texture
