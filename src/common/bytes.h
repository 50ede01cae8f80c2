// Little-endian access to byte buffers, and the bounds idiom every reader uses.
//
// Loads and stores take a view and an offset. The caller has already checked,
// with fits(), that the bytes lie inside the view; the helpers only assert it,
// because a failed check here is our bug, not a bad file.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrun {

using bytes = std::span<const std::uint8_t>;
using mut_bytes = std::span<std::uint8_t>;

// The driver's fixed stream buffer: 2 MiB, plus the worst-case growth of
// incompressible data, plus slack.
inline constexpr std::uint32_t stream_capacity = 2097152 + 2097152 / 16 + 64 + 3;

// True when `need` bytes starting at `pos` lie inside a buffer of `size`
// bytes. All three in 64 bits, so positions computed from 32-bit fields
// cannot wrap.
constexpr bool fits(std::uint64_t size, std::uint64_t pos, std::uint64_t need)
{
	return pos <= size && size - pos >= need;
}

inline std::uint16_t load_u16(bytes b, std::size_t pos)
{
	assert(fits(b.size(), pos, 2));
	return std::uint16_t(b[pos] | b[pos + 1] << 8);
}

inline std::uint32_t load_u32(bytes b, std::size_t pos)
{
	assert(fits(b.size(), pos, 4));
	return std::uint32_t(b[pos]) | std::uint32_t(b[pos + 1]) << 8 | std::uint32_t(b[pos + 2]) << 16 |
	       std::uint32_t(b[pos + 3]) << 24;
}

inline float load_f32(bytes b, std::size_t pos)
{
	return std::bit_cast<float>(load_u32(b, pos));
}

inline void store_u16(mut_bytes b, std::size_t pos, std::uint16_t v)
{
	assert(fits(b.size(), pos, 2));
	b[pos] = std::uint8_t(v);
	b[pos + 1] = std::uint8_t(v >> 8);
}

inline void store_u32(mut_bytes b, std::size_t pos, std::uint32_t v)
{
	assert(fits(b.size(), pos, 4));
	b[pos] = std::uint8_t(v);
	b[pos + 1] = std::uint8_t(v >> 8);
	b[pos + 2] = std::uint8_t(v >> 16);
	b[pos + 3] = std::uint8_t(v >> 24);
}

inline void store_f32(mut_bytes b, std::size_t pos, float v)
{
	store_u32(b, pos, std::bit_cast<std::uint32_t>(v));
}

} // namespace kestrun
