#include "gltf/document.h"

#include <cmath>
#include <cstring>

namespace kestrun::gltf {

namespace {

using vec3 = std::array<float, 3>;

// Triangles per material slot, in slot order, as vertex index triples.
using Triangles = std::map<std::uint32_t, std::vector<std::uint32_t>>;

// From the Bin Mesh when it has index lists of a kind we know: lists as
// stored (an incomplete last triple dropped), strips unrolled. `incomplete`
// tells that the body ends before the meshes it counts.
bool triangles_from_bin_mesh(const stream::Chunk& geometry, Triangles& out, bool& incomplete)
{
	const stream::Chunk* extension = stream::find_child(geometry, format::type_extension);
	const stream::Chunk* chunk = extension ? stream::find_child(*extension, format::type_bin_mesh) : nullptr;
	if (chunk == nullptr)
		return false;
	const std::optional<stream::BinMeshInfo> bin_mesh = stream::decode_bin_mesh(*chunk, false);
	if (!bin_mesh || !bin_mesh->has_indices || bin_mesh->flag > format::bin_mesh_strip)
		return false;
	incomplete = !bin_mesh->complete;
	for (const stream::BinMeshMesh& mesh : bin_mesh->meshes) {
		std::vector<std::uint32_t>& list = out[mesh.material];
		const std::vector<std::uint32_t> triangles = stream::mesh_triangles(mesh, bin_mesh->flag);
		list.insert(list.end(), triangles.begin(), triangles.end());
	}
	return true;
}

// From the triangle records: vertex 2, vertex 1, material, vertex 3 (u16 each).
void triangles_from_records(bytes records, Triangles& out)
{
	constexpr std::uint64_t record = format::triangle_record_size;
	for (std::size_t at = 0; fits(records.size(), at, record); at += record) {
		const format::TriangleRecord t = format::read_triangle_record(records, at);
		out[t.material].insert(out[t.material].end(), {t.first, t.second, t.third});
	}
}

// Drops the triangles that name a vertex past the end; returns how many.
std::uint64_t drop_triangles_past(std::vector<std::uint32_t>& list, std::uint32_t vertices)
{
	std::size_t kept = 0;
	for (std::size_t t = 0; t + 2 < list.size(); t += 3) {
		if (list[t] >= vertices || list[t + 1] >= vertices || list[t + 2] >= vertices)
			continue;
		for (std::size_t k = 0; k < 3; k++)
			list[kept + k] = list[t + k];
		kept += 3;
	}
	const std::uint64_t dropped = (list.size() - kept) / 3;
	list.resize(kept);
	return dropped;
}

// Reads `count` floats; a value that is not finite becomes 0 and is counted.
std::vector<float> read_floats(bytes section, std::size_t count, std::uint64_t& not_finite)
{
	std::vector<float> values(count);
	for (std::size_t i = 0; i < count; i++) {
		const float v = load_f32(section, 4 * i);
		if (std::isfinite(v))
			values[i] = v;
		else
			not_finite++;
	}
	return values;
}

vec3 at3(const std::vector<float>& v, std::size_t i)
{
	return {v[3 * i], v[3 * i + 1], v[3 * i + 2]};
}

bool normalise(vec3& v)
{
	const double length = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
	if (!(length > 1e-12) || !std::isfinite(length))
		return false;
	for (float& c : v)
		c = float(c / length);
	return true;
}

// Unit normals. A zero normal cannot be renormalised: it takes the
// area-weighted normal of the triangles around the vertex, or the model's up
// axis (+z) when there are none. Returns how many needed that.
std::uint64_t renormalise(std::vector<float>& normals, const std::vector<float>& positions, const Triangles& triangles)
{
	const std::size_t vertices = normals.size() / 3;
	std::vector<bool> zero(vertices);
	std::uint64_t zeros = 0;
	for (std::size_t i = 0; i < vertices; i++) {
		vec3 n = at3(normals, i);
		zero[i] = !normalise(n);
		zeros += zero[i];
		std::memcpy(&normals[3 * i], n.data(), sizeof n);
	}
	if (zeros == 0)
		return 0;
	std::vector<double> sum(3 * vertices, 0.0);
	for (const auto& [material, list] : triangles) {
		for (std::size_t t = 0; t + 2 < list.size(); t += 3) {
			const vec3 a = at3(positions, list[t]), b = at3(positions, list[t + 1]), c = at3(positions, list[t + 2]);
			const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
			const double w[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
			const double face[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
			for (std::size_t k = 0; k < 3; k++)
				if (zero[list[t + k]])
					for (int d = 0; d < 3; d++)
						sum[3 * list[t + k] + d] += face[d];
		}
	}
	for (std::size_t i = 0; i < vertices; i++) {
		if (!zero[i])
			continue;
		vec3 n{float(sum[3 * i]), float(sum[3 * i + 1]), float(sum[3 * i + 2])};
		if (!normalise(n))
			n = {0, 0, 1};
		std::memcpy(&normals[3 * i], n.data(), sizeof n);
	}
	return zeros;
}

// Floats go into the buffer little-endian whatever the host.
std::vector<std::uint8_t> little_endian(const std::vector<float>& v)
{
	std::vector<std::uint8_t> out(v.size() * 4);
	for (std::size_t i = 0; i < v.size(); i++)
		store_f32(out, 4 * i, v[i]);
	return out;
}

std::uint32_t add_float_accessor(Document& doc, const std::vector<float>& values, const char* type, std::size_t width,
                                 json extra = json::object())
{
	json accessor{{"bufferView", doc.add_view(little_endian(values), target_array_buffer)},
	              {"componentType", component_f32},
	              {"count", values.size() / width},
	              {"type", type}};
	accessor.update(extra);
	return doc.add_accessor(std::move(accessor));
}

json min_max(const std::vector<float>& positions)
{
	std::array<float, 3> low = at3(positions, 0), high = low;
	for (std::size_t i = 0; i < positions.size() / 3; i++)
		for (std::size_t d = 0; d < 3; d++) {
			low[d] = std::min(low[d], positions[3 * i + d]);
			high[d] = std::max(high[d], positions[3 * i + d]);
		}
	return json{{"min", {double(low[0]), double(low[1]), double(low[2])}},
	            {"max", {double(high[0]), double(high[1]), double(high[2])}}};
}

std::uint32_t add_index_accessor(Document& doc, const std::vector<std::uint32_t>& list, std::uint32_t vertices)
{
	// 16-bit indices while every index fits below 0xFFFF, which glTF keeps
	// for primitive restart.
	const bool narrow = vertices <= 0xFFFF;
	std::vector<std::uint8_t> data(list.size() * (narrow ? 2 : 4));
	for (std::size_t i = 0; i < list.size(); i++) {
		if (narrow)
			store_u16(data, 2 * i, std::uint16_t(list[i]));
		else
			store_u32(data, 4 * i, list[i]);
	}
	return doc.add_accessor(json{{"bufferView", doc.add_view(data, target_element_array_buffer)},
	                             {"componentType", narrow ? component_u16 : component_u32},
	                             {"count", list.size()},
	                             {"type", "SCALAR"}});
}

// Prelit colours are sRGB bytes, glTF vertex colours linear: red, green and
// blue go through the material colours' conversion, alpha stays, each as a
// normalised u16 so that dark values keep their steps.
std::vector<std::uint8_t> linear_colours(bytes srgb)
{
	std::vector<std::uint8_t> out(2 * srgb.size());
	for (std::size_t i = 0; i < srgb.size(); i++) {
		const double linear = i % 4 == 3 ? srgb[i] / 255.0 : srgb_to_linear(srgb[i]);
		store_u16(out, 2 * i, std::uint16_t(std::lround(linear * 65535.0)));
	}
	return out;
}

// The vertex accessors every primitive of the geometry shares.
json add_attributes(Document& doc, const stream::GeometryInfo& info, const Triangles& triangles,
                    const std::string& label)
{
	const std::uint32_t vertices = info.vertices;
	std::uint64_t not_finite = 0;
	const std::vector<float> positions = read_floats(info.positions, 3ull * vertices, not_finite);
	json attributes{{"POSITION", add_float_accessor(doc, positions, "VEC3", 3, min_max(positions))}};
	if (info.has_normals && info.normals.size() == format::vertex_normal_size * vertices) {
		std::vector<float> normals = read_floats(info.normals, 3ull * vertices, not_finite);
		if (const std::uint64_t zeros = renormalise(normals, positions, triangles))
			doc.warn(label + ": " + std::to_string(zeros) +
			         " zero normal(s) replaced by the normal of the triangles around them");
		attributes["NORMAL"] = add_float_accessor(doc, normals, "VEC3", 3);
	}
	if (info.texcoords.size() == format::vertex_texcoord_size * vertices)
		attributes["TEXCOORD_0"] = add_float_accessor(doc, read_floats(info.texcoords, 2ull * vertices, not_finite),
		                                              "VEC2", 2);
	if (info.colours.size() == format::vertex_colour_size * vertices)
		attributes["COLOR_0"] = doc.add_accessor(json{{"bufferView", doc.add_view(linear_colours(info.colours), target_array_buffer)},
		                                              {"componentType", component_u16},
		                                              {"normalized", true},
		                                              {"count", vertices},
		                                              {"type", "VEC4"}});
	if (not_finite != 0)
		doc.warn(label + ": " + std::to_string(not_finite) + " vertex value(s) not finite, written as 0");

	return attributes;
}

// Why a generic geometry's vertices cannot be exported, or empty. Counts
// too large for the Struct leave every section unread: that is said as it
// is, not as missing positions.
std::string unusable_vertices(const stream::Chunk& geometry, const stream::GeometryInfo& info)
{
	const stream::Chunk* s = stream::find_child(geometry, format::type_struct);
	if (s != nullptr && s->body.size() < info.expected_struct_size)
		return "its Struct of " + std::to_string(s->body.size()) + " bytes is shorter than its counts (" +
		       std::to_string(info.triangles) + " triangles, " + std::to_string(info.vertices) + " vertices) need, " +
		       std::to_string(info.expected_struct_size) + " bytes";
	if (info.vertices == 0 || !info.has_positions)
		return "no vertex positions";
	if (info.positions.size() != format::vertex_position_size * info.vertices)
		return "its Struct is shorter than its counts";
	return {};
}

// The geometry's decoded Struct when it can be drawn: generic, with a
// position for each of its vertices. Otherwise says why it is left out.
std::optional<stream::GeometryInfo> drawable_geometry(Document& doc, const stream::Chunk& geometry,
                                                      const std::string& label)
{
	std::optional<stream::GeometryInfo> info = stream::decode_geometry(geometry);
	if (!info) {
		doc.warn(label + ": its Struct cannot be read; left out");
		return std::nullopt;
	}
	if (info->native_flags != 0) {
		doc.warn(label + ": console geometry that was not converted; left out");
		return std::nullopt;
	}
	if (const std::string why = unusable_vertices(geometry, *info); !why.empty()) {
		doc.warn(label + ": " + why + "; left out");
		return std::nullopt;
	}
	return info;
}

// The triangles to draw, from the Bin Mesh or else the triangle records,
// less those that name a vertex past the end; false when none are left.
bool triangles_to_draw(Document& doc, const stream::Chunk& geometry, const stream::GeometryInfo& info,
                       const std::string& label, Triangles& triangles)
{
	bool incomplete = false;
	if (!triangles_from_bin_mesh(geometry, triangles, incomplete))
		triangles_from_records(info.triangle_records, triangles);
	if (incomplete)
		doc.warn(label + ": its Bin Mesh ends before the last of the meshes it counts; their triangles are missing");
	std::uint64_t past = 0;
	for (auto& [material, list] : triangles)
		past += drop_triangles_past(list, info.vertices);
	if (past != 0)
		doc.warn(label + ": " + std::to_string(past) + " triangle(s) name a vertex past its " +
		         std::to_string(info.vertices) + "; left out");
	bool any = false;
	for (const auto& [material, list] : triangles)
		any = any || !list.empty();
	if (!any)
		doc.warn(label + ": no triangles to draw; left out");
	return any;
}

// One primitive per material slot that has triangles, each drawing them
// with the shared vertex `attributes` and the slot's material.
json add_primitives(Document& doc, const stream::Chunk& geometry, const Triangles& triangles, const json& attributes,
                    std::uint32_t vertices, const std::string& label, MaterialContext& context)
{
	const std::vector<std::optional<stream::MaterialInfo>> slots = read_material_list(geometry);
	const bool textured = attributes.contains("TEXCOORD_0");
	bool untextured_reported = false;
	json primitives = json::array();
	for (const auto& [material, list] : triangles) {
		if (list.empty())
			continue;
		json primitive{{"attributes", attributes}, {"indices", add_index_accessor(doc, list, vertices)}, {"mode", 4}};
		if (material < slots.size() && slots[material]) {
			const stream::MaterialInfo& slot = *slots[material];
			if (!textured && slot.texture_count != 0 && slot.texture && !slot.texture->name.empty() &&
			    !untextured_reported) {
				doc.warn(label + ": textured materials but no texture coordinates; drawn without their textures");
				untextured_reported = true;
			}
			primitive["material"] = add_material(doc, slot, textured, context);
		} else
			doc.warn(label + ": its triangles name material " + std::to_string(material) + " of " +
			         std::to_string(slots.size()) + " readable; drawn with the default material");
		primitives.push_back(std::move(primitive));
	}
	return primitives;
}

} // namespace

std::optional<std::uint32_t> add_geometry_mesh(Document& doc, const stream::Chunk& geometry, const std::string& label,
                                               MaterialContext& context)
{
	const std::optional<stream::GeometryInfo> info = drawable_geometry(doc, geometry, label);
	if (!info)
		return std::nullopt;
	Triangles triangles;
	if (!triangles_to_draw(doc, geometry, *info, label, triangles))
		return std::nullopt;
	const json attributes = add_attributes(doc, *info, triangles, label);
	json primitives = add_primitives(doc, geometry, triangles, attributes, info->vertices, label, context);
	doc.meshes.push_back(json{{"name", label}, {"primitives", std::move(primitives)}});
	return std::uint32_t(doc.meshes.size() - 1);
}

} // namespace kestrun::gltf
