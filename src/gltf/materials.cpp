#include "gltf/document.h"

namespace kestrun::gltf {

namespace {

// The texture's filter mode as glTF's (magnification, minification) filters;
// 0 leaves a filter out (the viewer's choice).
std::pair<std::uint32_t, std::uint32_t> filters_of(std::uint32_t filter)
{
	constexpr std::uint32_t nearest = 9728, linear = 9729;
	switch (filter) {
	case 1: return {nearest, nearest};
	case 2: return {linear, linear};
	case 3: return {nearest, 9984}; // nearest, nearest mip level
	case 4: return {nearest, 9986}; // nearest, blend of two mip levels
	case 5: return {linear, 9985};  // linear, nearest mip level
	case 6: return {linear, 9987};  // linear, blend of two mip levels
	default: return {0, 0};
	}
}

// Addressing as a glTF wrap mode; the border mode has no glTF form and
// clamps, the nearest to it; 0 leaves it out (glTF's default, repeat).
std::uint32_t wrap_of(std::uint32_t address)
{
	switch (address) {
	case 1: return 10497; // wrap
	case 2: return 33648; // mirror
	case 3: return 33071; // clamp
	case 4: return 33071; // border
	default: return 0;
	}
}

json sampler_json(std::uint32_t filter, std::uint32_t address_u, std::uint32_t address_v)
{
	json sampler = json::object();
	const auto [mag, min] = filters_of(filter);
	if (mag != 0) {
		sampler["magFilter"] = mag;
		sampler["minFilter"] = min;
	}
	if (wrap_of(address_u) != 0)
		sampler["wrapS"] = wrap_of(address_u);
	if (wrap_of(address_v) != 0)
		sampler["wrapT"] = wrap_of(address_v);
	return sampler;
}

std::uint32_t add_once(json& array, std::map<std::string, std::uint32_t>& index, const std::string& key,
                       const json& value)
{
	const auto found = index.find(key);
	if (found != index.end())
		return found->second;
	const std::uint32_t at = std::uint32_t(array.size());
	array.push_back(value);
	index.emplace(key, at);
	return at;
}

// The glTF texture of a material's Texture chunk, or nothing (with a warning
// naming the texture) when the dictionaries given do not have it.
std::optional<std::pair<std::uint32_t, bool>> add_texture(Document& doc, const stream::TextureInfo& info,
                                                          MaterialContext& context)
{
	const EncodedTexture* texture = context.textures.find(info.name);
	if (texture == nullptr || texture->png.empty()) {
		if (!context.missing_reported[info.name])
			doc.warn(texture == nullptr ? "texture '" + format::printable(info.name) +
			                                  "' is in none of the dictionaries given; its materials are left untextured"
			                            : "texture '" + format::printable(info.name) + "' cannot be read (" + texture->error +
			                                  "); its materials are left untextured");
		context.missing_reported[info.name] = true;
		return std::nullopt;
	}
	std::uint32_t image;
	if (const auto found = doc.image_index.find(texture); found != doc.image_index.end()) {
		image = found->second;
	} else {
		const std::uint32_t view = doc.add_view(texture->png, 0);
		image = std::uint32_t(doc.images.size());
		doc.images.push_back(json{{"bufferView", view}, {"mimeType", "image/png"}, {"name", info.name}});
		doc.image_index.emplace(texture, image);
	}
	// The material's own Texture chunk says how it is sampled; where it says
	// nothing, the texture native's settings stand.
	const json sampler_value = sampler_json(info.filter != 0 ? info.filter : texture->filter,
	                                        info.address_u != 0 ? info.address_u : texture->address_u,
	                                        info.address_v != 0 ? info.address_v : texture->address_v);
	const std::uint32_t sampler = add_once(doc.samplers, doc.sampler_index, json_text(sampler_value), sampler_value);
	const json texture_value{{"source", image}, {"sampler", sampler}};
	return std::pair{add_once(doc.textures, doc.texture_index, json_text(texture_value), texture_value), texture->has_alpha};
}

} // namespace

std::vector<std::optional<stream::MaterialInfo>> read_material_list(const stream::Chunk& geometry)
{
	std::vector<std::optional<stream::MaterialInfo>> slots;
	const stream::Chunk* list = stream::find_child(geometry, format::type_material_list);
	const stream::Chunk* head = list ? stream::find_child(*list, format::type_struct) : nullptr;
	if (head == nullptr || !fits(head->body.size(), format::list_count_at, format::list_count_size))
		return slots;
	const std::vector<const stream::Chunk*> materials = stream::children_of_type(*list, format::type_material);
	const std::uint32_t count = load_u32(head->body, format::list_count_at);
	std::size_t next = 0;
	// Each slot is -1 for a material of its own (the next Material chunk) or
	// the index of an earlier slot whose material it shares.
	for (std::uint64_t i = 0; i < count; i++) {
		const std::uint64_t at = format::material_slots_at + format::material_slot_size * i;
		if (!fits(head->body.size(), at, format::material_slot_size))
			break;
		const std::uint32_t reference = load_u32(head->body, std::size_t(at));
		if (reference == format::own_material)
			slots.push_back(next < materials.size() ? stream::decode_material(*materials[next++]) : std::nullopt);
		else
			slots.push_back(reference < i ? slots[reference] : std::nullopt);
	}
	return slots;
}

std::uint32_t add_material(Document& doc, const stream::MaterialInfo& material, bool textured,
                           MaterialContext& context)
{
	json pbr{{"baseColorFactor",
	          {srgb_to_linear(material.colour[0]), srgb_to_linear(material.colour[1]),
	           srgb_to_linear(material.colour[2]), material.colour[3] / 255.0}},
	         {"metallicFactor", 0},
	         {"roughnessFactor", 1}};
	std::string alpha_mode = "OPAQUE";
	if (textured && material.texture_count != 0 && material.texture && !material.texture->name.empty()) {
		if (const auto texture = add_texture(doc, *material.texture, context)) {
			pbr["baseColorTexture"] = json{{"index", texture->first}};
			if (texture->second)
				alpha_mode = "BLEND";
		}
	}
	json value{{"pbrMetallicRoughness", pbr}, {"alphaMode", alpha_mode}};
	if (material.texture && !material.texture->name.empty())
		value["name"] = material.texture->name;
	return add_once(doc.materials, doc.material_index, json_text(value), value);
}

} // namespace kestrun::gltf
