#include "geometry/geometry.h"

#include <string>

namespace kestrun {

const char* geometry_problem_name(GeometryProblem problem)
{
	switch (problem) {
	case GeometryProblem::none: return "no problem";
	case GeometryProblem::header_outside: return "geometry header or bounding sphere past the end of the stream";
	case GeometryProblem::not_struct: return "Geometry does not begin with a Struct chunk";
	case GeometryProblem::not_material_list: return "no Material List after the geometry's Struct";
	case GeometryProblem::not_extension: return "no Extension after the Material List";
	case GeometryProblem::no_bin_mesh: return "native geometry whose Extension does not begin with a Bin Mesh";
	case GeometryProblem::no_native_data: return "native geometry without a Native Data chunk after its Bin Mesh";
	case GeometryProblem::material_list_outside: return "Material List past the end of the stream";
	case GeometryProblem::extension_outside: return "Extension or Bin Mesh header past the end of the stream";
	case GeometryProblem::native_data_outside: return "Native Data chunk past the end of the stream";
	case GeometryProblem::geometry_outside: return "Geometry chunk reaches past the end of the stream";
	case GeometryProblem::geometry_size_mismatch:
		return "Geometry size disagrees with its Struct, Material List and Extension";
	case GeometryProblem::native_data_outside_extension:
		return "Native Data chunk reaches past the end of its Extension";
	case GeometryProblem::descriptors_outside: return "material count reaches past the end of the Native Data chunk";
	case GeometryProblem::index_list_outside: return "index list runs off the end of the Native Data chunk";
	case GeometryProblem::vertex_records_outside: return "vertex records run off the end of the Native Data chunk";
	case GeometryProblem::size_overflow: return "converted size exceeds 32 bits";
	case GeometryProblem::triangle_count_too_large: return "triangle count larger than the Native Data chunk could hold";
	case GeometryProblem::records_dropped: return "more triangles than the triangle count; the surplus was dropped";
	case GeometryProblem::morph_target_count: return "morph target count other than 1 converted as 1";
	}
	return "unknown problem";
}

std::string geometry_report_text(const GeometryReport& report)
{
	if (report.problem == GeometryProblem::morph_target_count)
		return "morph target count " + std::to_string(report.value) + " converted as 1";
	return geometry_problem_name(report.problem);
}

} // namespace kestrun
