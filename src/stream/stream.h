// The chunk-tree reader shared by kestrun-kit's commands: parses any bytes as
// a RenderWare chunk stream into a tree, never reading outside them, and
// decodes the Struct bodies the kit's commands need.
//
// A chunk header is 12 bytes: type, body size, version stamp (little-endian
// u32 each). The children of a chunk are the chunks in its body, for the
// container types (format::holds_children()); other bodies are data.
#pragma once

#include "common/bytes.h"
#include "format/format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrun::stream {

// One chunk of the tree. `body` is clipped to the bytes that are there:
// shorter than `size` when the chunk runs past its parent or the stream.
struct Chunk {
	std::uint64_t offset = 0; // of the header, in the whole stream
	std::uint32_t type = 0;
	std::uint32_t size = 0;
	std::uint32_t stamp = 0;
	bytes body;
	bool cut_off = false;           // 12 + size reaches past the parent's body or the stream
	std::vector<Chunk> children;    // container types only
	std::uint64_t trailing = 0;     // bytes at the end of the body that do not make a whole child
	bool depth_limited = false;     // a container past max_depth: its body was not parsed
	// In a console geometry's Extension, the 16 bytes after the Native Data
	// chunk are not a chunk; the parser steps over them and keeps their
	// offset here.
	std::optional<std::uint64_t> console_gap;
};

struct Tree {
	std::vector<Chunk> top;         // the chain of top-level chunks from offset 0
	std::uint64_t trailing = 0;     // bytes after the last whole top-level chunk
};

inline constexpr int max_depth = 64;

// Parses `stream`. Depth is limited so that a hostile nesting cannot exhaust
// the stack; a chunk past the limit is kept without children.
Tree parse_tree(bytes stream);

// The first child of `parent` with `type`, or nullptr.
const Chunk* find_child(const Chunk& parent, std::uint32_t type);
std::vector<const Chunk*> children_of_type(const Chunk& parent, std::uint32_t type);

// ---------------------------------------------------------------------------
// Struct bodies decoded. Each decoder takes the container chunk (Clump,
// Geometry, ...) and reads its Struct child; nothing when the Struct is
// missing or too short for what the decoder reads.

struct ClumpInfo {
	std::uint32_t atomics = 0;
	std::uint32_t lights = 0;
	std::uint32_t cameras = 0;
	std::uint32_t struct_size = 0; // 4, or 12 with the light and camera counts
};
std::optional<ClumpInfo> decode_clump(const Chunk& clump);

struct FrameInfo {
	std::array<float, 9> rotation{}; // right, up, at: three vectors of three
	std::array<float, 3> position{};
	std::int32_t parent = -1;        // -1 for a root
	std::string name;                // from the Frame (node name) chunk in the frame's Extension, if any
};
// The frames of a Frame List, names included (the i-th Extension child after
// the Struct belongs to frame i).
std::optional<std::vector<FrameInfo>> decode_frame_list(const Chunk& frame_list);

// A Geometry's Struct. For the generic layout (native flag 0) the sections
// are views into the Struct body; for a native geometry they are empty.
struct GeometryInfo {
	std::uint32_t flags = 0;          // low 16 bits of the format word
	std::uint32_t texture_sets = 0;   // as stored (0: derived from the flags by readers)
	std::uint32_t native_flags = 0;   // the format word's top byte
	std::uint32_t triangles = 0;      // T
	std::uint32_t vertices = 0;       // V
	std::uint32_t morph_targets = 0;
	bool has_surface_properties = false; // versions before 3.4 carry 12 bytes of them
	std::uint32_t expected_struct_size = 0; // what flags, sets, T, V and morph targets give (64-bit sums clipped to u32 max)
	                                        // for a native geometry: the least it holds, header (and surface properties) and sphere
	// Generic sections (first morph target only), each exactly as long as the
	// counts ask when the Struct holds them all, else empty.
	bytes colours;    // V x 4: red, green, blue, alpha
	bytes texcoords;  // V x 8, first texture set
	bytes triangle_records; // T x 8, see below
	std::array<float, 4> sphere{};
	bool has_positions = false;
	bool has_normals = false;
	bytes positions;  // V x 12
	bytes normals;    // V x 12
};
// Triangle record (generic layout): u16 vertex 2, u16 vertex 1, u16 material,
// u16 vertex 3 -- the record kestrun writes (second, first, material, third).
std::optional<GeometryInfo> decode_geometry(const Chunk& geometry);

struct BinMeshMesh {
	std::uint32_t index_count = 0;
	std::uint32_t material = 0;
	std::vector<std::uint32_t> indices; // empty for a console Bin Mesh, which holds none
};
struct BinMeshInfo {
	std::uint32_t flag = 0;           // 0 list, 1 strip
	std::uint32_t mesh_count = 0;
	std::uint32_t index_total = 0;
	std::vector<BinMeshMesh> meshes;  // those that lie wholly inside the body
	bool has_indices = false;         // false for the console's records-only form
	bool complete = true;             // false when the body ends before mesh_count meshes
	std::uint64_t end = 0;            // body bytes the header and the whole meshes take
};
// `bin_mesh` is the Bin Mesh chunk itself; `native` tells whether its
// geometry is native (records only, no indices).
std::optional<BinMeshInfo> decode_bin_mesh(const Chunk& bin_mesh, bool native);

// A strip as a list of triangles: every position j gives the triangle
// (j, j+1, j+2), every odd one with its last two corners swapped so that the
// winding holds; triangles with a repeated vertex (the stitches between
// strips) are left out but still count for the parity.
std::vector<std::uint32_t> unroll_strip(std::span<const std::uint32_t> strip);

// A generic Bin Mesh mesh's triangles as vertex triples: a list (flag 0) as
// stored, a last incomplete triple dropped; a strip (flag 1) unrolled.
std::vector<std::uint32_t> mesh_triangles(const BinMeshMesh& mesh, std::uint32_t flag);

struct TextureInfo {
	std::uint32_t filter = 0;     // low 8 bits of the filter word
	std::uint32_t address_u = 0;  // bits 8-11
	std::uint32_t address_v = 0;  // bits 12-15
	std::string name;
	std::string mask;
};
std::optional<TextureInfo> decode_texture(const Chunk& texture);

struct MaterialInfo {
	std::array<std::uint8_t, 4> colour{}; // red, green, blue, alpha
	std::uint32_t texture_count = 0;      // 0 or 1 (the "is textured" word)
	std::optional<TextureInfo> texture;
};
std::optional<MaterialInfo> decode_material(const Chunk& material);

struct AtomicInfo {
	std::uint32_t frame = 0;
	std::uint32_t geometry = 0;
	std::uint32_t flags = 0;
};
std::optional<AtomicInfo> decode_atomic(const Chunk& atomic);

// The fields a console (platform 5) and a PC (platform 8) Texture Native
// Struct share, up to the compression byte. The texture module reads the rest.
struct TextureNativeHeader {
	std::uint32_t platform = 0;
	std::uint32_t filter = 0, address_u = 0, address_v = 0;
	std::string name, mask;
	std::uint32_t raster_format = 0;
	std::uint32_t alpha = 0;          // console: alpha; PC: has-alpha
	std::uint16_t width = 0, height = 0;
	std::uint8_t depth = 0, levels = 0, raster_type = 0, compression = 0;
};
std::optional<TextureNativeHeader> decode_texture_native_header(const Chunk& texture_native);

// A Texture Dictionary's Struct: the texture count (u16) and the device id
// (u16) where present.
struct DictionaryInfo {
	std::uint32_t textures = 0;
	std::uint32_t device = 0;
};
std::optional<DictionaryInfo> decode_dictionary(const Chunk& dictionary);

// What is wrong with a dictionary's texture count: no Struct to hold it, or
// a count other than its Texture Natives (a chunk whose size reaches too far
// swallows the ones after it). Empty when the count agrees.
std::string dictionary_count_problem(const Chunk& dictionary);

} // namespace kestrun::stream
