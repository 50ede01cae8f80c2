#include "container/container.h"

#include <lzo/lzo1x.h>

namespace kestrun {

namespace {

constexpr std::uint64_t file_header_size = 12;
constexpr std::uint64_t block_header_size = 12;
constexpr std::uint32_t continuation_marker = 4;

void note(ContainerResult& result, ContainerProblem problem, std::uint32_t block, std::uint64_t offset)
{
	if (result.problem == ContainerProblem::none) {
		result.problem = problem;
		result.block = block;
		result.offset = offset;
	}
	result.damaged_blocks++;
}

} // namespace

const char* container_problem_name(ContainerProblem problem)
{
	switch (problem) {
	case ContainerProblem::none: return "no problem";
	case ContainerProblem::too_short: return "file too short for a block container";
	case ContainerProblem::header_incomplete: return "block header cut off by the end of the file";
	case ContainerProblem::block_incomplete: return "compressed length reaches past the end of the file";
	case ContainerProblem::block_damaged: return "compressed data damaged";
	case ContainerProblem::capacity_exceeded: return "inflated stream larger than the stream buffer";
	}
	return "unknown problem";
}

ContainerResult decompress_container(bytes input, mut_bytes stream)
{
	ContainerResult result;
	const std::uint64_t size = input.size();
	if (!fits(size, file_header_size, block_header_size)) {
		note(result, ContainerProblem::too_short, 0, 0);
		return result;
	}

	std::uint64_t header = file_header_size;
	std::uint64_t out = 0;
	for (std::uint32_t block = 0;; block++) {
		const std::uint64_t data = header + block_header_size;
		std::uint64_t length = load_u32(input, header + 4);
		const bool cut = size - data < length;
		if (cut)
			length = size - data; // give the block the bytes that exist

		// A block of length 0 holds nothing; the decompressor is not asked to
		// read bytes that are not the block's.
		if (length > 0) {
			lzo_uint written = stream.size() - out;
			int rc = lzo1x_decompress_safe(input.data() + data, lzo_uint(length), stream.data() + out, &written,
			                               nullptr);
			out += written;
			// A stream that ends before its compressed length is used up is
			// complete; the bytes after its end code are ignored.
			if (!cut && rc == LZO_E_OUTPUT_OVERRUN)
				note(result, ContainerProblem::capacity_exceeded, block, header);
			else if (!cut && rc != LZO_E_OK && rc != LZO_E_INPUT_NOT_CONSUMED)
				note(result, ContainerProblem::block_damaged, block, header);
		}
		if (cut)
			note(result, ContainerProblem::block_incomplete, block, header);

		header = data + length;
		if (!fits(size, header, 4) || load_u32(input, header) != continuation_marker)
			break;
		if (!fits(size, header, block_header_size)) {
			note(result, ContainerProblem::header_incomplete, block + 1, header);
			break;
		}
	}
	result.length = std::uint32_t(out);
	return result;
}

} // namespace kestrun
