#include "texture/swizzle.h"

#include <cassert>

namespace kestrun::texture {

namespace {

enum class Direction { to_linear, to_swizzled };

std::vector<std::uint8_t> reorder(bytes level, std::uint32_t w, std::uint32_t h, std::uint32_t bits, Direction d)
{
	assert(level.size() == (std::uint64_t(w) * h * bits + 7) / 8);
	// The offset of (x, y) is the offset of (x, 0) with that of (0, y).
	std::vector<std::uint32_t> xs(w), ys(h);
	for (std::uint32_t x = 0; x < w; x++)
		xs[x] = swizzled_offset(x, 0, w, h);
	for (std::uint32_t y = 0; y < h; y++)
		ys[y] = swizzled_offset(0, y, w, h);
	std::vector<std::uint8_t> out(level.size(), 0);
	for (std::uint32_t y = 0; y < h; y++) {
		for (std::uint32_t x = 0; x < w; x++) {
			const std::size_t swz = xs[x] | ys[y], lin = std::size_t(y) * w + x;
			const std::size_t from = d == Direction::to_linear ? swz : lin;
			const std::size_t to = d == Direction::to_linear ? lin : swz;
			if (bits == 4) {
				const std::uint8_t nibble = std::uint8_t(level[from / 2] >> (from % 2 * 4) & 0x0F);
				out[to / 2] = std::uint8_t(out[to / 2] | nibble << (to % 2 * 4));
			} else {
				const std::size_t n = bits / 8;
				for (std::size_t i = 0; i < n; i++)
					out[to * n + i] = level[from * n + i];
			}
		}
	}
	return out;
}

} // namespace

std::uint32_t swizzled_offset(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h)
{
	std::uint32_t bit = 0, out = 0;
	for (std::uint32_t m = 1; m < w || m < h; m <<= 1) {
		if (m < w)
			out |= (x & m ? 1u : 0u) << bit++;
		if (m < h)
			out |= (y & m ? 1u : 0u) << bit++;
	}
	return out;
}

std::vector<std::uint8_t> unswizzle(bytes level, std::uint32_t w, std::uint32_t h, std::uint32_t bits)
{
	return reorder(level, w, h, bits, Direction::to_linear);
}

std::vector<std::uint8_t> swizzle(bytes level, std::uint32_t w, std::uint32_t h, std::uint32_t bits)
{
	return reorder(level, w, h, bits, Direction::to_swizzled);
}

} // namespace kestrun::texture
