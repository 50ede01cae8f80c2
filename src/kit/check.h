// The soundness checks of `kestrun-kit check`, over one parsed stream. Each
// finding names where in the tree it is (a path such as
// "Clump/Geometry List/Geometry[2]/Struct") and the stream offset of the
// chunk or field concerned.
#pragma once

#include "stream/stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::kit {

enum class Severity { warning, error };

const char* severity_name(Severity severity); // "warning", "error"

struct Finding {
	Severity severity = Severity::error;
	std::string path;
	std::uint64_t offset = 0;
	std::string text;
};

struct CheckReport {
	std::vector<Finding> findings;
	std::uint64_t chunks = 0;
	std::uint64_t unknown_chunks = 0; // chunks of a type the reader has no name for, plugin data included
	std::uint32_t stamp = 0;          // the first chunk's
};

// Runs every check over `tree`, the parse of `stream`.
CheckReport check_stream(bytes stream, const stream::Tree& tree);

// Where a view into `stream` begins, as a stream offset.
std::uint64_t offset_in(bytes stream, bytes part);

// The stamp-against-layout finding: a clump Struct of 12 bytes (atomic,
// light and camera counts) whose own stamp is older than 3.3, where readers
// that follow the stamp read 4 bytes.
bool clump_struct_outruns_its_stamp(const stream::Chunk& clump_struct);

} // namespace kestrun::kit
