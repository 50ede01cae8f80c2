// The console's swizzled texel order. The texel at (x, y) of a w x h level
// (both powers of two) sits at the texel offset made by interleaving the bits
// of x and y, x at bit 0, for as long as both coordinates still have bits;
// the remaining bits of the longer side follow above.
#pragma once

#include "common/bytes.h"

#include <cstdint>
#include <vector>

namespace kestrun::texture {

// The texel offset of (x, y); w and h powers of two, x < w, y < h.
std::uint32_t swizzled_offset(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h);

// A swizzled level of w x h texels of `bits` bits (4, 8, 16 or 32) in linear
// row order. `level` holds exactly the level's bytes; 4-bit texels pack two
// to a byte, the first in the low nibble.
std::vector<std::uint8_t> unswizzle(bytes level, std::uint32_t w, std::uint32_t h, std::uint32_t bits);

// The inverse: linear rows to the console's order.
std::vector<std::uint8_t> swizzle(bytes level, std::uint32_t w, std::uint32_t h, std::uint32_t bits);

} // namespace kestrun::texture
