// Sample streams and block containers for the tests, the benchmarks and the
// kestrun-samples generator.
//
// A native geometry is described once (NativeGeometry) and turned into two
// byte strings: the console Geometry chunk a model file holds, and the
// generic Geometry chunk the converter must make of it. The generic form is
// worked out from the description alone, never by running the converter, so
// comparing the two catches faults in either.
//
// Descriptions must keep the bytes FF FF 00 14 out of their data: the
// converter restamps that pattern wherever it stands, and the generic builder
// only restamps the chunk headers and the parts it carries over unread.
#pragma once

#include "common/bytes.h"
#include "geometry/steps.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kestrun::samples {

using buffer = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Chunks (chunks.cpp)

void put_u8(buffer& out, std::uint8_t v);
void put_u16(buffer& out, std::uint16_t v);
void put_u32(buffer& out, std::uint32_t v);
void put_f32(buffer& out, float v);
void put_bytes(buffer& out, bytes b);

// The words, each as a little-endian u32, one after the other.
buffer words(std::initializer_list<std::uint32_t> values);

// The parts, one after the other.
buffer cat(std::initializer_list<buffer> parts);

// A 12-byte header (type, body size, stamp) followed by the body.
buffer chunk(std::uint32_t type, bytes body, std::uint32_t stamp = format::console_stamp);

// The headers and bodies of `children`, one after the other, as one chunk.
buffer parent_chunk(std::uint32_t type, const std::vector<buffer>& children, std::uint32_t stamp = format::console_stamp);

// The stamp the converter leaves in a header: the target stamp for the Xbox
// stamp and the target stamp, any other stamp unchanged.
std::uint32_t converted_stamp(std::uint32_t stamp);

// A copy of `b` with every FF FF 00 14 replaced by the target stamp's bytes:
// what the converter does to the parts of a stream it carries over.
buffer restamped(bytes b);

// A String chunk: the text, NUL-terminated and padded to whole words.
buffer string_chunk(const std::string& text, std::uint32_t stamp = format::console_stamp);

// ---------------------------------------------------------------------------
// Native geometry (native_geometry.cpp)

struct NativeVertex {
	std::array<float, 3> position{};
	std::uint32_t normal = 0;               // packed: 11-bit x, 11-bit y, 10-bit z
	std::array<std::uint8_t, 4> colour{};   // as stored: blue, green, red, alpha
	std::array<float, 2> uv{};
};

struct NativeMesh {
	std::vector<std::uint16_t> indices;     // fewer than 3: a dropped mesh, absent from the index stream
	std::uint32_t material = 0;             // old Bin Mesh record's material index (only its low byte is kept)
	std::uint32_t fill_before = 0;          // fill words ahead of the list
	std::uint16_t pad = 0;                  // the u16 after an odd list
};

struct MaterialDesc {
	std::array<std::uint8_t, 4> colour{200, 200, 200, 254};
	std::string texture;                    // empty: no Texture chunk
};

struct NativeGeometry {
	std::uint16_t flags = 0;
	std::uint8_t texture_sets = 1;
	std::uint8_t native_flags = 1;
	std::uint32_t triangles = 0;            // T as the header states it
	std::uint32_t morph_targets = 1;
	std::array<float, 4> sphere{};
	std::uint32_t bin_mesh_flags = 0;       // low byte: 0 list, 1 strip
	std::vector<NativeMesh> meshes;         // one descriptor and one old Bin Mesh record each
	std::uint32_t fill_after = 0;           // fill words after the last list
	std::vector<NativeVertex> vertices;
	buffer struct_extra;                    // native Struct body bytes after the sphere
	std::array<std::uint8_t, 52> native_head{};
	std::array<std::uint8_t, 4> after_descriptors{};
	std::array<std::uint8_t, 16> after_native_data{};
	std::vector<buffer> extension_extra;    // whole chunks after the 16 bytes
	std::vector<MaterialDesc> materials;    // M: must equal meshes.size()
	std::uint32_t stamp = format::console_stamp;       // of every header of the geometry
};

// Packs a normal the console's way; components are clamped to the fields.
std::uint32_t pack_normal(float x, float y, float z);

// The smallest geometry worth converting: one list mesh of the triangle
// `indices`, one material, `vertices` vertices at the origin.
NativeGeometry one_triangle_geometry(std::array<std::uint16_t, 3> indices = {0, 1, 2}, std::uint32_t vertices = 3);

// Triangle records the meshes give as list (flag byte 0) or strip (1), before
// any limit by the header's triangle count.
std::uint32_t triangle_count(const NativeGeometry& g);

// The triangle records of the generic form: (second, first, material,
// third), as many as the header's count, zero-filled past what the meshes
// give.
std::vector<std::array<std::uint16_t, 4>> generic_triangle_records(const NativeGeometry& g);

// The Material List chunk both forms hold.
buffer material_list_chunk(const std::vector<MaterialDesc>& materials, std::uint32_t stamp = format::console_stamp);

// The console Geometry chunk: Struct, Material List, Extension holding the old
// Bin Mesh, the Native Data chunk, 16 bytes and the extra chunks.
buffer native_geometry_chunk(const NativeGeometry& g);

// The generic Geometry chunk the converter must make of the native one. A
// geometry whose stamp is neither the Xbox nor the target stamp is not
// converted and comes back as the native chunk.
buffer generic_geometry_chunk(const NativeGeometry& g);

// ---------------------------------------------------------------------------
// Models and texture dictionaries (sample_set.cpp)

struct Frame {
	std::array<float, 12> matrix{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}; // rotation rows, then position
	std::int32_t parent = -1;
	std::string name;                       // empty: no name chunk
};

struct Model {
	std::vector<Frame> frames;              // at least one
	std::vector<NativeGeometry> geometries; // one Atomic each, on frame i % frames
	std::uint32_t stamp = format::console_stamp;       // of the headers outside the geometries
};

enum class Form { native, generic };

// A Clump holding a Struct, a Frame List, a Geometry List, one Atomic per
// geometry and an Extension; the geometries native or as converted.
buffer model_stream(const Model& model, Form form);

// A Texture Dictionary with `textures` Texture Native chunks of
// pseudo-random 32-bit texels (the benchmarks' corpus).
buffer texture_dictionary_stream(std::uint64_t seed, std::uint32_t textures);

// ---------------------------------------------------------------------------
// Texture dictionaries of known images (textures.cpp)

enum class TexelFormat { c8888, c888, c565, c1555, c4444, c555, lum8, pal8, pal4, dxt1, dxt3, dxt5 };
enum class Pattern { gradient, checker, alpha_ramp };

// A texture described once, its levels in the PC's linear order; the console
// form swizzles them and reorders the palette.
struct SampleTexture {
	std::string name, mask;
	TexelFormat format = TexelFormat::c8888;
	Pattern pattern = Pattern::gradient;
	std::uint16_t width = 0, height = 0;
	std::uint32_t filter_word = 0x1102;
	std::uint32_t raster_format = 0;
	std::uint8_t depth = 0, console_compression = 0, pc_compression = 0;
	std::uint32_t alpha = 0;
	buffer palette;                  // R, G, B, A entries
	std::vector<buffer> texels;      // per level, level 0 first: linear texels or DXT blocks (libsquish)
	std::vector<buffer> rgba;        // per level: the 8-bit RGBA image a reader must decode
	bool plugin = false;             // plugin data holding the console stamp's bytes in its Extension
	bool total_counts_palette = false;
};

// One texture of `pattern` in `format`, with every level down to 1x1 when
// `mipmaps`.
SampleTexture make_sample_texture(std::string name, TexelFormat format, Pattern pattern, std::uint16_t width,
                                  std::uint16_t height, bool mipmaps);

// The fixed set: every format with and without levels, non-square and 1x1
// textures, two names that differ only in case, the console stamp's bytes in
// texels and in plugin data.
std::vector<SampleTexture> sample_textures();
std::vector<std::string> sample_texture_names();

buffer console_texture_native(const SampleTexture& t, std::uint32_t stamp = format::console_stamp);
buffer pc_texture_native(const SampleTexture& t); // what converting the console form must give

// A Texture Dictionary (texture count, device id 5, the natives, an empty
// Extension): console natives with the console stamp, or (Form::generic) the
// PC dictionary a conversion must make of it.
buffer texture_dictionary(const std::vector<SampleTexture>& textures, Form form);

// A small deterministic generator (splitmix64); no global state.
struct Prng {
	std::uint64_t state;
	std::uint64_t next();
	std::uint32_t below(std::uint32_t n); // 0 to n - 1; n > 0
	float unit();                          // -1 to 1 in steps of 1/256
};

// A plausible native geometry of about `vertices` vertices with the given
// flags, list or strip meshes (degenerate joins, odd counts), fill words in
// every place, dropped meshes and several materials; T set to match.
NativeGeometry random_geometry(Prng& rng, std::uint16_t flags, bool strips, std::uint32_t vertices);

struct SampleFile {
	std::string name;     // "model03.dff", "textures01.txd"
	buffer container;     // the file as stored
	buffer stream;        // what the container inflates to
	buffer expected;      // what the tool must write: converted for a model, the stream for a dictionary
	Model model;          // a model's description
	std::vector<SampleTexture> textures; // a dictionary's textures
	buffer pc;            // a dictionary as kestrun-kit txd must convert it
};

// `models` model files and `dictionaries` texture dictionaries, the same for
// the same arguments. The first model holds every combination of the three
// vertex flags, as lists and as strips. The dictionaries share out
// sample_textures() between them, and every texture a model's material names
// is one of those. A set with both models and dictionaries ends with
// crate.dff and crate.txd (crate_model(), crate_textures()).
std::vector<SampleFile> sample_set(std::uint64_t seed, std::uint32_t models = 12, std::uint32_t dictionaries = 3);

// What kestrun-samples writes for COUNT models: the set of a fixed seed,
// with a quarter as many dictionaries, at least one.
std::vector<SampleFile> generator_set(std::uint32_t models);

// ---------------------------------------------------------------------------
// The showcase model (crate.cpp): one a person recognises in a picture.

// Frame 0 "crate": a cube of side 2 about the origin, z up, its front facing
// -y; six list meshes, one material each, textured "crate_top",
// "crate_bottom", "crate_front", "crate_back", "crate_left", "crate_right",
// with face normals and uv (0, 0) at each image's top-left corner as seen
// from outside. Frame 1 "wheel", a child at (1.15, -0.5, -0.75) turned so
// that its axis lies along x: two strip meshes (tyre and hub, untextured)
// over shared vertices with averaged normals. Both have prelit colours,
// lighter towards the top; every triangle is counter-clockwise seen from
// outside.
Model crate_model();

// The six face images the crate's materials name (128x128, 32-bit): the
// face's name in capitals under an arrow pointing to the image's top.
std::vector<SampleTexture> crate_textures();

// ---------------------------------------------------------------------------
// The small model worked through by hand (worked_example.cpp): one Geometry
// of two list triangles over four positions in a Geometry List, with two
// chunks after the list; 440 bytes as the console stores it, 372 converted.

buffer worked_example_native(std::uint32_t stamp = format::console_stamp);

// What the converter must make of worked_example_native(), written out field
// by field.
buffer worked_example_generic();

// ---------------------------------------------------------------------------
// Block containers (container_writer.cpp)

// One complete LZO1X stream of `raw` (lzo1x_1_compress).
buffer lzo_compress(bytes raw);

struct ContainerBlock {
	buffer data;                  // the compressed bytes, damaged or not
	std::uint32_t marker = 4;
	std::uint32_t third = 0;
	bool length_set = false;      // write `length` instead of data.size()
	std::uint32_t length = 0;
};

// The stream cut into blocks of `block_size` inflated bytes, each compressed.
// An empty stream gives one block holding an empty LZO stream.
std::vector<ContainerBlock> compress_blocks(bytes stream, std::size_t block_size = 65536);

// A 12-byte file header, then every block's header and bytes.
buffer assemble_container(const std::vector<ContainerBlock>& blocks,
                          std::array<std::uint8_t, 12> file_header = {'K', 'S', 'T', 'R', 1, 0, 0, 0, 0, 0, 0, 0});

buffer pack_container(bytes stream, std::size_t block_size = 65536);

} // namespace kestrun::samples
