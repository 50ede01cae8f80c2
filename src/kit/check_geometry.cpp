// Checks of a Geometry: its Struct's size against its counts, the triangle
// records and the Bin Mesh against the vertices and materials, and the
// native flag against the Native Data chunk.
#include "kit/check_parts.h"
#include "kit/fix.h"

namespace kestrun::kit::checks {

using namespace stream;

namespace {

void check_triangles(Findings& findings, const GeometryInfo& g, const std::string& path,
                     std::optional<std::uint32_t> materials)
{
	const bytes records = g.triangle_records;
	std::uint64_t past_v = 0, past_m = 0, first_v = 0, first_m = 0;
	constexpr std::uint64_t record = format::triangle_record_size;
	for (std::size_t at = 0; fits(records.size(), at, record); at += record) {
		const format::TriangleRecord t = format::read_triangle_record(records, at);
		if ((t.first >= g.vertices || t.second >= g.vertices || t.third >= g.vertices) && past_v++ == 0)
			first_v = offset_in(findings.stream, records) + at;
		if (materials && t.material >= *materials && past_m++ == 0)
			first_m = offset_in(findings.stream, records) + at;
	}
	if (past_v > 0)
		findings.add(Severity::error, path, first_v,
		             n(past_v) + " triangle(s) with a vertex index not below V = " + n(g.vertices) +
		                 ", the first here");
	if (past_m > 0)
		findings.add(Severity::error, path, first_m,
		             n(past_m) + " triangle(s) with a material id not below the " + n(*materials) +
		                 " materials, the first here");
}

// The Bin Mesh's header: its flag word and whether its body holds the
// meshes it counts, no more and no less.
void check_bin_mesh_header(Findings& findings, const Chunk& bin, const std::string& path, const BinMeshInfo& info)
{
	const std::uint32_t kind = info.flag & format::bin_mesh_kind_mask;
	if (kind > format::bin_mesh_strip)
		findings.add(Severity::error, path, bin.offset,
		             "flag " + hex(info.flag) + " is neither list (0) nor strip (1)");
	else if (info.flag != kind)
		findings.add(Severity::warning, path, bin.offset,
		             "flag word " + hex(info.flag) + ": bits above list (0) or strip (1)");
	if (!info.complete)
		findings.add(Severity::error, path, bin.offset,
		             "the body ends inside mesh " + n(info.meshes.size()) + " of " + n(info.mesh_count));
	else if (info.end != bin.body.size())
		findings.add(Severity::warning, path, bin.offset + format::chunk_header_size + info.end,
		             n(bin.body.size() - info.end) + " bytes after the last mesh");
}

void check_bin_mesh(Findings& findings, const Chunk& bin, const std::string& path, const GeometryInfo& g,
                    std::optional<std::uint32_t> materials)
{
	const bool native = g.native_flags != 0;
	const auto info = decode_bin_mesh(bin, native);
	if (!info) {
		findings.add(Severity::error, path, bin.offset, "body shorter than its 12-byte header");
		return;
	}
	check_bin_mesh_header(findings, bin, path, *info);
	const bool list = (info->flag & format::bin_mesh_kind_mask) == format::bin_mesh_list;
	std::uint64_t total = 0;
	for (std::size_t k = 0; k < info->meshes.size(); k++) {
		const BinMeshMesh& mesh = info->meshes[k];
		total += mesh.index_count;
		const std::string at = "mesh " + n(k) + ": ";
		// Readers take only the low byte of a console record's material.
		const std::uint32_t material = native ? mesh.material & format::native_material_mask : mesh.material;
		if (materials && material >= *materials)
			findings.add(Severity::error, path, bin.offset,
			             at + "material " + n(mesh.material) + " not below the " + n(*materials) + " materials");
		if (!native && list && mesh.index_count % 3 != 0)
			findings.add(Severity::warning, path, bin.offset,
			             at + "list of " + n(mesh.index_count) + " indices, not a multiple of 3");
		std::uint64_t past = 0;
		for (std::uint32_t index : mesh.indices)
			if (index >= g.vertices)
				past++;
		if (past > 0)
			findings.add(Severity::error, path, bin.offset,
			             at + n(past) + " index(es) not below V = " + n(g.vertices));
	}
	if (info->complete && total != info->index_total)
		findings.add(Severity::error, path, bin.offset,
		             "index total " + n(info->index_total) + " but the meshes hold " + n(total));
}

// Every Bin Mesh in the geometry's Extension.
void check_bin_meshes(Findings& findings, const Chunk& extension, const std::string& path, const GeometryInfo& g,
                      std::optional<std::uint32_t> materials)
{
	const std::vector<std::string> paths = child_paths(path + "/Extension", extension.children);
	for (std::size_t i = 0; i < extension.children.size(); i++)
		if (extension.children[i].type == format::type_bin_mesh)
			check_bin_mesh(findings, extension.children[i], paths[i], g, materials);
}

} // namespace

void check_geometry(Findings& findings, const Chunk& geometry, const std::string& path)
{
	const auto g = decode_geometry(geometry);
	const Chunk* s = find_child(geometry, format::type_struct);
	if (!g) {
		findings.add(Severity::error, path, geometry.offset, "no Struct with the 16-byte geometry header");
		return;
	}
	const std::string struct_path = path + "/Struct";
	const bool native = g->native_flags != 0;
	if (native ? s->body.size() < g->expected_struct_size : s->size != g->expected_struct_size)
		findings.add(Severity::error, struct_path, s->offset,
		             "size " + n(s->size) +
		                 (native ? " is less than the " : " but flags, texture sets, T, V and morph targets give ") +
		                 n(g->expected_struct_size));

	const Chunk* materials = find_child(geometry, format::type_material_list);
	const auto material_count = materials ? struct_count(*materials) : std::nullopt;
	check_triangles(findings, *g, struct_path, material_count);
	if (plan_triangle_materials(geometry))
		findings.add(Severity::warning, struct_path, s->offset, "triangle materials disagree with the Bin Mesh");

	const Chunk* extension = find_child(geometry, format::type_extension);
	const Chunk* native_data = extension ? find_child(*extension, format::type_native_data) : nullptr;
	if (native != (native_data != nullptr))
		findings.add(Severity::error, path, geometry.offset,
		             native ? "native flag set but no Native Data chunk" : "Native Data chunk but no native flag");
	if (extension)
		check_bin_meshes(findings, *extension, path, *g, material_count);
}

} // namespace kestrun::kit::checks
