// The glTF document an export builds: the JSON arrays, the binary buffer they
// point into, and the warnings. Internal to the module.
#pragma once

#include "gltf/gltf.h"

#include <nlohmann/json.hpp>

namespace kestrun::gltf {

using json = nlohmann::json;

inline constexpr std::uint32_t target_array_buffer = 34962;
inline constexpr std::uint32_t target_element_array_buffer = 34963;
inline constexpr std::uint32_t component_u8 = 5121;
inline constexpr std::uint32_t component_u16 = 5123;
inline constexpr std::uint32_t component_u32 = 5125;
inline constexpr std::uint32_t component_f32 = 5126;

// JSON text of `value`. Names come from the files and need not be UTF-8:
// a byte that is not becomes U+FFFD, never a failure.
inline std::string json_text(const json& value)
{
	return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

struct Document {
	json nodes = json::array();
	json meshes = json::array();
	json accessors = json::array();
	json buffer_views = json::array();
	json materials = json::array();
	json textures = json::array();
	json images = json::array();
	json samplers = json::array();
	std::vector<std::uint8_t> bin;
	std::vector<std::string> warnings;

	// The same material, texture or sampler is written once: keyed by its
	// JSON text; an image once per texture of the library.
	std::map<std::string, std::uint32_t> material_index, texture_index, sampler_index;
	std::map<const EncodedTexture*, std::uint32_t> image_index;

	void warn(std::string text) { warnings.push_back(std::move(text)); }

	// Appends `data` to the buffer at a 4-byte boundary and returns its
	// bufferView; `target` 0 leaves the target out (images).
	std::uint32_t add_view(bytes data, std::uint32_t target);
	std::uint32_t add_accessor(json accessor);

	// The whole document as JSON text, node 0 the scene's root; empty arrays
	// are left out, as glTF wants.
	std::string text() const;
};

// Context for the materials of one model.
struct MaterialContext {
	TextureLibrary& textures;
	std::map<std::string, bool> missing_reported; // each missing texture is named once
};

// The glTF material of a model material, written once per distinct material.
// Without texture coordinates (`textured` false) a texture cannot be drawn
// and is left out.
std::uint32_t add_material(Document& doc, const stream::MaterialInfo& material, bool textured,
                           MaterialContext& context);

// The Material List of `geometry`, one entry per slot, references resolved;
// an entry that cannot be read is empty.
std::vector<std::optional<stream::MaterialInfo>> read_material_list(const stream::Chunk& geometry);

// The mesh of one geometry, or nothing (with a warning saying why) when it
// has nothing glTF can draw. `label` names it in warnings ("geometry 3").
std::optional<std::uint32_t> add_geometry_mesh(Document& doc, const stream::Chunk& geometry, const std::string& label,
                                               MaterialContext& context);

} // namespace kestrun::gltf
