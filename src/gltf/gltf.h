// Binary glTF 2.0 export of a model: frames become nodes, atomics mesh
// instances, geometries meshes (one primitive per material), materials PBR
// materials with their textures embedded as PNG.
//
// Everything here reads only inside the views it is given; a model that the
// reader cannot make sense of gives warnings and leaves parts out, never a
// file that a glTF validator rejects.
#pragma once

#include "common/bytes.h"
#include "stream/stream.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrun::gltf {

// ---------------------------------------------------------------------------
// Pieces (one file each).

// A node transform: translation, rotation as a unit quaternion (x, y, z, w,
// w >= 0) and scale.
struct Trs {
	std::array<double, 3> translation{};
	std::array<double, 4> rotation{0, 0, 0, 1};
	std::array<double, 3> scale{1, 1, 1};
};

// Decomposes a frame's right, up and at vectors (the images of the x, y and z
// axes) and its position. Shear is dropped (the rotation is orthonormalised);
// a mirroring matrix gets a negative z scale; a zero axis gets scale 0. False
// when a value was not finite: the non-finite part is replaced by identity.
bool decompose_frame(const std::array<float, 9>& rotation, const std::array<float, 3>& position, Trs& trs);

// An 8-bit sRGB-encoded channel as a linear value in 0 to 1.
double srgb_to_linear(std::uint8_t channel);

// The GLB container: 12-byte header, JSON chunk padded with spaces, BIN chunk
// (left out when `bin` is empty) padded with zeros. Nothing when the whole
// would not fit the format's 32-bit length.
std::optional<std::vector<std::uint8_t>> write_glb(const std::string& json, bytes bin);

// ---------------------------------------------------------------------------
// Textures that materials name, from the dictionaries the user gives.

struct EncodedTexture {
	std::vector<std::uint8_t> png;  // empty when the texture could not be decoded
	bool has_alpha = false;
	std::uint32_t filter = 0, address_u = 0, address_v = 0; // as the texture native has them
	std::string error;              // why png is empty
};

class TextureLibrary {
public:
	// Adds the textures of one dictionary stream (already inflated), read
	// from the file `source`. False, with `error`, when the stream holds no
	// dictionary.
	bool add_dictionary(std::vector<std::uint8_t> stream, std::string& error, const std::string& source = {});

	// Looks names up for the model `model` from here on: first in the
	// dictionaries whose file stem is the model's (car.dff, car.txd), then,
	// with `same_folder_next`, in those of the model's folder, then in the
	// rest, each tier in the order the dictionaries were added, as modders'
	// importers do.
	void prefer_for(const std::string& model, bool same_folder_next = false);

	// The texture named `name`, decoded and encoded once and then kept; nullptr
	// when no dictionary holds it. A name matches exactly in any dictionary
	// before it matches ignoring ASCII case.
	const EncodedTexture* find(const std::string& name);

private:
	struct Dictionary {
		std::vector<std::uint8_t> stream;
		stream::Tree tree;
		std::string source;
		std::map<std::string, const stream::Chunk*> natives;        // by name
		std::map<std::string, const stream::Chunk*> natives_folded; // by lower-cased name
	};
	const stream::Chunk* look_up(const std::string& name) const;
	const EncodedTexture* encode(const stream::Chunk* native);

	std::vector<std::unique_ptr<Dictionary>> dictionaries_;
	std::vector<const Dictionary*> order_; // the lookup order for the current model
	std::map<const stream::Chunk*, EncodedTexture> encoded_;
};

// ---------------------------------------------------------------------------
// Models.

// What one export says besides the file: warnings name what was left out.
struct Export {
	std::vector<std::uint8_t> glb;
	std::vector<std::string> warnings;
	std::uint32_t nodes = 0, meshes = 0, textures = 0;
};

// The PC stream of an inflated model stream: a console stream (its Clump
// carries the console stamp) is converted in memory, each geometry the
// converter cannot convert giving a warning; a PC stream is taken as it is.
// Chunks before the first top-level Clump (a UV Animation Dictionary, say)
// are skipped. Nothing, with `error`, when the stream holds no top-level
// Clump.
std::optional<std::vector<std::uint8_t>> pc_model_stream(std::vector<std::uint8_t> stream,
                                                         std::vector<std::string>& warnings, std::string& error);

// The GLB of a PC model stream. `name` names the scene's root node. Nothing,
// with `error`, when the stream holds no Clump, ends inside one, or the GLB
// would be too large.
std::optional<Export> export_model(bytes stream, const std::string& name, TextureLibrary& textures,
                                   std::string& error);

} // namespace kestrun::gltf
