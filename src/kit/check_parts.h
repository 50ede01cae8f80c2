// The pieces of `check`, internal to the kit: check.cpp walks the tree and
// hands each chunk to the check for its type, each of which adds what it
// finds to one sink. The findings keep the order in which they are found.
#pragma once

#include "kit/check.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrun::kit::checks {

// Where the checks put their findings. `stream` is the whole stream, for
// the offsets of fields inside a chunk's body.
struct Findings {
	bytes stream;
	std::vector<Finding>& list;

	void add(Severity severity, const std::string& path, std::uint64_t offset, std::string text);
};

// Texts for findings: "0x0000ABCD", "0x1400FFFF (3.5.0.0)", a number.
std::string hex(std::uint32_t v);
std::string stamp_text(std::uint32_t stamp);
std::string n(std::uint64_t v);

// The paths of `siblings`: each one's type, with its place among siblings
// of that type when there are several.
std::vector<std::string> child_paths(const std::string& parent, const std::vector<stream::Chunk>& siblings);

// The count at the head of `parent`'s Struct; none without a Struct that
// holds one.
std::optional<std::uint32_t> struct_count(const stream::Chunk& parent);

// The model's lists (check_model.cpp).
void check_clump(Findings& findings, const stream::Chunk& clump, const std::string& path);
void check_frame_list(Findings& findings, const stream::Chunk& list, const std::string& path);
void check_material_list(Findings& findings, const stream::Chunk& list, const std::string& path);
// The count in `parent`'s Struct against its children of `type`, called
// `what` in the findings ("geometry").
void check_list_count(Findings& findings, const stream::Chunk& parent, const std::string& path, std::uint32_t type,
                      const char* what);

// A Geometry: its Struct, triangles and Bin Mesh (check_geometry.cpp).
void check_geometry(Findings& findings, const stream::Chunk& geometry, const std::string& path);

// A Texture Dictionary's count, device id and textures' platforms, and a
// Texture Native's header and levels as the texture module reads them
// (check_texture.cpp).
void check_dictionary(Findings& findings, const stream::Chunk& dictionary, const std::string& path);
void check_texture_native(Findings& findings, const stream::Chunk& texture_native, const std::string& path);

} // namespace kestrun::kit::checks
