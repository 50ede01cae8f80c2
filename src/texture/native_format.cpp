#include "texture/native_format.h"

#include <bit>
#include <cstdio>

namespace kestrun::texture {

const char* native_problem_name(NativeProblem problem)
{
	switch (problem) {
	case NativeProblem::none: return "no problem";
	case NativeProblem::header_short: return "Struct too short for its header";
	case NativeProblem::unknown_platform: return "unknown platform";
	case NativeProblem::unknown_format: return "unknown format";
	case NativeProblem::depth_mismatch: return "depth does not suit the format";
	case NativeProblem::zero_size: return "zero size";
	case NativeProblem::not_power_of_two: return "swizzled size is not a power of two";
	case NativeProblem::size_disagrees: return "size disagrees with its levels";
	case NativeProblem::data_past_chunk: return "data past the chunk";
	case NativeProblem::trailing_bytes: return "bytes after the last level";
	}
	return "unknown problem";
}

std::uint32_t level_side(std::uint32_t side, std::uint32_t level)
{
	std::uint32_t s = level < 32 ? side >> level : 0;
	return s > 0 ? s : 1;
}

std::uint64_t level_bytes(Encoding encoding, std::uint32_t depth, std::uint32_t w, std::uint32_t h)
{
	const std::uint64_t blocks = std::uint64_t((w + 3) / 4) * ((h + 3) / 4);
	switch (encoding) {
	case Encoding::dxt1: return blocks * 8;
	case Encoding::dxt3:
	case Encoding::dxt5: return blocks * 16;
	default: return (std::uint64_t(w) * h * depth + 7) / 8;
	}
}

std::uint32_t texel_bytes(std::uint32_t depth)
{
	return depth / 8;
}

namespace {

ReadResult fail(NativeProblem problem, std::string detail = {})
{
	return ReadResult{problem, std::move(detail)};
}

std::string text(const char* format, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0)
{
	char buf[160];
	std::snprintf(buf, sizeof buf, format, a, b, c);
	return buf;
}

// Decides the encoding from the raster format, depth and compression code.
ReadResult classify(NativeTexture& t)
{
	const bool console = t.platform == platform_console;
	const std::uint8_t c = t.compression;
	if (c != 0) {
		if (c == (console ? console_dxt1 : pc_dxt1))
			t.encoding = Encoding::dxt1;
		else if (c == (console ? console_dxt3 : pc_dxt3))
			t.encoding = Encoding::dxt3;
		else if (c == (console ? console_dxt5 : pc_dxt5))
			t.encoding = Encoding::dxt5;
		else
			return fail(NativeProblem::unknown_format, text("compression 0x%llX", c));
		if (t.raster_format & (flag_pal8 | flag_pal4))
			return fail(NativeProblem::unknown_format, text("raster format 0x%llX with compression", t.raster_format));
		return {};
	}
	const std::uint32_t pixel = t.raster_format & pixel_format_mask;
	const bool pal8 = (t.raster_format & flag_pal8) != 0, pal4 = (t.raster_format & flag_pal4) != 0;
	std::uint32_t depth = 0;
	if (pal8 || pal4) {
		if ((pal8 && pal4) || (pixel != format_8888 && pixel != format_888))
			return fail(NativeProblem::unknown_format, text("raster format 0x%llX", t.raster_format));
		t.encoding = pal8 ? Encoding::pal8 : Encoding::pal4;
		depth = pal8 ? 8 : 4;
	} else {
		t.encoding = Encoding::pixels;
		switch (pixel) {
		case format_8888:
		case format_888: depth = 32; break;
		case format_565:
		case format_1555:
		case format_4444:
		case format_555: depth = 16; break;
		case format_lum8: depth = 8; break;
		default: return fail(NativeProblem::unknown_format, text("raster format 0x%llX", t.raster_format));
		}
	}
	if (t.depth != depth)
		return fail(NativeProblem::depth_mismatch, text("raster format 0x%llX with depth %llu", t.raster_format, t.depth));
	return {};
}

std::uint32_t palette_bytes(Encoding encoding)
{
	return encoding == Encoding::pal8 ? 256 * 4 : encoding == Encoding::pal4 ? 16 * 4 : 0;
}

ReadResult read_console(bytes body, NativeTexture& t)
{
	if (body.size() < console_header_size)
		return fail(NativeProblem::header_short, text("%llu bytes", body.size()));
	t.total_size = load_u32(body, format::texture_native_header_size);
	const bool swizzled = t.encoding == Encoding::pixels || t.encoding == Encoding::pal8 || t.encoding == Encoding::pal4;
	if (swizzled && (!std::has_single_bit(unsigned(t.width)) || !std::has_single_bit(unsigned(t.height))))
		return fail(NativeProblem::not_power_of_two, text("%llux%llu", t.width, t.height));
	std::uint64_t levels_size = 0;
	for (std::uint32_t i = 0; i < t.level_count; i++)
		levels_size += level_bytes(t.encoding, t.depth, level_side(t.width, i), level_side(t.height, i));
	const std::uint32_t palette = palette_bytes(t.encoding);
	if (t.total_size != levels_size && t.total_size != levels_size + palette)
		return fail(NativeProblem::size_disagrees,
		            text("total image size %llu, levels %llu, palette %llu", t.total_size, levels_size, palette));
	std::uint64_t pos = console_header_size;
	if (!fits(body.size(), pos, palette + levels_size))
		return fail(NativeProblem::data_past_chunk,
		            text("palette and levels take %llu bytes, the Struct holds %llu", palette + levels_size, body.size() - pos));
	t.palette = body.subspan(pos, palette);
	pos += palette;
	for (std::uint32_t i = 0; i < t.level_count; i++) {
		std::uint64_t n = level_bytes(t.encoding, t.depth, level_side(t.width, i), level_side(t.height, i));
		t.levels.push_back(body.subspan(pos, n));
		pos += n;
	}
	if (pos != body.size())
		return fail(NativeProblem::trailing_bytes, text("%llu bytes", body.size() - pos));
	return {};
}

ReadResult read_pc(bytes body, NativeTexture& t)
{
	std::uint64_t pos = pc_header_size;
	const std::uint32_t palette = palette_bytes(t.encoding);
	if (!fits(body.size(), pos, palette))
		return fail(NativeProblem::data_past_chunk, text("the palette takes %llu bytes, the Struct holds %llu", palette, body.size() - pos));
	t.palette = body.subspan(pos, palette);
	pos += palette;
	for (std::uint32_t i = 0; i < t.level_count; i++) {
		std::uint64_t n = level_bytes(t.encoding, t.depth, level_side(t.width, i), level_side(t.height, i));
		if (!fits(body.size(), pos, 4))
			return fail(NativeProblem::data_past_chunk, text("level %llu's size is cut off", i));
		const std::uint32_t stated = load_u32(body, pos);
		pos += 4;
		if (stated != n)
			return fail(NativeProblem::size_disagrees, text("level %llu states %llu bytes, its size takes %llu", i, stated, n));
		if (!fits(body.size(), pos, n))
			return fail(NativeProblem::data_past_chunk, text("level %llu takes %llu bytes, %llu there", i, n, body.size() - pos));
		t.levels.push_back(body.subspan(pos, n));
		pos += n;
	}
	if (pos != body.size())
		return fail(NativeProblem::trailing_bytes, text("%llu bytes", body.size() - pos));
	return {};
}

} // namespace

ReadResult read_native(bytes body, NativeTexture& out)
{
	out = NativeTexture{};
	if (!format::read_texture_native_header(body, out))
		return fail(NativeProblem::header_short, text("%llu bytes", body.size()));
	if (out.platform != platform_console && out.platform != platform_pc)
		return fail(NativeProblem::unknown_platform, text("platform %llu", out.platform));
	if (out.width == 0 || out.height == 0 || out.level_count == 0)
		return fail(NativeProblem::zero_size, text("%llux%llu, %llu levels", out.width, out.height, out.level_count));
	if (ReadResult r = classify(out); r.problem != NativeProblem::none)
		return r;
	return out.platform == platform_console ? read_console(body, out) : read_pc(body, out);
}

} // namespace kestrun::texture
