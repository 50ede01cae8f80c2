// Texels of every format widened to 8-bit RGBA.
#include "texture/native_chunk.h"
#include "texture/swizzle.h"
#include "texture/texture.h"

#include <squish.h>

namespace kestrun::texture {

namespace {

// Exact widening: the high bits repeated into the low ones, so the field's
// maximum becomes 255 and 0 stays 0.
std::uint8_t widen5(std::uint32_t v) { return std::uint8_t(v << 3 | v >> 2); }
std::uint8_t widen6(std::uint32_t v) { return std::uint8_t(v << 2 | v >> 4); }
std::uint8_t widen4(std::uint32_t v) { return std::uint8_t(v << 4 | v); }

void put(std::uint8_t* out, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
	out[0] = r;
	out[1] = g;
	out[2] = b;
	out[3] = a;
}

void widen_texel(std::uint32_t pixel, bytes texels, std::size_t i, std::uint8_t* out)
{
	switch (pixel) {
	case format_8888: put(out, texels[4 * i + 2], texels[4 * i + 1], texels[4 * i], texels[4 * i + 3]); return;
	case format_888: put(out, texels[4 * i + 2], texels[4 * i + 1], texels[4 * i], 255); return;
	case format_lum8: put(out, texels[i], texels[i], texels[i], 255); return;
	default: break;
	}
	const std::uint32_t v = load_u16(texels, 2 * i);
	switch (pixel) {
	case format_565: put(out, widen5(v >> 11), widen6(v >> 5 & 63), widen5(v & 31), 255); return;
	case format_1555: put(out, widen5(v >> 10 & 31), widen5(v >> 5 & 31), widen5(v & 31), v & 0x8000 ? 255 : 0); return;
	case format_555: put(out, widen5(v >> 10 & 31), widen5(v >> 5 & 31), widen5(v & 31), 255); return;
	case format_4444: put(out, widen4(v >> 8 & 15), widen4(v >> 4 & 15), widen4(v & 15), widen4(v >> 12)); return;
	default: put(out, 0, 0, 0, 0); return; // read_native admits no other format
	}
}

void expand_palette(const NativeTexture& t, bytes indices, std::size_t count, std::uint8_t* out)
{
	const bool console = t.platform == platform_console;
	const bool opaque = (t.raster_format & pixel_format_mask) == format_888;
	// The first texel of a PAL4 pair: the low nibble on the console, the
	// high one on the PC.
	const std::uint32_t first_shift = console ? 0 : 4;
	for (std::size_t i = 0; i < count; i++, out += 4) {
		const std::size_t index = t.encoding == Encoding::pal8 ? indices[i]
		                                                         : indices[i / 2] >> (first_shift ^ (i % 2 * 4)) & 0x0F;
		const std::uint8_t* e = t.palette.data() + 4 * index;
		put(out, console ? e[2] : e[0], e[1], console ? e[0] : e[2], opaque ? 255 : e[3]);
	}
}

Image decode_level(const NativeTexture& t, std::uint32_t level)
{
	Image image;
	image.width = level_side(t.width, level);
	image.height = level_side(t.height, level);
	const std::size_t count = std::size_t(image.width) * image.height;
	image.rgba.resize(count * 4);
	const bytes data = t.levels[level];
	if (t.encoding == Encoding::dxt1 || t.encoding == Encoding::dxt3 || t.encoding == Encoding::dxt5) {
		// libsquish decodes DXT1 with three colours and transparent black when
		// the first colour is not greater than the second, and DXT3 and DXT5
		// colour blocks always with four: what the console's hardware does.
		const int flag = t.encoding == Encoding::dxt1 ? squish::kDxt1 : t.encoding == Encoding::dxt3 ? squish::kDxt3 : squish::kDxt5;
		squish::DecompressImage(image.rgba.data(), int(image.width), int(image.height), data.data(), flag);
		return image;
	}
	std::vector<std::uint8_t> swizzled;
	bytes linear = data;
	if (t.platform == platform_console) {
		swizzled = unswizzle(data, image.width, image.height, t.depth);
		linear = swizzled;
	}
	if (t.encoding == Encoding::pal8 || t.encoding == Encoding::pal4) {
		expand_palette(t, linear, count, image.rgba.data());
		return image;
	}
	const std::uint32_t pixel = t.raster_format & pixel_format_mask;
	for (std::size_t i = 0; i < count; i++)
		widen_texel(pixel, linear, i, image.rgba.data() + 4 * i);
	return image;
}

} // namespace

std::string native_problem_text(const stream::Chunk& native, const NativeTexture& t, const ReadResult& r)
{
	std::string where = "texture";
	if (!t.name_field.empty())
		where += " \"" + format::printable(format::fixed_name(t.name_field)) + "\"";
	where += " at offset " + std::to_string(native.offset) + ": " + native_problem_name(r.problem);
	if (!r.detail.empty())
		where += " (" + r.detail + ")";
	return where;
}

const stream::Chunk* native_struct(const stream::Chunk& native, std::string& error)
{
	const stream::Chunk* s = stream::find_child(native, format::type_struct);
	if (s == nullptr)
		error = "texture at offset " + std::to_string(native.offset) + ": no Struct";
	else if (s->cut_off)
		error = "texture at offset " + std::to_string(native.offset) + ": its Struct reaches past the chunk";
	else
		return s;
	return nullptr;
}

std::optional<DecodedTexture> decode_texture_native(const stream::Chunk& native, std::string& error)
{
	const stream::Chunk* s = native_struct(native, error);
	if (s == nullptr)
		return std::nullopt;
	NativeTexture t;
	if (ReadResult r = read_native(s->body, t); r.problem != NativeProblem::none) {
		error = native_problem_text(native, t, r);
		return std::nullopt;
	}
	DecodedTexture out;
	out.name = format::fixed_name(t.name_field);
	out.mask = format::fixed_name(t.mask_field);
	const format::Filter filter = format::split_filter_word(t.filter_word);
	out.filter = filter.mode;
	out.address_u = filter.address_u;
	out.address_v = filter.address_v;
	out.has_alpha = t.alpha != 0;
	for (std::uint32_t i = 0; i < t.levels.size(); i++)
		out.levels.push_back(decode_level(t, i));
	return out;
}

} // namespace kestrun::texture
