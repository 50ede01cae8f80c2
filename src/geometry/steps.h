// The steps of the model conversion, for convert_stream() and the tests.
//
// The walk reads the restamped input and appends the converted stream to an
// output as it goes. For every Geometry it meets, plan_geometry() checks the
// geometry once and works out everything its rebuild needs, in positions of
// the input; rebuild_geometry() then appends the generic Geometry chunk.
// Every function reads only inside the views it is given; a position
// computed from the stream's own sizes and counts is checked with fits()
// before it is read.
#pragma once

#include "geometry/geometry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrun {

// ---------------------------------------------------------------------------
// The two passes.

// Replaces every occurrence of the bytes FF FF 00 14 with `target`, at any
// alignment, inside chunk bodies as well as headers.
void restamp_stream(mut_bytes stream, std::uint32_t target);

// Walks `input` for `target`, taking the 12 bytes ending with a match as a
// chunk header: remembers the latest Geometry List and rebuilds every native
// Geometry. Returns the converted stream. `input` is ours to scribble on: a
// header that begins in the last bytes of a rebuilt Geometry is read with
// those bytes as rebuilt, written back over the input bytes they replaced.
std::vector<std::uint8_t> walk_chunks(mut_bytes input, std::uint32_t target, std::vector<GeometryReport>& problems);

// ---------------------------------------------------------------------------
// One geometry.

struct KeptMesh {
	std::uint32_t index_count;
	std::uint32_t material;   // 0 to 255
	std::uint64_t list = 0;   // where its index list starts (walk_index_lists)
};

struct KeptMeshes {
	std::vector<KeptMesh> meshes;
	std::uint32_t dropped = 0;
	std::uint64_t index_total = 0; // I
};

// A chunk that may enclose a geometry: where its header stands and where it
// ends, 12 + size from there, as the input holds them.
struct ChunkExtent {
	std::uint64_t header;
	std::uint64_t end;
};

// Which chunks around a Geometry take its size change: the remembered
// Geometry List and the top-level chunk, each only when it holds the whole
// Geometry and its header ends before the Geometry begins. A list that is
// itself that top-level chunk is named once, as `top`.
struct EnclosingChunks {
	std::optional<std::uint64_t> list; // header positions in the input
	std::optional<std::uint64_t> top;
};

EnclosingChunks enclosing_chunks(std::uint64_t geometry, std::uint64_t geometry_end, std::optional<ChunkExtent> list,
                                 std::optional<ChunkExtent> top);

// Everything the rebuild of one native geometry needs, in input positions,
// checked by plan_geometry(). Symbols as the format notes name them.
struct GeometryPlan {
	std::uint64_t geometry = 0;      // G
	std::uint64_t material_list = 0; // L
	std::uint64_t extension = 0;     // X
	std::uint64_t native_data = 0;   // N
	std::uint64_t removed = 0;       // R: Native Data chunk plus the 16 bytes after it
	std::uint64_t native_end = 0;    // end of the Native Data body: the reads of native data stop there
	std::uint64_t geometry_end = 0;  // G + 12 + old size
	std::uint16_t flags = 0;
	std::uint32_t triangles = 0;     // T
	std::uint32_t vertices = 0;      // V
	std::uint32_t morph_targets = 0; // as the input holds it; the rebuild writes 1
	std::uint8_t bin_mesh_flag = 0;  // 0 list, 1 strip
	KeptMeshes kept;                 // with their index lists' starts
	std::uint64_t vertex_start = 0;  // where the index walk ends
	std::uint32_t struct_size = 0;   // S
	std::uint32_t bin_mesh_size = 0; // B
	std::uint32_t extension_size = 0; // new Extension size
	std::uint32_t geometry_size = 0;  // new Geometry size
	std::uint32_t growth = 0;         // dS + dB - R, wrapping, for the enclosing chunks
	EnclosingChunks enclosing;
};

enum class PlanOutcome {
	rebuild,         // `plan` holds a native geometry ready to rebuild
	already_generic, // no native flags and no Native Data chunk: nothing to do, nothing to report
	unfit,           // the problem says why; the geometry stays as it is
};

struct PlanResult {
	PlanOutcome outcome;
	GeometryProblem problem = GeometryProblem::none;
};

// Checks the Geometry at `geometry` of `input` and fills `plan`. First the
// chunk types (each header whole in the stream), then the sizes against one
// another and the stream, then the native data, the index walk and the new
// sizes, which must fit in 32 bits, as must `stream_length` (the converted
// stream's length so far, input not yet passed included) once changed.
PlanResult plan_geometry(bytes input, std::uint64_t geometry, std::uint64_t stream_length, GeometryPlan& plan);

// Bytes the rebuilt Geometry chunk takes, header included.
constexpr std::uint64_t rebuilt_length(const GeometryPlan& plan)
{
	return format::chunk_header_size + std::uint64_t(plan.geometry_size);
}

// Appends the generic Geometry chunk that replaces the input's bytes from G
// to the Geometry's end. Returns how many triangle records the index lists
// produced (only the first T are written).
std::uint64_t rebuild_geometry(const GeometryPlan& plan, bytes input, std::vector<std::uint8_t>& output);

// Kept meshes: descriptors with three or more indices, in descriptor order,
// with the lowest byte of the old Bin Mesh record's material index. Reads M
// descriptors (24 bytes, index count at 8) from `descriptors` and M records
// (8 bytes, material at 4) from `records`; both must lie inside `input`.
KeptMeshes select_kept_meshes(bytes input, std::uint32_t materials, std::uint64_t descriptors,
                              std::uint64_t records);

// First position at or after `pos` whose 4-byte word is not a fill word; a
// word that does not fit inside `input` is not a fill word.
std::uint64_t skip_fill_words(bytes input, std::uint64_t pos);

// Steps over the kept meshes' index lists (each padded to whole words, fill
// words around them) from `start`, recording where each list begins. Returns
// where the walk ends, or nothing when a list runs off the end of `input`.
std::optional<std::uint64_t> walk_index_lists(bytes input, std::uint64_t start, std::span<KeptMesh> kept);

// Writes triangle records (second, first, material, third as u16, the
// material the kept mesh's) for a list (flag 0) or strip (flag 1) into
// `section`, as many as fit; other flags write
// none. Returns the records the lists gave, written or not. The index lists
// must lie inside `input` (walk_index_lists()).
std::uint64_t convert_triangles(bytes input, std::uint8_t flag, std::span<const KeptMesh> kept, mut_bytes section);

// Writes the rebuilt Bin Mesh body: flag, K, I, then for each kept mesh its
// index count, material and 32-bit indices. `body` holds 12 + 8K + 4I bytes.
void write_bin_mesh_body(bytes input, std::uint8_t flag, std::span<const KeptMesh> kept, std::uint32_t index_total,
                         mut_bytes body);

// The console's packed normal: x and y in 11-bit, z in 10-bit two's
// complement, divided by 1023, 1023 and 511 in single precision.
std::array<float, 3> decode_packed_normal(std::uint32_t packed);

// Bytes of one native vertex record for the given flags.
constexpr std::uint64_t vertex_stride(std::uint16_t flags)
{
	return format::native_position_size + (flags & format::flag_normals ? format::native_normal_size : 0) +
	       (flags & format::flag_prelit_colours ? format::native_colour_size : 0) +
	       (flags & format::flag_texture_coordinates ? format::native_texcoord_size : 0);
}

// The generic sections a vertex conversion fills; a section that the flags
// do not ask for is empty.
struct VertexSections {
	mut_bytes colours;   // 4 bytes a vertex: red, green, blue, alpha
	mut_bytes texcoords; // 8 bytes a vertex
	mut_bytes positions; // 12 bytes a vertex
	mut_bytes normals;   // 12 bytes a vertex
};

// Reads V vertex records from `start` (they must lie inside `input`) and
// fills the sections. With normals and colours both present, the packed
// normal comes first, at record offset 12, and the colour at 16.
void convert_vertex_records(bytes input, std::uint16_t flags, std::uint32_t vertices, std::uint64_t start,
                            const VertexSections& sections);

// Writes the 24-byte morph target header: the bounding sphere read at
// `sphere`, has-positions 1, has-normals from the flags.
void write_morph_target_header(bytes input, std::uint64_t sphere, std::uint16_t flags, mut_bytes header);

} // namespace kestrun
