// The facts of the chunk-stream format, each written once: chunk types and
// their names, which types hold chunks, the version stamps, the geometry
// header and the generic geometry layout, the console's native geometry
// data, the Bin Mesh, the Texture Native header and its fields. Everything
// else names these; nothing else spells a type, stamp or layout offset.
// Every multi-byte value in the format is little-endian.
#pragma once

#include "common/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrun::format {

// ---------------------------------------------------------------------------
// Chunks: a 12-byte header (type, body size, version stamp), then the body.

inline constexpr std::uint64_t chunk_header_size = 12;
inline constexpr std::uint64_t chunk_type_at = 0;
inline constexpr std::uint64_t chunk_size_at = 4;
inline constexpr std::uint64_t chunk_stamp_at = 8;
// A chunk's first child begins right after its header; when that child is
// the chunk's Struct, the Struct's body begins after both headers.
inline constexpr std::uint64_t first_child_at = chunk_header_size;
inline constexpr std::uint64_t struct_body_at = 2 * chunk_header_size;

inline constexpr std::uint32_t type_struct = 0x01;
inline constexpr std::uint32_t type_string = 0x02;
inline constexpr std::uint32_t type_extension = 0x03;
inline constexpr std::uint32_t type_camera = 0x05;
inline constexpr std::uint32_t type_texture = 0x06;
inline constexpr std::uint32_t type_material = 0x07;
inline constexpr std::uint32_t type_material_list = 0x08;
inline constexpr std::uint32_t type_frame_list = 0x0E;
inline constexpr std::uint32_t type_geometry = 0x0F;
inline constexpr std::uint32_t type_clump = 0x10;
inline constexpr std::uint32_t type_light = 0x12;
inline constexpr std::uint32_t type_atomic = 0x14;
inline constexpr std::uint32_t type_texture_native = 0x15;
inline constexpr std::uint32_t type_texture_dictionary = 0x16;
inline constexpr std::uint32_t type_geometry_list = 0x1A;
// Leads many PC model files, before their Clump; its animations are data here.
inline constexpr std::uint32_t type_uv_animation_dictionary = 0x2B;
inline constexpr std::uint32_t type_bin_mesh = 0x50E;
inline constexpr std::uint32_t type_native_data = 0x510;
inline constexpr std::uint32_t type_frame_name = 0x0253F2FE;

// "Struct", "Material List", ...; nullptr for a type we do not know.
const char* chunk_type_name(std::uint32_t type);

// The name, or the type in hex ("0x0000ABCD") when unknown.
std::string chunk_type_label(std::uint32_t type);

// True for the types whose bodies hold chunks.
bool holds_children(std::uint32_t type);

// ---------------------------------------------------------------------------
// Version stamps.

// The console's files: 3.5.0.0, build 0xFFFF. Its bytes, FF FF 00 14, are
// what the converter replaces wherever they stand.
inline constexpr std::uint32_t console_stamp = 0x1400FFFF;
// What PC tools read: 3.1.0.0 in the old form. Converted files carry it.
inline constexpr std::uint32_t pc_stamp = 0x00000310;
// Two later PC stamps a build of the converter may write instead.
inline constexpr std::uint32_t stamp_3_2_0_0 = 0x0800FFFF;
inline constexpr std::uint32_t stamp_3_4_0_3 = 0x1003FFFF;

// A version stamp decoded: a stamp below 0x10000 is the old form (version
// stamp << 8, no build); otherwise version
// ((stamp >> 14) & 0x3FF00) + 0x30000 | ((stamp >> 16) & 0x3F), build
// stamp & 0xFFFF.
struct Version {
	std::uint32_t version = 0; // 0x35000 for 3.5.0.0
	std::optional<std::uint16_t> build;
};
Version decode_stamp(std::uint32_t stamp);
std::string version_text(std::uint32_t version); // "3.5.0.0"

// Version 3.x.x.x is [version_3, version_4).
inline constexpr std::uint32_t version_3 = 0x30000;
inline constexpr std::uint32_t version_4 = 0x40000;
inline constexpr std::uint32_t version_3_1 = 0x31000;
inline constexpr std::uint32_t version_3_3 = 0x33000;
inline constexpr std::uint32_t version_3_4 = 0x34000;

// True when the stamp's version is 3.1.x.x.
bool is_version_3_1(std::uint32_t stamp);

// ---------------------------------------------------------------------------
// Structs of the model's chunks.

// Clump Struct: atomic count, then (3.3 and later) light and camera counts.
inline constexpr std::uint64_t clump_struct_short = 4;
inline constexpr std::uint64_t clump_struct_long = 12;

// A Frame List's, a Material List's and a Geometry List's Struct begin with
// their count.
inline constexpr std::uint64_t list_count_at = 0;
inline constexpr std::uint64_t list_count_size = 4;

// Clump Struct, 12-byte form: the light and camera counts after the atomic count.
inline constexpr std::uint64_t clump_lights_at = clump_struct_short;
inline constexpr std::uint64_t clump_cameras_at = clump_lights_at + 4;
// Frame List Struct: the count, then one 56-byte record per frame (rotation
// and position, then the parent index at 48, -1 for none, then flags).
inline constexpr std::uint64_t frame_records_at = list_count_at + 4;
inline constexpr std::uint64_t frame_record_size = 56;
inline constexpr std::uint64_t frame_rotation_at = 0;  // 3 x 3 floats
inline constexpr std::uint64_t frame_position_at = 36; // 3 floats
inline constexpr std::uint64_t frame_parent_at = 48;
// Atomic Struct: frame index, geometry index, flags.
inline constexpr std::uint64_t atomic_frame_at = 0;
inline constexpr std::uint64_t atomic_geometry_at = 4;
inline constexpr std::uint64_t atomic_flags_at = 8;
inline constexpr std::uint64_t atomic_struct_size = 12;
// Material Struct: flags, colour (RGBA bytes), an unused word, texture count,
// then the surface properties.
inline constexpr std::uint64_t material_colour_at = 4;
inline constexpr std::uint64_t material_textures_at = 12;
inline constexpr std::uint64_t material_struct_least = 16;
// Texture Struct: the filter word.
inline constexpr std::uint64_t texture_filter_at = 0;
// Material List Struct: the count, then one u32 per slot: own_material for a
// material of its own (the next Material chunk), else the slot it shares.
inline constexpr std::uint64_t material_slots_at = list_count_at + 4;
inline constexpr std::uint64_t material_slot_size = 4;
inline constexpr std::uint32_t own_material = 0xFFFFFFFF;

// Geometry Struct: the 16-byte geometry header, then (before 3.4) 12 bytes
// of surface properties, then the sections below.
inline constexpr std::uint64_t geometry_flags_at = 0;       // u16
inline constexpr std::uint64_t geometry_sets_at = 2;        // u8: texture sets
inline constexpr std::uint64_t geometry_native_at = 3;      // u8: native flags
inline constexpr std::uint64_t geometry_triangles_at = 4;   // u32: T
inline constexpr std::uint64_t geometry_vertices_at = 8;    // u32: V
inline constexpr std::uint64_t geometry_morphs_at = 12;     // u32: morph targets
inline constexpr std::uint64_t geometry_header_size = 16;
inline constexpr std::uint64_t surface_properties_size = 12;
// The console's native geometry keeps its morph target's bounding sphere
// (4 floats) right after the geometry header.
inline constexpr std::uint64_t bounding_sphere_size = 16;

// Geometry flag bits.
inline constexpr std::uint16_t flag_texture_coordinates = 0x04;
inline constexpr std::uint16_t flag_prelit_colours = 0x08;
inline constexpr std::uint16_t flag_normals = 0x10;
inline constexpr std::uint16_t flag_second_texture_set = 0x80;

// Texture sets readers take: the stored count, or when it is 0, two for
// the second-set flag and one for the texture flag.
std::uint32_t texture_sets(std::uint32_t flags, std::uint32_t stored);

// A generic geometry's Struct body: after the header (and surface
// properties) prelit colours (V x 4: R, G, B, A), texture coordinates
// (V x 8 per set), triangle records (T x 8: u16 second vertex, first
// vertex, material, third vertex), then per morph target its bounding
// sphere (4 floats), has-positions and has-normals words, positions (V x 12)
// and normals (V x 12). Offsets from the start of the body.
inline constexpr std::uint64_t triangle_record_size = 8;
inline constexpr std::uint64_t triangle_material_at = 4; // in a record
inline constexpr std::uint64_t morph_header_size = 24;
// In a morph target's header, after its bounding sphere: whether it has
// positions, and normals (u32 each).
inline constexpr std::uint64_t morph_has_positions_at = bounding_sphere_size;
inline constexpr std::uint64_t morph_has_normals_at = bounding_sphere_size + 4;
struct GenericLayout {
	std::uint64_t colours = 0, texcoords = 0, triangles = 0, morph = 0; // where each begins
	std::uint64_t texcoord_set = 0;   // bytes of one set of texture coordinates
	std::uint64_t morph_size = 0;     // bytes of one morph target, its header included
	std::uint64_t size = 0;           // the whole body
};
GenericLayout generic_layout(std::uint32_t flags, std::uint64_t sets, std::uint64_t triangles,
                             std::uint64_t vertices, std::uint64_t morph_targets, bool surface_properties);

// Bytes per vertex of each generic vertex section.
inline constexpr std::uint64_t vertex_colour_size = 4;
inline constexpr std::uint64_t vertex_texcoord_size = 8;
inline constexpr std::uint64_t vertex_position_size = 12;
inline constexpr std::uint64_t vertex_normal_size = 12;

// A triangle record read at `at`; the caller has checked that it lies
// inside `records`.
struct TriangleRecord {
	std::uint16_t second = 0, first = 0, material = 0, third = 0;
};
inline TriangleRecord read_triangle_record(bytes records, std::size_t at)
{
	return {load_u16(records, at), load_u16(records, at + 2), load_u16(records, at + triangle_material_at),
	        load_u16(records, at + 6)};
}

// True when versions of this stamp keep surface properties in the geometry.
bool has_surface_properties(std::uint32_t stamp);

// The console's Native Data body: 52 bytes not read, one 24-byte descriptor
// per material (index count at 8), 4 bytes, then the index lists of u16 with
// fill words between them, then the vertex records. The Extension holds 16
// more bytes after the Native Data chunk that are not a chunk.
inline constexpr std::uint64_t native_descriptors_at = 52;
inline constexpr std::uint64_t native_descriptor_size = 24;
inline constexpr std::uint64_t native_index_count_at = 8;
inline constexpr std::uint64_t native_after_descriptors = 4;
inline constexpr std::uint64_t native_data_tail = 16;
inline constexpr std::uint32_t fill_word = 0xCDCDCDCD;
// A console vertex record: the position (3 floats), then as the flags ask
// the packed normal (u32), the colour (B, G, R, A) and the texture
// coordinates (2 floats).
inline constexpr std::uint64_t native_position_size = 12;
inline constexpr std::uint64_t native_normal_size = 4;
inline constexpr std::uint64_t native_colour_size = 4;
inline constexpr std::uint64_t native_texcoord_size = 8;

// Bin Mesh body: flag (0 list, 1 strip), mesh count, index total; then per
// mesh its index count and material, then (generic layout) its indices as
// u32. The console's holds the records without indices.
inline constexpr std::uint64_t bin_mesh_header_size = 12;
inline constexpr std::uint64_t bin_mesh_flag_at = 0;
inline constexpr std::uint64_t bin_mesh_count_at = 4;
inline constexpr std::uint64_t bin_mesh_total_at = 8;
inline constexpr std::uint64_t bin_mesh_record_size = 8;
inline constexpr std::uint64_t bin_mesh_material_at = 4; // in a record
inline constexpr std::uint64_t bin_mesh_index_size = 4;
inline constexpr std::uint32_t bin_mesh_list = 0;
inline constexpr std::uint32_t bin_mesh_strip = 1;
// A Bin Mesh's kind (list or strip) is the low byte of its flag word; of a
// console record's material, readers take only the low byte too.
inline constexpr std::uint32_t bin_mesh_kind_mask = 0xFF;
inline constexpr std::uint32_t native_material_mask = 0xFF;

// The triangles of a strip of `count` indices, index(j) the j-th: every
// position j gives (j, j+1, j+2), every odd one with its last two corners
// swapped so that the winding holds; triangles with a repeated vertex (the
// stitches between strips) are left out but still count for the parity.
// Calls emit(p, q, r) for each.
template <class Index, class Emit> void unroll_strip(std::uint64_t count, Index index, Emit emit)
{
	for (std::uint64_t j = 0; j + 3 <= count; j++) {
		const auto p = index(j), q = index(j + 1), r = index(j + 2);
		if (p == q || p == r || q == r)
			continue;
		if (j % 2 == 0)
			emit(p, q, r);
		else
			emit(p, r, q);
	}
}

// ---------------------------------------------------------------------------
// Texture dictionaries and Texture Natives.

// A Texture Dictionary's Struct: texture count (u16), device id (u16). The
// console writes 5; 0 tells PC readers to go by each texture's platform.
inline constexpr std::uint64_t dictionary_count_at = 0;
inline constexpr std::uint64_t dictionary_device_at = 2;
inline constexpr std::uint16_t device_by_platform = 0;
inline constexpr std::uint16_t console_device = 5;
inline constexpr std::uint32_t highest_pc_device = 2;

inline constexpr std::uint32_t platform_console = 5;
inline constexpr std::uint32_t platform_pc = 8;

// The fields both platforms begin a Texture Native's Struct body with:
//   0 u32 platform      4 u32 filter word     8 32 name, NUL-padded
//   40 32 mask name     72 u32 raster format  76 u32 alpha (PC: has alpha)
//   80 u16 width        82 u16 height         84 u8 depth   85 u8 levels
//   86 u8 raster type   87 u8 compression
struct TextureNativeHeader {
	std::uint32_t platform = 0;
	std::uint32_t filter_word = 0;    // filter and addressing as stored
	bytes name_field, mask_field;     // the 32-byte fields as stored
	std::uint32_t raster_format = 0;
	std::uint32_t alpha = 0;          // console alpha or PC has-alpha, as stored
	std::uint16_t width = 0, height = 0;
	std::uint8_t depth = 0, level_count = 0, raster_type = 0, compression = 0;
};
inline constexpr std::uint64_t texture_native_header_size = 88;
inline constexpr std::uint64_t texture_name_size = 32;

// Reads the shared fields; false when `body` is shorter than they are.
bool read_texture_native_header(bytes body, TextureNativeHeader& header);

// A filter word: the filter mode in bits 0-7, U addressing in 8-11, V
// addressing in 12-15 (Texture Natives and a material's Texture alike).
struct Filter {
	std::uint32_t mode = 0, address_u = 0, address_v = 0;
};
Filter split_filter_word(std::uint32_t word);

// A field of NUL-padded text up to its first NUL, or the whole field.
std::string fixed_name(bytes field);

// A name taken from a file, safe to print: control bytes, quotes and
// backslashes escaped as in a JSON string, bytes that are not UTF-8 as
// U+FFFD. Messages print names through it, as inspect prints them.
std::string printable(std::string_view name);

} // namespace kestrun::format
