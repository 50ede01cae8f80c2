// What `kestrun-kit fix` changes in a stream: a clump Struct of 12 bytes
// under a stamp older than 3.3 is shrunk to the 4 bytes such readers read,
// when its light and camera counts are 0, and every enclosing size is
// corrected. Every other byte stays as it is.
#pragma once

#include "stream/stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::kit {

struct FixNote {
	std::uint64_t offset = 0; // of the Clump
	bool changed = false;     // false: left as it is, and why
	std::string text;
};

struct FixResult {
	std::vector<std::uint8_t> stream; // the fixed stream; empty when nothing changed
	std::vector<FixNote> notes;
	bool changed() const { return !stream.empty(); }
};

// `tree` is the parse of `stream`.
FixResult fix_clump_structs(bytes stream, const stream::Tree& tree);

} // namespace kestrun::kit
