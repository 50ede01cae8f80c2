#include "geometry/steps.h"

namespace kestrun {

std::array<float, 3> decode_packed_normal(std::uint32_t packed)
{
	// Two's complement fields of 11, 11 and 10 bits: take away the field's
	// range when its top bit is set.
	int x = int(packed & 0x7FF);
	int y = int((packed >> 11) & 0x7FF);
	int z = int(packed >> 22);
	if (x & 0x400)
		x -= 2048;
	if (y & 0x400)
		y -= 2048;
	if (z & 0x200)
		z -= 1024;
	// One single-precision division each: the quotient rounded once.
	return {float(x) / 1023.0f, float(y) / 1023.0f, float(z) / 511.0f};
}

} // namespace kestrun
