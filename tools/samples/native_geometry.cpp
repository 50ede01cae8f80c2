#include "samples/samples.h"

#include <algorithm>
#include <cmath>

namespace kestrun::samples {

namespace {

using Record = std::array<std::uint16_t, 4>; // second, first, material, third

bool kept(const NativeMesh& m)
{
	return m.indices.size() >= 3;
}

void list_records(const std::vector<std::uint16_t>& ix, std::uint16_t material, std::vector<Record>& out)
{
	for (std::size_t j = 0; j + 2 < ix.size(); j += 3)
		out.push_back({ix[j + 1], ix[j], material, ix[j + 2]});
}

void strip_records(const std::vector<std::uint16_t>& ix, std::uint16_t material, std::vector<Record>& out)
{
	for (std::size_t j = 0; j + 2 < ix.size(); j++) {
		std::uint16_t p = ix[j], q = ix[j + 1], r = ix[j + 2];
		if (p == q || p == r || q == r)
			continue;
		out.push_back(j % 2 == 0 ? Record{q, p, material, r} : Record{r, p, material, q});
	}
}

// Every record the kept meshes give, parity counted afresh per mesh. A flag
// byte other than list or strip gives none.
std::vector<Record> triangle_records(const NativeGeometry& g)
{
	std::vector<Record> out;
	std::uint8_t flag = std::uint8_t(g.bin_mesh_flags);
	for (const NativeMesh& m : g.meshes) {
		if (!kept(m))
			continue;
		// The triangles carry their mesh's material, as its Bin Mesh record does.
		const auto material = std::uint16_t(m.material & 0xFF);
		if (flag == 0)
			list_records(m.indices, material, out);
		else if (flag == 1)
			strip_records(m.indices, material, out);
	}
	return out;
}

std::int32_t field(std::uint32_t w, int shift, int width)
{
	// Move the field to the top and shift back arithmetically: sign-extends.
	return std::int32_t(w << (32 - shift - width)) >> (32 - width);
}

std::int32_t quantise(float v, float scale, std::int32_t lo, std::int32_t hi)
{
	return std::clamp(std::int32_t(std::lround(v * scale)), lo, hi);
}

buffer material_chunk(const MaterialDesc& m, std::uint32_t stamp)
{
	buffer body;
	put_u32(body, 0);
	put_bytes(body, m.colour);
	put_u32(body, 0);
	put_u32(body, m.texture.empty() ? 0 : 1);
	for (int i = 0; i < 3; i++)
		put_f32(body, 1.0f);
	std::vector<buffer> children{chunk(format::type_struct, body, stamp)};
	if (!m.texture.empty()) {
		buffer filter;
		put_u32(filter, 0x1106);
		children.push_back(parent_chunk(format::type_texture,
		                                {chunk(format::type_struct, filter, stamp), string_chunk(m.texture, stamp),
		                                 string_chunk("", stamp), chunk(format::type_extension, {}, stamp)},
		                                stamp));
	}
	children.push_back(chunk(format::type_extension, {}, stamp));
	return parent_chunk(format::type_material, children, stamp);
}

buffer native_struct_body(const NativeGeometry& g)
{
	buffer b;
	put_u16(b, g.flags);
	put_u8(b, g.texture_sets);
	put_u8(b, g.native_flags);
	put_u32(b, g.triangles);
	put_u32(b, std::uint32_t(g.vertices.size()));
	put_u32(b, g.morph_targets);
	for (float f : g.sphere)
		put_f32(b, f);
	put_bytes(b, g.struct_extra);
	return b;
}

buffer old_bin_mesh_body(const NativeGeometry& g)
{
	buffer b;
	std::uint32_t total = 0;
	for (const NativeMesh& m : g.meshes)
		total += std::uint32_t(m.indices.size());
	put_u32(b, g.bin_mesh_flags);
	put_u32(b, std::uint32_t(g.meshes.size()));
	put_u32(b, total);
	for (const NativeMesh& m : g.meshes) {
		put_u32(b, std::uint32_t(m.indices.size()));
		put_u32(b, m.material);
	}
	return b;
}

void put_fill(buffer& b, std::uint32_t words)
{
	for (std::uint32_t i = 0; i < words; i++)
		put_u32(b, format::fill_word);
}

void put_descriptors(buffer& b, const NativeGeometry& g)
{
	std::uint32_t first = 0;
	for (const NativeMesh& m : g.meshes) {
		put_u32(b, first);  // where the list starts, in indices
		put_u32(b, 4);      // the console's primitive kind; not read
		put_u32(b, std::uint32_t(m.indices.size()));
		put_u32(b, m.material & 0xFF);
		put_u32(b, 0);
		put_u32(b, 0);
		if (kept(m))
			first += std::uint32_t(m.indices.size() + m.indices.size() % 2);
	}
}

void put_index_stream(buffer& b, const NativeGeometry& g)
{
	for (const NativeMesh& m : g.meshes) {
		put_fill(b, m.fill_before);
		if (!kept(m))
			continue; // a dropped mesh has no list in the stream
		for (std::uint16_t i : m.indices)
			put_u16(b, i);
		if (m.indices.size() % 2 != 0)
			put_u16(b, m.pad);
	}
	put_fill(b, g.fill_after);
}

void put_vertex_records(buffer& b, const NativeGeometry& g)
{
	for (const NativeVertex& v : g.vertices) {
		for (float f : v.position)
			put_f32(b, f);
		if (g.flags & format::flag_normals)
			put_u32(b, v.normal);
		if (g.flags & format::flag_prelit_colours)
			put_bytes(b, v.colour);
		if (g.flags & format::flag_texture_coordinates) {
			put_f32(b, v.uv[0]);
			put_f32(b, v.uv[1]);
		}
	}
}

buffer native_data_body(const NativeGeometry& g)
{
	buffer b;
	put_bytes(b, g.native_head);
	put_descriptors(b, g);
	put_bytes(b, g.after_descriptors);
	put_index_stream(b, g);
	put_vertex_records(b, g);
	return b;
}

void put_triangle_section(buffer& b, const NativeGeometry& g)
{
	std::vector<Record> records = triangle_records(g);
	for (std::uint32_t t = 0; t < g.triangles; t++) {
		Record r = t < records.size() ? records[t] : Record{};
		for (std::uint16_t v : r)
			put_u16(b, v);
	}
}

buffer generic_struct_body(const NativeGeometry& g)
{
	buffer b;
	put_u16(b, g.flags);
	put_u8(b, 0);
	put_u8(b, 0);
	put_u32(b, g.triangles);
	put_u32(b, std::uint32_t(g.vertices.size()));
	put_u32(b, 1); // one set of vertex data: one morph target, whatever the header said
	for (int i = 0; i < 3; i++)
		put_f32(b, 1.0f);
	if (g.flags & format::flag_prelit_colours) {
		for (const NativeVertex& v : g.vertices)
			put_bytes(b, std::array<std::uint8_t, 4>{v.colour[2], v.colour[1], v.colour[0], v.colour[3]});
	}
	if (g.flags & format::flag_texture_coordinates) {
		for (const NativeVertex& v : g.vertices) {
			put_f32(b, v.uv[0]);
			put_f32(b, v.uv[1]);
		}
	}
	put_triangle_section(b, g);
	for (float f : g.sphere)
		put_f32(b, f);
	put_u32(b, 1);
	put_u32(b, g.flags & format::flag_normals ? 1 : 0);
	for (const NativeVertex& v : g.vertices)
		for (float f : v.position)
			put_f32(b, f);
	if (g.flags & format::flag_normals) {
		for (const NativeVertex& v : g.vertices) {
			put_f32(b, float(field(v.normal, 0, 11)) / 1023.0f);
			put_f32(b, float(field(v.normal, 11, 11)) / 1023.0f);
			put_f32(b, float(field(v.normal, 22, 10)) / 511.0f);
		}
	}
	return b;
}

buffer generic_bin_mesh_body(const NativeGeometry& g)
{
	std::uint32_t count = 0, total = 0;
	for (const NativeMesh& m : g.meshes) {
		if (kept(m)) {
			count++;
			total += std::uint32_t(m.indices.size());
		}
	}
	buffer b;
	put_u32(b, std::uint8_t(g.bin_mesh_flags));
	put_u32(b, count);
	put_u32(b, total);
	for (const NativeMesh& m : g.meshes) {
		if (!kept(m))
			continue;
		put_u32(b, std::uint32_t(m.indices.size()));
		put_u32(b, m.material & 0xFF);
		for (std::uint16_t i : m.indices)
			put_u32(b, i);
	}
	return b;
}

} // namespace

std::uint32_t pack_normal(float x, float y, float z)
{
	std::uint32_t ix = std::uint32_t(quantise(x, 1023.0f, -1024, 1023)) & 0x7FF;
	std::uint32_t iy = std::uint32_t(quantise(y, 1023.0f, -1024, 1023)) & 0x7FF;
	std::uint32_t iz = std::uint32_t(quantise(z, 511.0f, -512, 511)) & 0x3FF;
	return ix | iy << 11 | iz << 22;
}

std::uint32_t triangle_count(const NativeGeometry& g)
{
	return std::uint32_t(triangle_records(g).size());
}

std::vector<std::array<std::uint16_t, 4>> generic_triangle_records(const NativeGeometry& g)
{
	std::vector<Record> records = triangle_records(g);
	records.resize(g.triangles);
	return records;
}

buffer material_list_chunk(const std::vector<MaterialDesc>& materials, std::uint32_t stamp)
{
	buffer body;
	put_u32(body, std::uint32_t(materials.size()));
	for (std::size_t i = 0; i < materials.size(); i++)
		put_u32(body, 0xFFFFFFFF); // a material of its own, not a reference
	std::vector<buffer> children{chunk(format::type_struct, body, stamp)};
	for (const MaterialDesc& m : materials)
		children.push_back(material_chunk(m, stamp));
	return parent_chunk(format::type_material_list, children, stamp);
}

buffer native_geometry_chunk(const NativeGeometry& g)
{
	const std::uint32_t s = g.stamp;
	buffer extension_body = chunk(format::type_bin_mesh, old_bin_mesh_body(g), s);
	put_bytes(extension_body, chunk(format::type_native_data, native_data_body(g), s));
	put_bytes(extension_body, g.after_native_data);
	for (const buffer& c : g.extension_extra)
		put_bytes(extension_body, c);
	return parent_chunk(format::type_geometry,
	                    {chunk(format::type_struct, native_struct_body(g), s), material_list_chunk(g.materials, s),
	                     chunk(format::type_extension, extension_body, s)},
	                    s);
}

buffer generic_geometry_chunk(const NativeGeometry& g)
{
	const std::uint32_t s = converted_stamp(g.stamp);
	if (s != target_stamp)
		return restamped(native_geometry_chunk(g)); // not found by the converter
	buffer extension_body = chunk(format::type_bin_mesh, generic_bin_mesh_body(g), s);
	for (const buffer& c : g.extension_extra)
		put_bytes(extension_body, restamped(c));
	return parent_chunk(format::type_geometry,
	                    {chunk(format::type_struct, generic_struct_body(g), s),
	                     restamped(material_list_chunk(g.materials, g.stamp)), chunk(format::type_extension, extension_body, s)},
	                    s);
}

NativeGeometry one_triangle_geometry(std::array<std::uint16_t, 3> indices, std::uint32_t vertices)
{
	NativeGeometry g;
	g.meshes.push_back({{indices.begin(), indices.end()}, 0, 0, 0});
	g.materials.resize(1);
	g.triangles = 1;
	g.vertices.resize(vertices);
	return g;
}

} // namespace kestrun::samples
