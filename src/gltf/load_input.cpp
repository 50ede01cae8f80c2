#include "container/container.h"
#include "geometry/geometry.h"
#include "gltf/gltf.h"

#include <lzo/lzoconf.h>

namespace kestrun::gltf {

namespace {

// A plain stream starts with the chunk we expect, and that chunk lies inside
// the file. A container starts with a file header that is no chunk header.
bool starts_with_chunk(bytes file, std::uint32_t type)
{
	return fits(file.size(), 0, 12) && load_u32(file, 0) == type && fits(file.size(), 12, load_u32(file, 4));
}

std::optional<std::vector<std::uint8_t>> inflate(bytes file, std::string& error)
{
	static const bool lzo_ready = lzo_init() == LZO_E_OK;
	if (!lzo_ready) {
		error = "the LZO library failed to start";
		return std::nullopt;
	}
	std::vector<std::uint8_t> stream(stream_capacity);
	const ContainerResult result = decompress_container(file, stream);
	if (result.problem != ContainerProblem::none) {
		error = std::string("damaged container: block ") + std::to_string(result.block) + " at offset " +
		        std::to_string(result.offset) + ": " + container_problem_name(result.problem);
		return std::nullopt;
	}
	stream.resize(result.length);
	return stream;
}

std::optional<std::vector<std::uint8_t>> stream_of_file(bytes file, std::uint32_t type, const char* what,
                                                        std::string& error)
{
	if (starts_with_chunk(file, type))
		return std::vector<std::uint8_t>(file.begin(), file.end());
	std::optional<std::vector<std::uint8_t>> stream = inflate(file, error);
	if (stream && !starts_with_chunk(*stream, type)) {
		error = std::string("holds no ") + what + " (neither a stream nor a container of one)";
		return std::nullopt;
	}
	return stream;
}

} // namespace

std::optional<std::vector<std::uint8_t>> model_stream_of_file(bytes file, std::vector<std::string>& warnings,
                                                              std::string& error)
{
	std::optional<std::vector<std::uint8_t>> stream = stream_of_file(file, stream::type_clump, "model", error);
	if (!stream || load_u32(*stream, 8) != xbox_stamp)
		return stream;
	// A console stream: converted in memory as kestrun converts it.
	std::vector<GeometryReport> problems;
	std::vector<std::uint8_t> converted = convert_stream(*stream, problems);
	for (const GeometryReport& report : problems)
		warnings.push_back("the geometry at offset " + std::to_string(report.offset) + " of the console stream " +
		                   (leaves_geometry_unconverted(report.problem) ? "cannot be converted: " : "converts with a loss: ") +
		                   geometry_problem_name(report.problem));
	return converted;
}

std::optional<std::vector<std::uint8_t>> dictionary_stream_of_file(bytes file, std::string& error)
{
	return stream_of_file(file, stream::type_texture_dictionary, "texture dictionary", error);
}

} // namespace kestrun::gltf
