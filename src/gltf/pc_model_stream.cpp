#include "geometry/geometry.h"
#include "gltf/gltf.h"

#include <algorithm>

namespace kestrun::gltf {

std::optional<std::vector<std::uint8_t>> pc_model_stream(std::vector<std::uint8_t> stream,
                                                         std::vector<std::string>& warnings, std::string& error)
{
	if (!fits(stream.size(), 0, format::chunk_header_size)) {
		error = "holds no model: too short for a chunk";
		return std::nullopt;
	}
	// Many models open with a UV Animation Dictionary or the like before
	// their Clump; the model is the first top-level Clump.
	const stream::Tree tree = stream::parse_tree(stream);
	const auto clump = std::find_if(tree.top.begin(), tree.top.end(),
	                                [](const stream::Chunk& c) { return c.type == format::type_clump; });
	if (clump == tree.top.end()) {
		error = "holds no model: no top-level Clump (its first chunk is " +
		        format::chunk_type_label(load_u32(stream, format::chunk_type_at)) + ")";
		return std::nullopt;
	}
	if (clump->stamp != format::console_stamp)
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
