#include "geometry/steps.h"

#include <cstring>

namespace kestrun {

void restamp_stream(mut_bytes stream, std::uint32_t target)
{
	if (stream.size() < 4)
		return;
	std::uint8_t stamp[4];
	store_u32(mut_bytes(stamp, 4), 0, format::console_stamp);
	// The console stamp's bytes, FF FF 00 14, cannot overlap themselves, and no target stamp
	// completes a new match with the bytes after it, so one forward pass with
	// a jump past each replacement finds every occurrence. memchr finds the
	// candidates far faster than a byte loop.
	std::uint8_t* p = stream.data();
	std::uint8_t* const last = p + stream.size() - 3; // one past the last start
	while (p < last) {
		p = static_cast<std::uint8_t*>(std::memchr(p, stamp[0], std::size_t(last - p)));
		if (!p)
			return;
		if (p[1] == stamp[1] && p[2] == stamp[2] && p[3] == stamp[3]) {
			store_u32(mut_bytes(p, 4), 0, target);
			p += 4;
		} else {
			p++;
		}
	}
}

} // namespace kestrun
