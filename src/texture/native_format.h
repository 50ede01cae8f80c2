// The Texture Native formats this program reads and writes, in one place:
// the console's (platform 5) and the PC's (platform 8). Every multi-byte
// value is little-endian. Points marked "assumed" have not been confirmed on
// a real console file; README.md lists them too.
//
// A Texture Native chunk (0x15) holds a Struct, then an Extension. Both
// platforms begin the Struct body the same way:
//
//   0   u32  platform: 5 console, 8 PC
//   4   u32  filter mode (bits 0-7), U addressing (8-11), V addressing (12-15)
//   8   32   texture name, NUL-padded
//   40  32   mask name, NUL-padded
//   72  u32  raster format: a pixel format plus flags (below)
//
// Console, after that:
//   76  u32  alpha, 0 or 1 (assumed: the upper bits are 0)
//   80  u16  width      82 u16 height
//   84  u8   depth (bits per texel: 4, 8, 16 or 32)
//   85  u8   level count      86 u8 raster type (4 = texture)
//   87  u8   compression: 0 none, 0x0C DXT1, 0x0E DXT3 (also DXT2),
//            0x0F DXT5 (also DXT4)
//   88  u32  total image size: the bytes of all levels without the palette
//            (assumed; a size that also counts the palette is accepted)
//   92       palette: 256 x 4 bytes for PAL8, 16 x 4 for PAL4, entries
//            B, G, R, A (assumed)
//            then every level, back to back, no per-level sizes.
//
// PC, after the raster format:
//   76  u32  has alpha
//   80  u16  width      82 u16 height
//   84  u8   depth      85 u8 level count      86 u8 raster type
//   87  u8   compression: 0 none, 1 DXT1, 3 DXT3, 5 DXT5
//   88       palette, entries R, G, B, A
//            then per level: u32 size, then that level's bytes.
//
// Levels: level i is max(1, width >> i) by max(1, height >> i), level 0 the
// largest. Compressed levels are 4x4 blocks in row order (8 bytes each for
// DXT1, 16 for DXT3 and DXT5), never swizzled: ceil(w/4) x ceil(h/4) blocks.
// Uncompressed console levels, palette indices included, are swizzled (see
// swizzle.h); their width and height must be powers of two. PC levels are
// linear, rows top to bottom.
//
// Texels: 32-bit texels are B, G, R, A (888 ignores the fourth byte and has
// alpha 255). 16-bit texels are little-endian words: 565 is R in bits 15-11,
// G 10-5, B 4-0; 1555 is A in bit 15, then R, G, B in 5 bits each; 555 the
// same with bit 15 ignored; 4444 is A, R, G, B from the high nibble down.
// LUM8 is one grey byte. PAL4 packs two indices in a byte: the console puts
// the first texel in the low nibble (assumed), the PC in the high nibble.
//
// A Texture Dictionary's Struct holds the texture count (u16) and a device
// id (u16): the console's is 5; PC readers pick their texture decoder by it,
// and 0 means "by each texture's platform".
#pragma once

#include "common/bytes.h"
#include "format/format.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::texture {

inline constexpr std::uint32_t platform_console = format::platform_console;
inline constexpr std::uint32_t platform_pc = format::platform_pc;
inline constexpr std::uint16_t pc_device_id = format::device_by_platform;
// The console adds the total image size to the shared header.
inline constexpr std::size_t console_header_size = format::texture_native_header_size + 4;
inline constexpr std::size_t pc_header_size = format::texture_native_header_size;

// Raster format: pixel formats (bits 8-11) and flags.
inline constexpr std::uint32_t pixel_format_mask = 0x0F00;
inline constexpr std::uint32_t format_1555 = 0x0100;
inline constexpr std::uint32_t format_565 = 0x0200;
inline constexpr std::uint32_t format_4444 = 0x0300;
inline constexpr std::uint32_t format_lum8 = 0x0400;
inline constexpr std::uint32_t format_8888 = 0x0500;
inline constexpr std::uint32_t format_888 = 0x0600;
inline constexpr std::uint32_t format_555 = 0x0A00;
inline constexpr std::uint32_t flag_auto_mipmap = 0x1000;
inline constexpr std::uint32_t flag_pal8 = 0x2000;
inline constexpr std::uint32_t flag_pal4 = 0x4000;
inline constexpr std::uint32_t flag_mipmaps = 0x8000;

// Compression codes.
inline constexpr std::uint8_t console_dxt1 = 0x0C;
inline constexpr std::uint8_t console_dxt3 = 0x0E;
inline constexpr std::uint8_t console_dxt5 = 0x0F;
inline constexpr std::uint8_t pc_dxt1 = 1;
inline constexpr std::uint8_t pc_dxt3 = 3;
inline constexpr std::uint8_t pc_dxt5 = 5;

// How a texture's levels hold their texels.
enum class Encoding { pixels, pal8, pal4, dxt1, dxt3, dxt5 };

enum class NativeProblem {
	none,
	header_short,        // the Struct is shorter than its header
	unknown_platform,    // neither 5 nor 8
	unknown_format,      // a pixel format, flag combination or compression we do not know
	depth_mismatch,      // the depth does not suit the format
	zero_size,           // a width, height or level count of 0
	not_power_of_two,    // a swizzled level whose sides are not powers of two
	size_disagrees,      // the total image size, or a PC level size, is not what the levels take
	data_past_chunk,     // the palette or a level reaches past the Struct
	trailing_bytes,      // bytes after the last level
};

const char* native_problem_name(NativeProblem problem);

// A Texture Native Struct body read, either platform. Views point into the
// body it was read from.
struct NativeTexture : format::TextureNativeHeader {
	std::uint32_t total_size = 0;         // console only
	Encoding encoding = Encoding::pixels;
	bytes palette;                        // as stored (B, G, R, A console; R, G, B, A PC)
	std::vector<bytes> levels;            // level 0 first, texels or blocks as stored
};

struct ReadResult {
	NativeProblem problem = NativeProblem::none;
	std::string detail;                   // numbers for the message: "need 4096 bytes, 1000 there"
};

// Reads a console or PC Texture Native Struct body into `out`, checking every
// size against the bytes there and the levels against the stated sizes.
ReadResult read_native(bytes body, NativeTexture& out);

// Level i's sides.
std::uint32_t level_side(std::uint32_t side, std::uint32_t level);

// The bytes a level of `w` x `h` texels takes in `encoding` at `depth` bits.
std::uint64_t level_bytes(Encoding encoding, std::uint32_t depth, std::uint32_t w, std::uint32_t h);

// Bytes per texel, or 0 for 4-bit texels.
std::uint32_t texel_bytes(std::uint32_t depth);

} // namespace kestrun::texture
