#include "geometry/geometry.h"
#include "gltf/gltf.h"

namespace kestrun::gltf {

std::optional<std::vector<std::uint8_t>> pc_model_stream(std::vector<std::uint8_t> stream,
                                                         std::vector<std::string>& warnings, std::string& error)
{
	if (!fits(stream.size(), 0, format::chunk_header_size)) {
		error = "holds no model: too short for a chunk";
		return std::nullopt;
	}
	if (const std::uint32_t type = load_u32(stream, format::chunk_type_at); type != format::type_clump) {
		error = "holds no model: its first chunk is " + format::chunk_type_label(type) + ", not a Clump";
		return std::nullopt;
	}
	if (load_u32(stream, format::chunk_stamp_at) != format::console_stamp)
		return stream;
	// A console stream: converted in memory as kestrun converts it, nothing
	// written beside it.
	std::vector<GeometryReport> problems;
	std::vector<std::uint8_t> converted = convert_stream(stream, problems);
	for (const GeometryReport& report : problems)
		warnings.push_back("the geometry at offset " + std::to_string(report.offset) + " of the console stream " +
		                   (leaves_geometry_unconverted(report.problem) ? "cannot be converted: "
		                                                                : "converts with a loss: ") +
		                   geometry_problem_name(report.problem));
	return converted;
}

} // namespace kestrun::gltf
