// The Struct bodies the kit decodes. Every read is checked against the body,
// which the parser has already clipped to the bytes that are there.
#include "stream/stream.h"

#include <algorithm>

namespace kestrun::stream {

namespace {

// The body of `parent`'s first Struct, if it has one.
std::optional<bytes> struct_body(const Chunk& parent)
{
	const Chunk* s = find_child(parent, format::type_struct);
	if (!s)
		return std::nullopt;
	return s->body;
}

std::uint32_t clip_u32(std::uint64_t v)
{
	return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(v);
}

bytes section(bytes body, std::uint64_t pos, std::uint64_t length)
{
	return body.subspan(std::size_t(pos), std::size_t(length));
}

void decode_generic_sections(bytes body, GeometryInfo& g)
{
	const std::uint64_t v = g.vertices;
	const format::GenericLayout l =
	    format::generic_layout(g.flags, format::texture_sets(g.flags, g.texture_sets), g.triangles, v,
	                           g.morph_targets, g.has_surface_properties);
	g.expected_struct_size = clip_u32(l.size);

	if (body.size() < l.size)
		return;
	g.colours = section(body, l.colours, l.texcoords - l.colours);
	// Only the first texture set is shown.
	g.texcoords = section(body, l.texcoords, l.triangles > l.texcoords ? l.texcoord_set : 0);
	g.triangle_records = section(body, l.triangles, l.morph - l.triangles);
	if (g.morph_targets == 0)
		return;
	std::uint64_t pos = l.morph;
	for (std::size_t k = 0; k < 4; k++)
		g.sphere[k] = load_f32(body, std::size_t(pos + 4 * k));
	g.has_positions = load_u32(body, std::size_t(pos + format::morph_has_positions_at)) != 0;
	g.has_normals = load_u32(body, std::size_t(pos + format::morph_has_normals_at)) != 0;
	pos += format::morph_header_size;
	// The layout the flags ask for; the two words are shown, not followed.
	g.positions = section(body, pos, 12 * v);
	pos += 12 * v;
	if (g.flags & format::flag_normals)
		g.normals = section(body, pos, 12 * v);
}

} // namespace

std::optional<ClumpInfo> decode_clump(const Chunk& clump)
{
	const auto body = struct_body(clump);
	if (!body || body->size() < format::clump_struct_short)
		return std::nullopt;
	ClumpInfo info;
	info.atomics = load_u32(*body, format::list_count_at);
	if (body->size() >= format::clump_struct_long) {
		info.lights = load_u32(*body, format::clump_lights_at);
		info.cameras = load_u32(*body, format::clump_cameras_at);
	}
	info.struct_size = std::uint32_t(body->size());
	return info;
}

std::optional<std::vector<FrameInfo>> decode_frame_list(const Chunk& frame_list)
{
	const auto body = struct_body(frame_list);
	if (!body || body->size() < format::frame_records_at)
		return std::nullopt;
	const std::uint32_t count = load_u32(*body, format::list_count_at);
	if (!fits(body->size(), format::frame_records_at, std::uint64_t(count) * format::frame_record_size))
		return std::nullopt;
	std::vector<FrameInfo> frames(count);
	for (std::uint32_t i = 0; i < count; i++) {
		const std::size_t at = std::size_t(format::frame_records_at + i * format::frame_record_size);
		for (std::size_t k = 0; k < 9; k++)
			frames[i].rotation[k] = load_f32(*body, at + format::frame_rotation_at + 4 * k);
		for (std::size_t k = 0; k < 3; k++)
			frames[i].position[k] = load_f32(*body, at + format::frame_position_at + 4 * k);
		frames[i].parent = std::int32_t(load_u32(*body, at + format::frame_parent_at));
	}
	const std::vector<const Chunk*> extensions = children_of_type(frame_list, format::type_extension);
	for (std::size_t i = 0; i < extensions.size() && i < frames.size(); i++)
		if (const Chunk* name = find_child(*extensions[i], format::type_frame_name))
			frames[i].name = format::fixed_name(name->body);
	return frames;
}

std::optional<GeometryInfo> decode_geometry(const Chunk& geometry)
{
	const Chunk* s = find_child(geometry, format::type_struct);
	if (!s || s->body.size() < format::geometry_header_size)
		return std::nullopt;
	const bytes body = s->body;
	GeometryInfo g;
	g.flags = load_u16(body, format::geometry_flags_at);
	g.texture_sets = body[format::geometry_sets_at];
	g.native_flags = body[format::geometry_native_at];
	g.triangles = load_u32(body, format::geometry_triangles_at);
	g.vertices = load_u32(body, format::geometry_vertices_at);
	g.morph_targets = load_u32(body, format::geometry_morphs_at);
	g.has_surface_properties = format::has_surface_properties(s->stamp);
	if (g.native_flags != 0) {
		// The console keeps the vertices in Native Data; its Struct holds the
		// header and the bounding sphere.
		const std::uint64_t head =
		    format::geometry_header_size + (g.has_surface_properties ? format::surface_properties_size : 0);
		g.expected_struct_size = std::uint32_t(head + format::bounding_sphere_size);
		if (fits(body.size(), head, format::bounding_sphere_size))
			for (std::size_t k = 0; k < 4; k++)
				g.sphere[k] = load_f32(body, std::size_t(head + 4 * k));
		return g;
	}
	decode_generic_sections(body, g);
	return g;
}

std::optional<BinMeshInfo> decode_bin_mesh(const Chunk& bin_mesh, bool native)
{
	const bytes body = bin_mesh.body;
	if (body.size() < format::bin_mesh_header_size)
		return std::nullopt;
	BinMeshInfo info;
	info.flag = load_u32(body, format::bin_mesh_flag_at);
	info.mesh_count = load_u32(body, format::bin_mesh_count_at);
	info.index_total = load_u32(body, format::bin_mesh_total_at);
	info.has_indices = !native;
	std::uint64_t pos = format::bin_mesh_header_size;
	for (std::uint32_t k = 0; k < info.mesh_count; k++) {
		if (!fits(body.size(), pos, format::bin_mesh_record_size)) {
			info.complete = false;
			break;
		}
		BinMeshMesh mesh;
		mesh.index_count = load_u32(body, std::size_t(pos));
		mesh.material = load_u32(body, std::size_t(pos + format::bin_mesh_material_at));
		const std::uint64_t index_bytes = native ? 0 : format::bin_mesh_index_size * std::uint64_t(mesh.index_count);
		if (!fits(body.size(), pos + format::bin_mesh_record_size, index_bytes)) {
			info.complete = false;
			break;
		}
		pos += format::bin_mesh_record_size;
		if (!native) {
			mesh.indices.resize(mesh.index_count);
			for (std::uint32_t i = 0; i < mesh.index_count; i++)
				mesh.indices[i] = load_u32(body, std::size_t(pos + format::bin_mesh_index_size * std::uint64_t(i)));
			pos += index_bytes;
		}
		info.meshes.push_back(std::move(mesh));
	}
	info.end = pos;
	return info;
}

std::optional<TextureInfo> decode_texture(const Chunk& texture)
{
	const auto body = struct_body(texture);
	if (!body || body->size() < 4)
		return std::nullopt;
	TextureInfo info;
	const format::Filter filter = format::split_filter_word(load_u32(*body, format::texture_filter_at));
	info.filter = filter.mode;
	info.address_u = filter.address_u;
	info.address_v = filter.address_v;
	const std::vector<const Chunk*> strings = children_of_type(texture, format::type_string);
	if (strings.size() > 0)
		info.name = format::fixed_name(strings[0]->body);
	if (strings.size() > 1)
		info.mask = format::fixed_name(strings[1]->body);
	return info;
}

std::optional<MaterialInfo> decode_material(const Chunk& material)
{
	const auto body = struct_body(material);
	if (!body || body->size() < format::material_struct_least)
		return std::nullopt;
	MaterialInfo info;
	for (std::size_t k = 0; k < 4; k++)
		info.colour[k] = (*body)[format::material_colour_at + k];
	info.texture_count = load_u32(*body, format::material_textures_at);
	if (const Chunk* texture = find_child(material, format::type_texture))
		info.texture = decode_texture(*texture);
	return info;
}

std::optional<AtomicInfo> decode_atomic(const Chunk& atomic)
{
	const auto body = struct_body(atomic);
	if (!body || body->size() < format::atomic_struct_size)
		return std::nullopt;
	return AtomicInfo{load_u32(*body, format::atomic_frame_at), load_u32(*body, format::atomic_geometry_at),
	                  load_u32(*body, format::atomic_flags_at)};
}

std::optional<TextureNativeHeader> decode_texture_native_header(const Chunk& texture_native)
{
	const auto body = struct_body(texture_native);
	format::TextureNativeHeader raw;
	if (!body || !format::read_texture_native_header(*body, raw))
		return std::nullopt;
	TextureNativeHeader h;
	h.platform = raw.platform;
	const format::Filter filter = format::split_filter_word(raw.filter_word);
	h.filter = filter.mode;
	h.address_u = filter.address_u;
	h.address_v = filter.address_v;
	h.name = format::fixed_name(raw.name_field);
	h.mask = format::fixed_name(raw.mask_field);
	h.raster_format = raw.raster_format;
	h.alpha = raw.alpha;
	h.width = raw.width;
	h.height = raw.height;
	h.depth = raw.depth;
	h.levels = raw.level_count;
	h.raster_type = raw.raster_type;
	h.compression = raw.compression;
	return h;
}

std::optional<DictionaryInfo> decode_dictionary(const Chunk& dictionary)
{
	const auto body = struct_body(dictionary);
	if (!body || body->size() < 4)
		return std::nullopt;
	return DictionaryInfo{load_u16(*body, format::dictionary_count_at), load_u16(*body, format::dictionary_device_at)};
}

std::string dictionary_count_problem(const Chunk& dictionary)
{
	const auto info = decode_dictionary(dictionary);
	if (!info)
		return "no Struct with the texture count";
	const std::size_t found = children_of_type(dictionary, format::type_texture_native).size();
	if (found == info->textures)
		return {};
	return "texture count " + std::to_string(info->textures) + " but " + std::to_string(found) +
	       " Texture Native chunk" + (found == 1 ? "" : "s");
}

} // namespace kestrun::stream
