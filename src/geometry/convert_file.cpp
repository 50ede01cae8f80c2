#include "geometry/geometry.h"

#include <algorithm>
#include <cstring>

namespace kestrun {

std::unique_ptr<std::uint8_t[]> new_stream_buffer()
{
	// Written from its first byte before anything reads it: no need to clear.
	return std::make_unique_for_overwrite<std::uint8_t[]>(stream_capacity);
}

InflatedFile inflate_file(bytes file, bool plain_stream, std::unique_ptr<std::uint8_t[]> buffer)
{
	InflatedFile inflated;
	inflated.buffer = std::move(buffer);
	if (!plain_stream) {
		inflated.container = decompress_container(file, mut_bytes(inflated.buffer.get(), stream_capacity));
		inflated.length = inflated.container.length;
		return inflated;
	}
	inflated.length = std::uint32_t(std::min<std::size_t>(file.size(), stream_capacity));
	if (file.size() > stream_capacity)
		inflated.container.problem = ContainerProblem::capacity_exceeded;
	inflated.container.length = inflated.length;
	if (inflated.length > 0)
		std::memcpy(inflated.buffer.get(), file.data(), inflated.length);
	return inflated;
}

ConvertedModel convert_model_file(InflatedFile inflated)
{
	ConvertedModel model;
	// The converter takes the stream buffer over and works in it, so a file
	// never holds more than that buffer and the converted stream.
	model.stream = convert_stream(std::move(inflated.buffer), inflated.length, model.problems);
	return model;
}

} // namespace kestrun
