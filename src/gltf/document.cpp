#include "gltf/document.h"

namespace kestrun::gltf {

std::uint32_t Document::add_view(bytes data, std::uint32_t target)
{
	bin.resize((bin.size() + 3) / 4 * 4, 0);
	json view{{"buffer", 0}, {"byteOffset", bin.size()}, {"byteLength", data.size()}};
	if (target != 0)
		view["target"] = target;
	bin.insert(bin.end(), data.begin(), data.end());
	buffer_views.push_back(std::move(view));
	return std::uint32_t(buffer_views.size() - 1);
}

std::uint32_t Document::add_accessor(json accessor)
{
	accessors.push_back(std::move(accessor));
	return std::uint32_t(accessors.size() - 1);
}

std::string Document::text() const
{
	// The asset says nothing that changes from run to run (no version, no
	// date), so the same input gives the same bytes.
	json doc{{"asset", {{"version", "2.0"}, {"generator", "kestrun-kit"}}},
	         {"scene", 0},
	         {"scenes", json::array({json{{"nodes", {0}}}})},
	         {"nodes", nodes}};
	const std::pair<const char*, const json*> arrays[] = {
	    {"meshes", &meshes},     {"accessors", &accessors}, {"bufferViews", &buffer_views},
	    {"materials", &materials}, {"textures", &textures},  {"images", &images},
	    {"samplers", &samplers}};
	for (const auto& [key, array] : arrays)
		if (!array->empty())
			doc[key] = *array;
	if (!bin.empty())
		doc["buffers"] = json::array({json{{"byteLength", bin.size()}}});
	return json_text(doc);
}

} // namespace kestrun::gltf
