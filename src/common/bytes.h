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
#include <cstring>
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

// Files are little-endian. A memcpy of the bytes compiles to one load or
// store on every target; on a big-endian host the value is turned round.
constexpr bool host_is_little = std::endian::native == std::endian::little;

constexpr std::uint16_t swap_bytes(std::uint16_t v)
{
	return std::uint16_t(v << 8 | v >> 8);
}

constexpr std::uint32_t swap_bytes(std::uint32_t v)
{
	return v << 24 | (v & 0xFF00) << 8 | (v >> 8 & 0xFF00) | v >> 24;
}

inline std::uint16_t load_u16(bytes b, std::size_t pos)
{
	assert(fits(b.size(), pos, 2));
	std::uint16_t v;
	std::memcpy(&v, b.data() + pos, 2);
	return host_is_little ? v : swap_bytes(v);
}

inline std::uint32_t load_u32(bytes b, std::size_t pos)
{
	assert(fits(b.size(), pos, 4));
	std::uint32_t v;
	std::memcpy(&v, b.data() + pos, 4);
	return host_is_little ? v : swap_bytes(v);
}

inline float load_f32(bytes b, std::size_t pos)
{
	return std::bit_cast<float>(load_u32(b, pos));
}

inline void store_u16(mut_bytes b, std::size_t pos, std::uint16_t v)
{
	assert(fits(b.size(), pos, 2));
	v = host_is_little ? v : swap_bytes(v);
	std::memcpy(b.data() + pos, &v, 2);
}

inline void store_u32(mut_bytes b, std::size_t pos, std::uint32_t v)
{
	assert(fits(b.size(), pos, 4));
	v = host_is_little ? v : swap_bytes(v);
	std::memcpy(b.data() + pos, &v, 4);
}

inline void store_f32(mut_bytes b, std::size_t pos, float v)
{
	store_u32(b, pos, std::bit_cast<std::uint32_t>(v));
}

} // namespace kestrun
