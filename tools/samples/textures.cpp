// Sample textures: known images in every texel format, written as console
// and as PC Texture Natives.
#include "samples/samples.h"
#include "texture/swizzle.h"

#ifdef KESTRUN_SAMPLES_SQUISH
#include <squish.h>
#endif

#include <algorithm>

namespace kestrun::samples {

namespace {

using rgba_t = std::array<std::uint8_t, 4>;

// The known images, as 8-bit RGBA before the format narrows them.
rgba_t pattern_at(Pattern p, std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h)
{
	const auto ramp = [](std::uint32_t v, std::uint32_t n) { return std::uint8_t(n > 1 ? v * 255 / (n - 1) : 128); };
	const bool dark = ((x / 4) + (y / 4)) % 2 == 0;
	switch (p) {
	case Pattern::gradient: return {ramp(x, w), ramp(y, h), std::uint8_t(255 - ramp(x, w) / 2), 255};
	case Pattern::checker: return dark ? rgba_t{20, 40, 200, 0} : rgba_t{240, 200, 16, 255};
	case Pattern::alpha_ramp: return {ramp(y, h), 90, ramp(x, w), ramp(x + y, w + h - 1)};
	}
	return {};
}

// Widening an n-bit field to 8 bits by repeating its bits from the top.
std::uint8_t widened(std::uint32_t q, int bits)
{
	std::uint32_t out = 0;
	for (int filled = 0; filled < 8; filled += bits)
		out |= filled + bits <= 8 ? q << (8 - filled - bits) : q >> (filled + bits - 8);
	return std::uint8_t(out & 0xFF);
}

struct FormatInfo {
	std::uint32_t raster_format;
	std::uint8_t depth;
	std::uint8_t console_compression, pc_compression;
	int dxt; // 0 uncompressed, else 1, 3 or 5
};

FormatInfo format_info(TexelFormat f)
{
	switch (f) {
	case TexelFormat::c8888: return {0x0500, 32, 0, 0, 0};
	case TexelFormat::c888: return {0x0600, 32, 0, 0, 0};
	case TexelFormat::c565: return {0x0200, 16, 0, 0, 0};
	case TexelFormat::c1555: return {0x0100, 16, 0, 0, 0};
	case TexelFormat::c4444: return {0x0300, 16, 0, 0, 0};
	case TexelFormat::c555: return {0x0A00, 16, 0, 0, 0};
	case TexelFormat::lum8: return {0x0400, 8, 0, 0, 0};
	case TexelFormat::pal8: return {0x2500, 8, 0, 0, 0};
	case TexelFormat::pal4: return {0x4500, 4, 0, 0, 0};
	case TexelFormat::dxt1: return {0x0100, 16, 0x0C, 1, 1};
	case TexelFormat::dxt3: return {0x0300, 16, 0x0E, 3, 3};
	case TexelFormat::dxt5: return {0x0300, 16, 0x0F, 5, 5};
	}
	return {};
}

// A palette entry as R, G, B, A: every index a distinct colour, alpha falling.
rgba_t palette_entry(std::uint32_t i, std::uint32_t entries)
{
	const std::uint32_t step = 256 / entries;
	return {std::uint8_t(i * step), std::uint8_t(255 - i * step), std::uint8_t(i * 37 % 256), std::uint8_t(255 - i * step / 2)};
}

// One texel of an uncompressed format: appends its bytes as the PC stores
// them and returns what a reader must decode.
rgba_t put_texel(TexelFormat f, rgba_t c, buffer& out)
{
	const auto [r, g, b, a] = c;
	switch (f) {
	case TexelFormat::c8888: put_bytes(out, std::array<std::uint8_t, 4>{b, g, r, a}); return c;
	case TexelFormat::c888: put_bytes(out, std::array<std::uint8_t, 4>{b, g, r, a}); return {r, g, b, 255};
	case TexelFormat::lum8: put_u8(out, r); return {r, r, r, 255};
	case TexelFormat::c565:
		put_u16(out, std::uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3));
		return {widened(r >> 3, 5), widened(g >> 2, 6), widened(b >> 3, 5), 255};
	case TexelFormat::c1555:
	case TexelFormat::c555: {
		const bool opaque = f == TexelFormat::c555 || a >= 128;
		// 555 stores a set top bit now and then: readers must ignore it.
		const bool top = f == TexelFormat::c1555 ? a >= 128 : (r & 1) != 0;
		put_u16(out, std::uint16_t((top ? 0x8000 : 0) | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3));
		return {widened(r >> 3, 5), widened(g >> 3, 5), widened(b >> 3, 5), std::uint8_t(opaque ? 255 : 0)};
	}
	case TexelFormat::c4444:
		put_u16(out, std::uint16_t((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4));
		return {widened(r >> 4, 4), widened(g >> 4, 4), widened(b >> 4, 4), widened(a >> 4, 4)};
	default: return {};
	}
}

void make_level(SampleTexture& t, std::uint32_t w, std::uint32_t h)
{
	buffer texels, rgba;
	const FormatInfo info = format_info(t.format);
	if (info.dxt != 0) {
		buffer source;
		for (std::uint32_t y = 0; y < h; y++)
			for (std::uint32_t x = 0; x < w; x++)
				put_bytes(source, pattern_at(t.pattern, x, y, w, h));
		const std::size_t blocks = std::size_t((w + 3) / 4) * ((h + 3) / 4);
		texels.resize(blocks * (info.dxt == 1 ? 8 : 16));
#ifdef KESTRUN_SAMPLES_SQUISH
		const int flag = info.dxt == 1 ? squish::kDxt1 : info.dxt == 3 ? squish::kDxt3 : squish::kDxt5;
		squish::CompressImage(source.data(), int(w), int(h), texels.data(), flag);
		rgba.resize(source.size());
		squish::DecompressImage(rgba.data(), int(w), int(h), texels.data(), flag);
#else
		// Built without libsquish (the Windows builds, which only inflate the
		// dictionaries): the blocks are the source bytes, which nothing decodes.
		for (std::size_t i = 0; i < texels.size(); i++)
			texels[i] = source[i % source.size()];
#endif
	} else if (t.format == TexelFormat::pal8 || t.format == TexelFormat::pal4) {
		const std::uint32_t entries = t.format == TexelFormat::pal8 ? 256 : 16;
		for (std::uint32_t y = 0; y < h; y++) {
			for (std::uint32_t x = 0; x < w; x++) {
				const std::uint32_t index = (x * 7 + y * 3 + (x / 4) * (y / 4)) % entries;
				if (t.format == TexelFormat::pal8)
					put_u8(texels, std::uint8_t(index));
				else if (x % 2 == 0)
					put_u8(texels, std::uint8_t(index));
				else
					texels.back() = std::uint8_t(texels.back() | index << 4);
				put_bytes(rgba, palette_entry(index, entries));
			}
		}
	} else {
		for (std::uint32_t y = 0; y < h; y++)
			for (std::uint32_t x = 0; x < w; x++)
				put_bytes(rgba, put_texel(t.format, pattern_at(t.pattern, x, y, w, h), texels));
	}
	t.texels.push_back(std::move(texels));
	t.rgba.push_back(std::move(rgba));
}

void put_name(buffer& out, const std::string& name)
{
	buffer field(32, 0);
	std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 31), field.begin());
	put_bytes(out, field);
}

// The fields both platforms share, from the platform to the raster format.
void put_head(buffer& body, const SampleTexture& t, std::uint32_t platform)
{
	put_u32(body, platform);
	put_u32(body, t.filter_word);
	put_name(body, t.name);
	put_name(body, t.mask);
	put_u32(body, t.raster_format);
	put_u32(body, t.alpha);
	put_u16(body, t.width);
	put_u16(body, t.height);
	put_u8(body, t.depth);
	put_u8(body, std::uint8_t(t.texels.size()));
	put_u8(body, 4);
}

// Plugin data in the Texture Native's Extension that holds the console
// stamp's bytes: a converter must carry them over untouched.
buffer native_extension(const SampleTexture& t, std::uint32_t stamp)
{
	if (!t.plugin)
		return chunk(format::type_extension, {}, stamp);
	buffer plugin;
	put_u32(plugin, format::console_stamp);
	put_u32(plugin, 0x01020304);
	return parent_chunk(format::type_extension, {chunk(0x0253F2F1, plugin, stamp)}, stamp);
}

bool swizzled(TexelFormat f)
{
	return format_info(f).dxt == 0;
}

} // namespace

SampleTexture make_sample_texture(std::string name, TexelFormat format, Pattern pattern, std::uint16_t width,
                                  std::uint16_t height, bool mipmaps)
{
	SampleTexture t;
	t.name = std::move(name);
	t.format = format;
	t.pattern = pattern;
	t.width = width;
	t.height = height;
	const FormatInfo info = format_info(format);
	t.raster_format = info.raster_format | (mipmaps ? 0x8000 : 0);
	t.depth = info.depth;
	t.console_compression = info.console_compression;
	t.pc_compression = info.pc_compression;
	t.alpha = pattern == Pattern::gradient || format == TexelFormat::c888 || format == TexelFormat::c565 ||
	                  format == TexelFormat::c555 || format == TexelFormat::lum8
	              ? 0
	              : 1;
	if (format == TexelFormat::pal8 || format == TexelFormat::pal4) {
		const std::uint32_t entries = format == TexelFormat::pal8 ? 256 : 16;
		for (std::uint32_t i = 0; i < entries; i++)
			put_bytes(t.palette, palette_entry(i, entries));
	}
	for (std::uint32_t level = 0;; level++) {
		const std::uint32_t w = std::max(1u, std::uint32_t(width) >> level), h = std::max(1u, std::uint32_t(height) >> level);
		make_level(t, w, h);
		if (!mipmaps || (w == 1 && h == 1))
			break;
	}
	return t;
}

std::vector<SampleTexture> sample_textures()
{
	using F = TexelFormat;
	using P = Pattern;
	std::vector<SampleTexture> all = {
	    make_sample_texture("ramp8888", F::c8888, P::alpha_ramp, 32, 16, true),
	    make_sample_texture("Ramp8888", F::c8888, P::checker, 8, 8, false), // differs from the above in case only
	    make_sample_texture("grad888", F::c888, P::alpha_ramp, 16, 16, true),
	    make_sample_texture("grad565", F::c565, P::gradient, 64, 16, true),
	    make_sample_texture("flat565", F::c565, P::gradient, 16, 32, false),
	    make_sample_texture("check1555", F::c1555, P::checker, 16, 16, true),
	    make_sample_texture("ramp4444", F::c4444, P::alpha_ramp, 16, 8, false),
	    make_sample_texture("ramp4444mip", F::c4444, P::alpha_ramp, 8, 32, true),
	    make_sample_texture("grad555", F::c555, P::gradient, 32, 32, false),
	    make_sample_texture("grad555mip", F::c555, P::alpha_ramp, 4, 16, true),
	    make_sample_texture("lum8", F::lum8, P::gradient, 32, 8, true),
	    make_sample_texture("lum8flat", F::lum8, P::gradient, 16, 16, false),
	    make_sample_texture("pal8", F::pal8, P::checker, 32, 32, true),
	    make_sample_texture("pal8flat", F::pal8, P::checker, 16, 64, false),
	    make_sample_texture("pal4", F::pal4, P::checker, 16, 16, false),
	    make_sample_texture("dxt1", F::dxt1, P::checker, 32, 32, true),
	    make_sample_texture("dxt1flat", F::dxt1, P::gradient, 64, 16, false),
	    make_sample_texture("dxt3", F::dxt3, P::alpha_ramp, 16, 64, true),
	    make_sample_texture("dxt3flat", F::dxt3, P::alpha_ramp, 32, 32, false),
	    make_sample_texture("dxt5", F::dxt5, P::alpha_ramp, 32, 32, true),
	    make_sample_texture("dxt5flat", F::dxt5, P::gradient, 8, 8, false),
	    make_sample_texture("dot8888", F::c8888, P::gradient, 1, 1, false),
	    make_sample_texture("dotdxt1", F::dxt1, P::gradient, 1, 1, false),
	    make_sample_texture("flat888", F::c888, P::gradient, 8, 8, false),
	    make_sample_texture("check1555flat", F::c1555, P::checker, 32, 8, false),
	};
	all[0].mask = "ramp8888a";
	all[0].plugin = true;
	all[12].plugin = true;
	// The console stamp's bytes in texel data: converted as texels, never restamped.
	store_u32(all[1].texels[0], 0, format::console_stamp);
	// The first texel is then B FF, G FF, R 00, A 14.
	all[1].rgba[0][0] = 0x00;
	all[1].rgba[0][1] = 0xFF;
	all[1].rgba[0][2] = 0xFF;
	all[1].rgba[0][3] = 0x14;
	// The palette counted in the total image size, which readers accept too.
	all[14].total_counts_palette = true;
	return all;
}

std::vector<std::string> sample_texture_names()
{
	std::vector<std::string> names;
	for (const SampleTexture& t : sample_textures())
		names.push_back(t.name);
	return names;
}

buffer console_texture_native(const SampleTexture& t, std::uint32_t stamp)
{
	buffer body;
	put_head(body, t, 5);
	put_u8(body, t.console_compression);
	std::uint32_t total = t.total_counts_palette ? std::uint32_t(t.palette.size()) : 0;
	for (const buffer& level : t.texels)
		total += std::uint32_t(level.size());
	put_u32(body, total);
	for (std::size_t i = 0; i + 4 <= t.palette.size(); i += 4)
		put_bytes(body, std::array<std::uint8_t, 4>{t.palette[i + 2], t.palette[i + 1], t.palette[i], t.palette[i + 3]});
	for (std::size_t i = 0; i < t.texels.size(); i++) {
		const std::uint32_t w = std::max(1u, std::uint32_t(t.width) >> i), h = std::max(1u, std::uint32_t(t.height) >> i);
		put_bytes(body, swizzled(t.format) ? texture::swizzle(t.texels[i], w, h, t.depth) : t.texels[i]);
	}
	return parent_chunk(format::type_texture_native, {chunk(format::type_struct, body, stamp), native_extension(t, stamp)}, stamp);
}

buffer pc_texture_native(const SampleTexture& t)
{
	buffer body;
	put_head(body, t, 8);
	put_u8(body, t.pc_compression);
	put_bytes(body, t.palette);
	for (const buffer& level : t.texels) {
		put_u32(body, std::uint32_t(level.size()));
		if (t.format == TexelFormat::pal4) {
			// The PC packs the first texel of each pair in the high nibble.
			for (std::uint8_t pair : level)
				put_u8(body, std::uint8_t(pair << 4 | pair >> 4));
		} else
			put_bytes(body, level);
	}
	return parent_chunk(format::type_texture_native, {chunk(format::type_struct, body, target_stamp), native_extension(t, target_stamp)},
	                    target_stamp);
}

buffer texture_dictionary(const std::vector<SampleTexture>& textures, Form form)
{
	const std::uint32_t stamp = form == Form::native ? format::console_stamp : target_stamp;
	buffer head;
	put_u16(head, std::uint16_t(textures.size()));
	put_u16(head, form == Form::native ? 5 : 0); // device id: PC readers pick by each texture's platform
	std::vector<buffer> children{chunk(format::type_struct, head, stamp)};
	for (const SampleTexture& t : textures)
		children.push_back(form == Form::native ? console_texture_native(t, stamp) : pc_texture_native(t));
	children.push_back(chunk(format::type_extension, {}, stamp));
	return parent_chunk(format::type_texture_dictionary, children, stamp);
}

} // namespace kestrun::samples
