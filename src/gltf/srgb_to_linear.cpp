#include "gltf/gltf.h"

#include <cmath>

namespace kestrun::gltf {

// The sRGB transfer function, inverted: glTF colour factors are linear,
// material colours were picked on screen.
double srgb_to_linear(std::uint8_t channel)
{
	const double c = channel / 255.0;
	return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace kestrun::gltf
