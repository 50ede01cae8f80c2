#include "container/container.h"

#include <lzo/lzo1x.h>

#include <optional>

namespace kestrun {

namespace {

constexpr std::uint64_t file_header_size = 12;
constexpr std::uint64_t block_header_size = 12;
constexpr std::uint64_t block_length_at = 4; // the compressed length, after the marker
constexpr std::uint32_t continuation_marker = 4;

// One block as the walk meets it.
struct Block {
	std::uint32_t index = 0;
	std::uint64_t offset = 0; // of its header
	std::uint32_t stated = 0; // compressed length as stated
	bytes data;               // the compressed bytes that exist
	bool cut = false;         // the stated length reaches past the end of the file
};

// Where a further block header is cut off by the end of the file.
struct CutHeader {
	std::uint32_t index = 0;
	std::uint64_t offset = 0;
};

// The one walk over the chain, by the compressed lengths alone: hands every
// block to `visit` and returns the further header that the end of the file
// cuts off, if any. `input` holds at least one block header.
template <class Visit>
std::optional<CutHeader> walk_blocks(bytes input, Visit&& visit)
{
	const std::uint64_t size = input.size();
	std::uint64_t header = file_header_size;
	for (std::uint32_t index = 0;; index++) {
		const std::uint64_t data = header + block_header_size;
		const std::uint32_t stated = load_u32(input, header + block_length_at);
		const bool cut = size - data < stated;
		// A cut block is given the bytes that exist.
		const std::uint64_t length = cut ? size - data : stated;
		visit(Block{index, header, stated, input.subspan(std::size_t(data), std::size_t(length)), cut});
		header = data + length;
		if (!fits(size, header, 4) || load_u32(input, header) != continuation_marker)
			return std::nullopt;
		if (!fits(size, header, block_header_size))
			return CutHeader{index + 1, header};
	}
}

// Inflates `block` into `stream` from `out`, moving `out` past what it
// wrote; returns the block's problem.
ContainerProblem inflate_block(const Block& block, mut_bytes stream, std::uint64_t& out)
{
	// A block of length 0 holds nothing; the decompressor is not asked to
	// read bytes that are not the block's.
	if (block.data.empty())
		return block.cut ? ContainerProblem::block_incomplete : ContainerProblem::none;
	lzo_uint written = stream.size() - out;
	const int rc = lzo1x_decompress_safe(block.data.data(), lzo_uint(block.data.size()), stream.data() + out,
	                                     &written, nullptr);
	out += written;
	if (block.cut)
		return ContainerProblem::block_incomplete;
	// A stream that ends before its compressed length is used up is
	// complete; the bytes after its end code are ignored.
	if (rc == LZO_E_OUTPUT_OVERRUN)
		return ContainerProblem::capacity_exceeded;
	if (rc != LZO_E_OK && rc != LZO_E_INPUT_NOT_CONSUMED)
		return ContainerProblem::block_damaged;
	return ContainerProblem::none;
}

bool holds_a_block(bytes input)
{
	return fits(input.size(), file_header_size, block_header_size);
}

void note(ContainerResult& result, ContainerProblem problem, std::uint32_t block, std::uint64_t offset)
{
	if (problem == ContainerProblem::none)
		return;
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
	if (!holds_a_block(input)) {
		note(result, ContainerProblem::too_short, 0, 0);
		return result;
	}
	std::uint64_t out = 0;
	const std::optional<CutHeader> cut = walk_blocks(input, [&](const Block& block) {
		note(result, inflate_block(block, stream, out), block.index, block.offset);
	});
	if (cut)
		note(result, ContainerProblem::header_incomplete, cut->index, cut->offset);
	result.length = std::uint32_t(out);
	return result;
}

std::vector<ContainerBlockInfo> list_container_blocks(bytes input, mut_bytes scratch)
{
	std::vector<ContainerBlockInfo> blocks;
	if (!holds_a_block(input))
		return blocks;
	walk_blocks(input, [&](const Block& block) {
		std::uint64_t written = 0;
		const ContainerProblem problem = inflate_block(block, scratch, written);
		blocks.push_back({block.offset, block.stated, std::uint32_t(written), problem});
	});
	return blocks;
}

std::string damaged_container_text(const ContainerResult& result, bool with_offset)
{
	std::string text = "damaged container: block " + std::to_string(result.block);
	if (with_offset)
		text += " at offset " + std::to_string(result.offset);
	text += std::string(": ") + container_problem_name(result.problem);
	if (result.damaged_blocks > 1)
		text += " (" + std::to_string(result.damaged_blocks) + " blocks damaged in all)";
	return text;
}

} // namespace kestrun
