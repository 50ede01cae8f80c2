// What `kestrun-kit fix` changes in a stream. Every other byte stays as it is.
// - A clump Struct of 12 bytes under a stamp older than 3.3 is shrunk to the
//   4 bytes such readers read, when its light and camera counts are 0, and
//   every enclosing size is corrected.
// - A generic geometry whose triangle records all carry material 0 while its
//   Bin Mesh names other materials (older converters wrote it so) gets each
//   triangle's material from the Bin Mesh mesh that yields it.
// - A PC dictionary (stamp 3.1, every texture platform 8) whose device id is
//   not 0, 1 or 2 gets device id 0, so that PC readers go by each texture's
//   platform.
#pragma once

#include "stream/stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::kit {

struct FixNote {
	std::uint64_t offset = 0; // of the chunk concerned (Clump, Geometry, Texture Dictionary)
	std::uint32_t type = 0;   // its type
	bool changed = false;     // false: left as it is, and why
	std::uint32_t removed = 0; // bytes the change takes out of the stream
	std::string text;
};

struct FixResult {
	std::vector<std::uint8_t> stream; // the fixed stream; empty when nothing changed
	std::vector<FixNote> notes;
	bool changed() const { return !stream.empty(); }
};

// `tree` is the parse of `stream`.
FixResult fix_stream(bytes stream, const stream::Tree& tree);

// The same fix made in `stream` itself, without a copy: the notes, one with
// `changed` set for each change made. `tree` is the parse of `stream` and
// shows the old bytes no more once this returns.
std::vector<FixNote> fix_stream_in_place(std::vector<std::uint8_t>& stream, const stream::Tree& tree);

// A geometry's triangle materials as its Bin Mesh gives them, for a generic
// geometry whose records all carry material 0 while the Bin Mesh names
// another. Nothing when that is not the case or would change nothing. Each
// triangle takes the material of the mesh that yields the same three
// vertices in any order (strips unrolled); `problem` says why not when one
// is yielded by no mesh or by meshes of different materials, and
// `materials` is then empty.
struct TriangleMaterialRepair {
	bytes records;                        // the geometry's triangle records
	std::vector<std::uint16_t> materials; // one per record
	std::string problem;
};
std::optional<TriangleMaterialRepair> plan_triangle_materials(const stream::Chunk& geometry);

// The device id of a PC dictionary (stamp 3.1, every texture platform 8)
// when it is none that PC readers know (0, 1 or 2); else nothing.
std::optional<std::uint32_t> stray_device_id(const stream::Chunk& dictionary);

} // namespace kestrun::kit
