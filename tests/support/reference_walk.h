// The conversion done the plain way: every geometry rebuilt by copying the
// whole working stream. The product assembles its output as it walks; the
// two must agree byte for byte.
#pragma once

#include "geometry/geometry.h"

namespace kestrun::testing {

std::vector<std::uint8_t> reference_convert_stream(bytes stream, std::vector<GeometryReport>& problems);

} // namespace kestrun::testing
