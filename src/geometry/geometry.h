// Native geometry conversion: rewrites one inflated model stream so that the
// console version stamp becomes the target stamp and every console-native
// Geometry chunk becomes a generic one (triangles, prelit colours, texture
// coordinates, positions and normals in its Struct body, a Bin Mesh of 32-bit
// indices, no Native Data chunk).
//
// This is what the driver, the fuzz harnesses and the benchmarks use; the
// steps of the conversion are in steps.h.
#pragma once

#include "common/bytes.h"
#include "container/container.h"
#include "format/format.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrun {

// Build-time choice of the stamp written: 0 writes the PC stamp (3.1.0.0),
// 1 the 3.2.0.0 stamp, 2 the 3.4.0.3 one, anything else the PC stamp. We
// build with 0.
inline constexpr int target_version_selector = 0;

constexpr std::uint32_t target_stamp_for(int selector)
{
	return selector == 1 ? format::stamp_3_2_0_0 : selector == 2 ? format::stamp_3_4_0_3 : format::pc_stamp;
}

inline constexpr std::uint32_t target_stamp = target_stamp_for(target_version_selector);

// ---------------------------------------------------------------------------
// Problems met in one geometry. All but records_dropped and
// morph_target_count leave the geometry exactly as the stamp pass left it.

enum class GeometryProblem {
	none,
	header_outside,         // geometry header or bounding sphere past the end of the stream
	not_struct,             // the Geometry's first child is not a Struct
	material_list_outside,  // Material List header or material count past the end
	not_material_list,      // no Material List after the Struct
	extension_outside,      // Extension or Bin Mesh header past the end
	not_extension,          // no Extension after the Material List
	no_bin_mesh,            // native flags set, but the Extension does not begin with a Bin Mesh
	native_data_outside,    // Native Data chunk and the 16 bytes after it past the end
	no_native_data,         // native flags set, but no Native Data chunk follows the Bin Mesh in the Extension
	geometry_outside,       // Geometry chunk past the end of the stream
	geometry_size_mismatch, // Geometry size is not that of its Struct, Material List and Extension
	native_data_outside_extension, // Native Data chunk and the 16 bytes past the end of the Extension
	descriptors_outside,    // material count reaches past the Native Data body
	index_list_outside,     // an index list runs off the end of the Native Data body
	vertex_records_outside, // vertex records run off the end of the Native Data body
	size_overflow,          // a new chunk size or the new stream length exceeds 32 bits
	triangle_count_too_large, // more triangles than the Native Data has room for indices
	records_dropped,        // more triangle records than the triangle count; extras dropped
	morph_target_count,     // a morph target count other than 1, written as 1
};

const char* geometry_problem_name(GeometryProblem problem);

// True for the problems that leave the geometry unconverted.
constexpr bool leaves_geometry_unconverted(GeometryProblem problem)
{
	return problem != GeometryProblem::none && problem != GeometryProblem::records_dropped &&
	       problem != GeometryProblem::morph_target_count;
}

struct GeometryReport {
	std::uint64_t offset;     // of the Geometry chunk header in the inflated stream
	GeometryProblem problem;
	std::uint32_t value = 0;  // morph_target_count: the count the geometry held
};

// The problem in words, with the value it carries: "morph target count 2
// converted as 1".
std::string geometry_report_text(const GeometryReport& report);

// Returns the converted copy of `stream`; `stream` itself is not changed.
// Problems of single geometries are appended to `problems`, in stream order;
// the conversion goes on past them. Throws std::bad_alloc when memory runs
// out.
std::vector<std::uint8_t> convert_stream(bytes stream, std::vector<GeometryReport>& problems);

// The same for a stream whose buffer the caller hands over: the stamp pass
// works in it in place of a copy, which saves a copy and a stream's worth of
// memory. The buffer is released before the converted stream is returned.
std::vector<std::uint8_t> convert_stream(std::unique_ptr<std::uint8_t[]> stream, std::uint32_t length,
                                         std::vector<GeometryReport>& problems);

// ---------------------------------------------------------------------------
// A whole file as kestrun takes it: inflated, then, for a model, converted.
// kestrun's driver and kestrun-kit's convert share these, so that both make
// the same bytes of the same file.

struct InflatedFile {
	std::unique_ptr<std::uint8_t[]> buffer; // stream_capacity bytes, the stream from its start
	std::uint32_t length = 0;               // bytes of stream
	ContainerResult container;              // the inflate's result; for a plain stream none
	                                        // or, when it was cut to the buffer, capacity_exceeded
	bytes stream() const { return bytes(buffer.get(), length); }
};

// A stream buffer of stream_capacity bytes, not cleared.
std::unique_ptr<std::uint8_t[]> new_stream_buffer();

// `file` inflated into `buffer` (stream_capacity bytes): a block container,
// or with `plain_stream` a stream taken as it is (cut to stream_capacity).
// lzo_init() must have succeeded before. Throws std::bad_alloc.
InflatedFile inflate_file(bytes file, bool plain_stream,
                          std::unique_ptr<std::uint8_t[]> buffer = new_stream_buffer());

struct ConvertedModel {
	std::vector<std::uint8_t> stream;
	std::vector<GeometryReport> problems; // as convert_stream gives them
};

// The inflated model stream converted as convert_stream converts it; the
// buffer is handed over and released before the result is returned.
ConvertedModel convert_model_file(InflatedFile inflated);

} // namespace kestrun
