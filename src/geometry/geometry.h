// Native geometry conversion: rewrites one inflated model stream so that the
// console version stamp becomes the target stamp and every console-native
// Geometry chunk becomes a generic one (triangles, prelit colours, texture
// coordinates, positions and normals in its Struct body, a Bin Mesh of 32-bit
// indices, no Native Data chunk).
//
// Every function reads only inside the views it is given. Positions are
// 64-bit offsets into the old working buffer; a position computed from the
// stream's own sizes and counts is checked with fits() before it is read.
#pragma once

#include "common/bytes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace kestrun {

inline constexpr std::uint32_t xbox_stamp = 0x1400FFFF;

// Build-time choice of the stamp written: 0 writes 0x00000310, 1 0x0800FFFF,
// 2 0x1003FFFF, anything else 0x00000310. We build with 0.
inline constexpr int target_version_selector = 0;

constexpr std::uint32_t target_stamp_for(int selector)
{
	return selector == 1 ? 0x0800FFFF : selector == 2 ? 0x1003FFFF : 0x00000310;
}

inline constexpr std::uint32_t target_stamp = target_stamp_for(target_version_selector);

inline constexpr std::uint32_t chunk_geometry = 0x0F;
inline constexpr std::uint32_t chunk_geometry_list = 0x1A;

inline constexpr std::uint32_t fill_word = 0xCDCDCDCD;

// Geometry flag bits that shape the vertex record and the generic sections.
inline constexpr std::uint16_t flag_texture_coordinates = 0x04;
inline constexpr std::uint16_t flag_prelit_colours = 0x08;
inline constexpr std::uint16_t flag_normals = 0x10;

// ---------------------------------------------------------------------------
// Problems met in one geometry. All but records_dropped leave the geometry
// exactly as the stamp pass left it.

enum class GeometryProblem {
	none,
	header_outside,         // geometry header or bounding sphere past the end of the stream
	material_list_outside,  // Material List header or material count past the end
	extension_outside,      // Extension or Bin Mesh header past the end
	native_data_outside,    // Native Data chunk and the 16 bytes after it past the end
	geometry_outside,       // Geometry chunk past the end of the stream
	geometry_size_mismatch, // Geometry size is not that of its Struct, Material List and Extension
	native_data_outside_extension, // Native Data chunk and the 16 bytes past the end of the Extension
	descriptors_outside,    // material count reaches past the Native Data body
	index_list_outside,     // an index list runs off the end of the Native Data body
	vertex_records_outside, // vertex records run off the end of the Native Data body
	size_overflow,          // a new chunk size or the new stream length exceeds 32 bits
	triangle_count_too_large, // more triangles than the Native Data has room for indices
	records_dropped,        // more triangle records than the triangle count; extras dropped
};

const char* geometry_problem_name(GeometryProblem problem);

// True for the problems that leave the geometry unconverted.
constexpr bool leaves_geometry_unconverted(GeometryProblem problem)
{
	return problem != GeometryProblem::none && problem != GeometryProblem::records_dropped;
}

struct GeometryReport {
	std::uint64_t offset;     // of the Geometry chunk header in the inflated stream
	GeometryProblem problem;
};

// ---------------------------------------------------------------------------
// Stream level.

// Returns the converted copy of `stream`; `stream` itself is not changed.
// Problems of single geometries are appended to `problems`; the conversion
// goes on past them. Throws std::bad_alloc when memory runs out.
std::vector<std::uint8_t> convert_stream(bytes stream, std::vector<GeometryReport>& problems);

// The same for a stream whose buffer the caller hands over: the stamp pass
// works in it in place of a copy, which saves a copy and a stream's worth of
// memory. The buffer is released before the converted stream is returned.
std::vector<std::uint8_t> convert_stream(std::unique_ptr<std::uint8_t[]> stream, std::uint32_t length,
                                         std::vector<GeometryReport>& problems);

// Replaces every occurrence of the bytes FF FF 00 14 with `target`, at any
// alignment, inside chunk bodies as well as headers.
void restamp_stream(mut_bytes stream, std::uint32_t target);

// Walks `work` byte by byte for `target`, taking the 12 bytes ending with a
// match as a chunk header: remembers the latest Geometry List and rebuilds
// every Geometry. Returns the converted stream; `work` is left with the size
// corrections written into it.
std::vector<std::uint8_t> walk_chunks(mut_bytes work, std::uint32_t target, std::vector<GeometryReport>& problems);

// ---------------------------------------------------------------------------
// One geometry.

struct KeptMesh {
	std::uint32_t index_count;
	std::uint32_t material; // 0 to 255
};

struct KeptMeshes {
	std::vector<KeptMesh> meshes;
	std::uint32_t dropped = 0;
	std::uint64_t index_total = 0; // I
};

// Where a native geometry's parts lie in the old working buffer, and what the
// generic one will need. Filled by plan_geometry(), which checks every read.
struct GeometryLayout {
	std::uint64_t geometry = 0;      // G
	std::uint64_t material_list = 0; // L
	std::uint64_t extension = 0;     // X
	std::uint64_t native_data = 0;   // N
	std::uint64_t removed = 0;       // R: Native Data chunk plus the 16 bytes after it
	std::uint64_t native_end = 0;    // end of the Native Data body: the reads of native data stop there
	std::uint16_t flags = 0;
	std::uint32_t triangles = 0;     // T
	std::uint32_t vertices = 0;      // V
	std::uint32_t materials = 0;     // M
	std::uint8_t bin_mesh_flag = 0;  // 0 list, 1 strip
	KeptMeshes kept;
	std::uint64_t index_start = 0;   // where the search for the first index list starts
	std::uint64_t vertex_start = 0;  // where the index walk ends
	std::uint32_t struct_size = 0;   // S
	std::uint32_t bin_mesh_size = 0; // B
	std::uint32_t extension_size = 0; // new Extension size
	std::uint32_t geometry_size = 0;  // new Geometry size
	std::uint32_t growth = 0;         // dS + dB - R, wrapping, for the enclosing chunks
	std::uint64_t new_length = 0;     // H
};

// Locates the parts of the native geometry at `geometry` and works out the
// new sizes. Returns none when the rebuild would read only inside `old` and
// every new size fits in 32 bits; otherwise the first problem found.
// `stream_length` is the length of the whole working stream, of which `old`
// may hold only the part from the geometry on (at the same positions).
GeometryProblem plan_geometry(bytes old, std::uint64_t geometry, std::uint64_t stream_length, GeometryLayout& layout);

// Bytes of the rebuilt stretch that starts at the Struct body: the new Struct
// body, the carried Material List with the Extension and Bin Mesh headers,
// and the new Bin Mesh body.
constexpr std::uint64_t rebuilt_region_length(const GeometryLayout& g)
{
	return g.struct_size + (g.extension + 24 - g.material_list) + g.bin_mesh_size;
}

// Writes the rebuilt stretch into `region` (zero-filled, of
// rebuilt_region_length() bytes). Returns how many triangle records the index
// lists produced (only the first T are written).
std::uint64_t write_rebuilt_region(bytes old, const GeometryLayout& layout, mut_bytes region);

// Writes the new sizes of the Struct, Bin Mesh, Extension and Geometry into
// `work`, which still holds the old layout.
void correct_geometry_sizes(mut_bytes work, const GeometryLayout& layout);

// Where the sizes of the chunks around a geometry stand: the remembered
// Geometry List's (empty when none came first) and the first chunk's. A list
// or a geometry that is itself the first chunk shares the first chunk's
// field, which is then corrected once; a chunk whose header overlaps the
// Geometry's is not corrected.
struct EnclosingSizes {
	std::optional<std::uint64_t> list;
	bool first;
};

EnclosingSizes enclosing_sizes(std::uint64_t geometry, std::optional<std::uint64_t> list_size_at);

// Rebuilds the native geometry at `geometry` into a new working buffer that
// replaces `work`, copying the whole stream. On a problem that leaves the
// geometry unconverted, `work` is not changed at all. The walk assembles its
// output without these copies; this is the plain form of one step.
GeometryProblem rebuild_geometry(std::vector<std::uint8_t>& work, std::uint64_t geometry,
                                 std::optional<std::uint64_t> list_size_at);

// Kept meshes: descriptors with three or more indices, in descriptor order,
// with the lowest byte of the old Bin Mesh record's material index. Reads M
// descriptors (24 bytes, index count at 8) from `descriptors` and M records
// (8 bytes, material at 4) from `records`; both must lie inside `old`.
KeptMeshes select_kept_meshes(bytes old, std::uint32_t materials, std::uint64_t descriptors,
                              std::uint64_t records);

// First position at or after `pos` whose 4-byte word is not a fill word; a
// word that does not fit inside `old` is not a fill word.
std::uint64_t skip_fill_words(bytes old, std::uint64_t pos);

// Steps over the kept meshes' index lists (each padded to whole words, fill
// words around them) from `start`. Returns where the walk ends, or nothing
// when a list runs off the end of `old`. With `list_starts`, also records
// where each list begins.
std::optional<std::uint64_t> walk_index_lists(bytes old, std::uint64_t start, std::span<const KeptMesh> kept,
                                              std::vector<std::uint64_t>* list_starts = nullptr);

struct TriangleResult {
	std::uint64_t end;      // where the index walk ended: the first vertex record
	std::uint64_t produced; // triangle records the lists gave, written or not
};

// Writes triangle records (second, first, 0, third as u16) for a list (flag
// 0) or strip (flag 1) into `section`, as many as fit; other flags write
// none. The index lists must lie inside `old` (walk_index_lists()).
TriangleResult convert_triangles(bytes old, std::uint8_t flag, std::span<const KeptMesh> kept, std::uint64_t start,
                                 mut_bytes section);

// Writes the rebuilt Bin Mesh body: flag, K, I, then for each kept mesh its
// index count, material and 32-bit indices. `body` holds 12 + 8K + 4I bytes.
void write_bin_mesh_body(bytes old, std::uint8_t flag, std::span<const KeptMesh> kept, std::uint32_t index_total,
                         std::uint64_t start, mut_bytes body);

// The console's packed normal: x and y in 11-bit, z in 10-bit two's
// complement, divided by 1023, 1023 and 511 in single precision.
std::array<float, 3> decode_packed_normal(std::uint32_t packed);

// Bytes of one native vertex record for the given flags.
constexpr std::uint64_t vertex_stride(std::uint16_t flags)
{
	return 12 + (flags & flag_normals ? 4 : 0) + (flags & flag_prelit_colours ? 4 : 0) +
	       (flags & flag_texture_coordinates ? 8 : 0);
}

// The generic sections a vertex conversion fills; a section that the flags
// do not ask for is empty.
struct VertexSections {
	mut_bytes colours;   // 4 bytes a vertex: red, green, blue, alpha
	mut_bytes texcoords; // 8 bytes a vertex
	mut_bytes positions; // 12 bytes a vertex
	mut_bytes normals;   // 12 bytes a vertex
};

// Reads V vertex records from `start` (they must lie inside `old`) and fills
// the sections. With normals and colours both present, the packed normal
// comes first, at record offset 12, and the colour at 16.
void convert_vertex_records(bytes old, std::uint16_t flags, std::uint32_t vertices, std::uint64_t start,
                            const VertexSections& sections);

// Writes the 24-byte morph target header: the bounding sphere read at
// `sphere`, has-positions 1, has-normals from the flags.
void write_morph_target_header(bytes old, std::uint64_t sphere, std::uint16_t flags, mut_bytes header);

} // namespace kestrun
