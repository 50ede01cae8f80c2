// Inputs for the micro benchmarks and the batch corpus: native model streams
// of a chosen inflated size and geometry count, and the same LZO1X blocks
// wrapped as lzop files for the peer in the batch comparison.
#pragma once

#include "samples/samples.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::bench {

using samples::buffer;

// Vertex flags with every section present: 28-byte vertex records.
inline constexpr std::uint16_t all_vertex_flags =
	format::flag_texture_coordinates | format::flag_prelit_colours | format::flag_normals;

// Most vertices a varied geometry holds, so that 16-bit indices reach them all.
inline constexpr std::uint32_t max_geometry_vertices = 60000;

// A native model stream whose `vertex_total` vertices (all flags, list
// meshes) are shared out evenly over `geometries` geometries, at least 3
// each. The same arguments give the same bytes. 2 MB in one geometry takes
// about 69,000 vertices: past 65,536 the indices reach only the first ones,
// which the conversion, copying index values, does not mind.
buffer even_model_stream(std::uint64_t seed, std::uint64_t vertex_total, std::uint32_t geometries);

// The vertex total that makes even_model_stream() with one geometry about
// `target` bytes long. With more geometries the vertex data stays the same
// and the stream grows by their headers.
std::uint64_t vertices_for_size(std::uint64_t seed, std::uint64_t target);

// A native model stream of about `target` bytes (within 2 %, unless the
// per-geometry vertex limit stops it) in `geometries` geometries of mixed
// flags, lists and strips, and unequal sizes.
buffer varied_model_stream(std::uint64_t seed, std::uint64_t target, std::uint32_t geometries);

// An lzop file (method LZO1X-1, no checksums) holding `stream` as the blocks
// compress_blocks(stream, block_size) made of it, so that `lzop -d`
// inflates exactly the LZO1X data a container holds. A block that did not
// shrink is stored as it is, as lzop itself does; `stored` counts those.
// `name` is the name recorded in the header.
buffer lzop_file(bytes stream, const std::vector<samples::ContainerBlock>& blocks, std::size_t block_size,
                 const std::string& name, std::uint32_t& stored);

std::uint32_t adler32(bytes data, std::uint32_t adler = 1);

} // namespace kestrun::bench
