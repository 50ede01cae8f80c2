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

// Versions before 3.4 keep ambient, specular and diffuse in the geometry.
bool version_has_surface_properties(std::uint32_t stamp)
{
	return format::decode_stamp(stamp).version < 0x34000;
}

// Texture sets a reader takes: the stored count, or when it is 0, two for
// the second-texture flag (0x80) and one for the texture flag (0x04).
std::uint64_t texture_sets_of(const GeometryInfo& g)
{
	if (g.texture_sets != 0)
		return g.texture_sets;
	return g.flags & 0x80 ? 2 : g.flags & 0x04 ? 1 : 0;
}

bytes section(bytes body, std::uint64_t pos, std::uint64_t length)
{
	return body.subspan(std::size_t(pos), std::size_t(length));
}

void decode_generic_sections(bytes body, GeometryInfo& g, std::uint64_t pos)
{
	const std::uint64_t v = g.vertices, t = g.triangles;
	const std::uint64_t colours = g.flags & 0x08 ? 4 * v : 0;
	const std::uint64_t texcoords = 8 * v * texture_sets_of(g);
	const std::uint64_t morph = 24 + 12 * v + (g.flags & 0x10 ? 12 * v : 0);
	const std::uint64_t expected = pos + colours + texcoords + 8 * t + morph * g.morph_targets;
	g.expected_struct_size = clip_u32(expected);

	if (body.size() < expected)
		return;
	g.colours = section(body, pos, colours);
	pos += colours;
	// Only the first texture set is shown.
	g.texcoords = section(body, pos, texture_sets_of(g) > 0 ? 8 * v : 0);
	pos += texcoords;
	g.triangle_records = section(body, pos, 8 * t);
	pos += 8 * t;
	if (g.morph_targets == 0)
		return;
	for (std::size_t k = 0; k < 4; k++)
		g.sphere[k] = load_f32(body, std::size_t(pos + 4 * k));
	g.has_positions = load_u32(body, std::size_t(pos + 16)) != 0;
	g.has_normals = load_u32(body, std::size_t(pos + 20)) != 0;
	pos += 24;
	// The layout the flags ask for; the two words are shown, not followed.
	g.positions = section(body, pos, 12 * v);
	pos += 12 * v;
	if (g.flags & 0x10)
		g.normals = section(body, pos, 12 * v);
}

} // namespace

std::optional<ClumpInfo> decode_clump(const Chunk& clump)
{
	const auto body = struct_body(clump);
	if (!body || body->size() < 4)
		return std::nullopt;
	ClumpInfo info;
	info.atomics = load_u32(*body, 0);
	if (body->size() >= 12) {
		info.lights = load_u32(*body, 4);
		info.cameras = load_u32(*body, 8);
	}
	info.struct_size = std::uint32_t(body->size());
	return info;
}

std::optional<std::vector<FrameInfo>> decode_frame_list(const Chunk& frame_list)
{
	const auto body = struct_body(frame_list);
	if (!body || body->size() < 4)
		return std::nullopt;
	const std::uint32_t count = load_u32(*body, 0);
	if (!fits(body->size(), 4, std::uint64_t(count) * 56))
		return std::nullopt;
	std::vector<FrameInfo> frames(count);
	for (std::uint32_t i = 0; i < count; i++) {
		const std::size_t at = 4 + std::size_t(i) * 56;
		for (std::size_t k = 0; k < 9; k++)
			frames[i].rotation[k] = load_f32(*body, at + 4 * k);
		for (std::size_t k = 0; k < 3; k++)
			frames[i].position[k] = load_f32(*body, at + 36 + 4 * k);
		frames[i].parent = std::int32_t(load_u32(*body, at + 48));
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
	if (!s || s->body.size() < 16)
		return std::nullopt;
	const bytes body = s->body;
	GeometryInfo g;
	const std::uint32_t format = load_u32(body, 0);
	g.flags = format & 0xFFFF;
	g.texture_sets = format >> 16 & 0xFF;
	g.native_flags = format >> 24;
	g.triangles = load_u32(body, 4);
	g.vertices = load_u32(body, 8);
	g.morph_targets = load_u32(body, 12);
	g.has_surface_properties = version_has_surface_properties(s->stamp);
	const std::uint64_t head = 16 + (g.has_surface_properties ? 12 : 0);
	if (g.native_flags != 0) {
		// The console keeps the vertices in Native Data; its Struct holds the
		// header and the bounding sphere.
		g.expected_struct_size = std::uint32_t(head + 16);
		if (fits(body.size(), head, 16))
			for (std::size_t k = 0; k < 4; k++)
				g.sphere[k] = load_f32(body, std::size_t(head + 4 * k));
		return g;
	}
	decode_generic_sections(body, g, head);
	return g;
}

std::optional<BinMeshInfo> decode_bin_mesh(const Chunk& bin_mesh, bool native)
{
	const bytes body = bin_mesh.body;
	if (body.size() < 12)
		return std::nullopt;
	BinMeshInfo info;
	info.flag = load_u32(body, 0);
	info.mesh_count = load_u32(body, 4);
	info.index_total = load_u32(body, 8);
	info.has_indices = !native;
	std::uint64_t pos = 12;
	for (std::uint32_t k = 0; k < info.mesh_count; k++) {
		if (!fits(body.size(), pos, 8)) {
			info.complete = false;
			break;
		}
		BinMeshMesh mesh;
		mesh.index_count = load_u32(body, std::size_t(pos));
		mesh.material = load_u32(body, std::size_t(pos + 4));
		const std::uint64_t index_bytes = native ? 0 : 4 * std::uint64_t(mesh.index_count);
		if (!fits(body.size(), pos + 8, index_bytes)) {
			info.complete = false;
			break;
		}
		pos += 8;
		if (!native) {
			mesh.indices.resize(mesh.index_count);
			for (std::uint32_t i = 0; i < mesh.index_count; i++)
				mesh.indices[i] = load_u32(body, std::size_t(pos + 4 * std::uint64_t(i)));
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
	const std::uint32_t word = load_u32(*body, 0);
	info.filter = word & 0xFF;
	info.address_u = word >> 8 & 0xF;
	info.address_v = word >> 12 & 0xF;
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
	if (!body || body->size() < 16)
		return std::nullopt;
	MaterialInfo info;
	for (std::size_t k = 0; k < 4; k++)
		info.colour[k] = (*body)[4 + k];
	info.texture_count = load_u32(*body, 12);
	if (const Chunk* texture = find_child(material, format::type_texture))
		info.texture = decode_texture(*texture);
	return info;
}

std::optional<AtomicInfo> decode_atomic(const Chunk& atomic)
{
	const auto body = struct_body(atomic);
	if (!body || body->size() < 12)
		return std::nullopt;
	return AtomicInfo{load_u32(*body, 0), load_u32(*body, 4), load_u32(*body, 8)};
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
	return DictionaryInfo{load_u16(*body, 0), load_u16(*body, 2)};
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
