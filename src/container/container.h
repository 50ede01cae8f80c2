// The block container: a 12-byte file header, then a chain of blocks, each a
// 12-byte block header (marker, compressed length, unused word) and one
// LZO1X stream. A further block follows while the word after the previous
// block's compressed bytes is 4.
#pragma once

#include "common/bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun {

enum class ContainerProblem {
	none,
	too_short,          // fewer than 24 bytes: not even one block header
	header_incomplete,  // a further block header is cut off by the end of the file
	block_incomplete,   // a compressed length reaches past the end of the file
	block_damaged,      // the LZO stream of a block is corrupt or cut short
	capacity_exceeded,  // the inflated stream does not fit the stream buffer
};

const char* container_problem_name(ContainerProblem problem);

struct ContainerResult {
	std::uint32_t length = 0;              // bytes of stream produced
	ContainerProblem problem = ContainerProblem::none; // the first problem met
	std::uint32_t block = 0;               // index of the block it was met in
	std::uint64_t offset = 0;              // file offset of that block's header
	std::uint32_t damaged_blocks = 0;      // how many blocks had a problem
};

// "damaged container: block N[ at offset O]: problem[ (K blocks damaged in
// all)]", the one wording of a container's damage.
std::string damaged_container_text(const ContainerResult& result, bool with_offset);

// One block of the chain as its header states it, inflated on its own.
struct ContainerBlockInfo {
	std::uint64_t offset = 0;  // of the block header in the file
	std::uint32_t stored = 0;  // compressed length as stated
	std::uint32_t inflated = 0;
	ContainerProblem problem = ContainerProblem::none; // block_incomplete, block_damaged or capacity_exceeded
};

// The blocks of the container in `input`, walked as decompress_container()
// walks them, each inflated on its own into `scratch` from its first byte.
// A further block header cut off by the end of the file is not listed; a
// file too short for one block lists none.
// lzo_init() must have succeeded before the first call.
std::vector<ContainerBlockInfo> list_container_blocks(bytes input, mut_bytes scratch);

// Inflates the container in `input` into `stream` from its first byte and
// returns the stream length with the first problem met. Never reads outside
// `input` nor writes outside `stream`; every block is decoded as far as the
// decompressor gets, and the chain is followed by the compressed lengths
// alone, so a damaged block does not hide the ones after it.
// lzo_init() must have succeeded before the first call.
ContainerResult decompress_container(bytes input, mut_bytes stream);

} // namespace kestrun
