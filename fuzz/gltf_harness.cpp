// The glTF export on any bytes: never a crash, and every GLB it writes keeps
// the promises a glTF validator checks that our data could break: a sound
// container, JSON that parses, views inside the buffer, indices below the
// vertex count, finite floats, unit normals, exact position bounds, a node
// tree. The replayed corpus also goes through the real validator
// (tests/gltf/export_test.cpp).
#include "harness.h"

#include "gltf/gltf.h"
#include "kit/load.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace kestrun::fuzz {

namespace {

using json = nlohmann::json;

struct Values {
	std::vector<double> v;
	std::size_t width = 1;
};

Values read_accessor(const json& doc, bytes bin, std::size_t index)
{
	require(index < doc.at("accessors").size(), "accessor index out of range");
	const json& accessor = doc.at("accessors").at(index);
	const json& view = doc.at("bufferViews").at(accessor.at("bufferView").get<std::size_t>());
	const std::string type = accessor.at("type");
	Values out;
	out.width = type == "SCALAR" ? 1 : type == "VEC2" ? 2 : type == "VEC3" ? 3 : 4;
	const std::uint32_t component = accessor.at("componentType");
	const std::size_t size = component == 5121 ? 1 : component == 5123 ? 2 : 4;
	const std::uint64_t count = accessor.at("count").get<std::uint64_t>();
	require(count > 0, "empty accessor");
	const std::uint64_t offset = view.at("byteOffset"), length = view.at("byteLength");
	require(offset % 4 == 0, "view not aligned");
	require(fits(bin.size(), offset, length) && length == count * out.width * size, "view and accessor disagree");
	for (std::uint64_t i = 0; i < count * out.width; i++) {
		const std::size_t at = std::size_t(offset + i * size);
		out.v.push_back(component == 5121 ? bin[at]
		                : component == 5123 ? load_u16(bin, at)
		                : component == 5125 ? double(load_u32(bin, at))
		                                    : double(load_f32(bin, at)));
	}
	return out;
}

void check_primitive(const json& doc, bytes bin, const json& primitive)
{
	const json& attributes = primitive.at("attributes");
	const Values positions = read_accessor(doc, bin, attributes.at("POSITION"));
	const std::size_t vertices = positions.v.size() / 3;
	const json& accessor = doc.at("accessors").at(attributes.at("POSITION").get<std::size_t>());
	for (std::size_t d = 0; d < 3; d++) {
		double low = positions.v[d], high = positions.v[d];
		for (std::size_t i = 0; i < vertices; i++) {
			low = std::min(low, positions.v[3 * i + d]);
			high = std::max(high, positions.v[3 * i + d]);
		}
		require(accessor.at("min").at(d) == low && accessor.at("max").at(d) == high, "position bounds inexact");
	}
	for (const auto& [name, index] : attributes.items()) {
		const Values values = read_accessor(doc, bin, index);
		require(values.v.size() / values.width == vertices, "attribute counts differ");
		for (double v : values.v)
			require(std::isfinite(v), "a float that is not finite");
		if (name == "NORMAL")
			for (std::size_t i = 0; i < vertices; i++) {
				const double* n = &values.v[3 * i];
				require(std::fabs(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) - 1) < 1e-5, "normal not unit");
			}
	}
	const Values indices = read_accessor(doc, bin, primitive.at("indices"));
	require(indices.v.size() % 3 == 0, "an incomplete triangle");
	for (double i : indices.v)
		require(i < double(vertices), "index past the vertices");
	if (primitive.contains("material"))
		require(primitive.at("material").get<std::size_t>() < doc.at("materials").size(), "material out of range");
}

void check_nodes(const json& doc)
{
	const json& nodes = doc.at("nodes");
	std::vector<int> parents(nodes.size(), 0);
	for (std::size_t n = 0; n < nodes.size(); n++) {
		for (const json& child : nodes.at(n).value("children", json::array())) {
			const std::size_t c = child;
			// Children come after their parents, so there is no cycle.
			require(c < nodes.size() && c > n && ++parents[c] == 1, "not a tree");
		}
		for (const char* key : {"translation", "rotation", "scale"})
			for (const json& v : nodes.at(n).value(key, json::array()))
				require(v.is_number() && std::isfinite(v.get<double>()), "transform not finite");
		if (nodes.at(n).contains("rotation")) {
			double sum = 0;
			for (const json& v : nodes.at(n).at("rotation"))
				sum += v.get<double>() * v.get<double>();
			require(std::fabs(std::sqrt(sum) - 1) < 1e-6, "rotation not unit");
		}
		if (nodes.at(n).contains("mesh"))
			require(nodes.at(n).at("mesh").get<std::size_t>() < doc.at("meshes").size(), "mesh out of range");
	}
}

void check_glb(const std::vector<std::uint8_t>& glb)
{
	require(glb.size() >= 20 && glb.size() % 4 == 0 && load_u32(glb, 8) == glb.size(), "GLB length");
	const std::uint32_t json_length = load_u32(glb, 12);
	require(fits(glb.size(), 20, json_length), "JSON chunk past the end");
	const json doc = json::parse(glb.begin() + 20, glb.begin() + 20 + json_length, nullptr, false);
	require(!doc.is_discarded(), "JSON does not parse");
	bytes bin;
	if (fits(glb.size(), 20 + std::uint64_t(json_length), 8)) {
		const std::size_t at = 20 + json_length;
		bin = bytes(glb).subspan(at + 8);
		require(doc.at("buffers").at(0).at("byteLength").get<std::uint64_t>() <= bin.size(), "buffer past the BIN chunk");
	}
	check_nodes(doc);
	for (const json& mesh : doc.value("meshes", json::array())) {
		require(!mesh.at("primitives").empty(), "a mesh without primitives");
		for (const json& primitive : mesh.at("primitives"))
			check_primitive(doc, bin, primitive);
	}
}

} // namespace

std::vector<std::uint8_t> gltf_export(const std::uint8_t* data, std::size_t size)
{
	// The bytes as a file, container or stream, as the command loads it.
	kit::LoadedFile loaded;
	std::string error;
	if (!kit::load_bytes("fuzz", bytes(data, size), loaded, error))
		return {};
	gltf::TextureLibrary textures;
	textures.add_dictionary(loaded.stream, error);
	std::vector<std::string> warnings;
	error.clear();
	const auto stream = gltf::pc_model_stream(std::move(loaded.stream), warnings, error);
	if (!stream) {
		require(!error.empty(), "a model refused without a reason");
		return {};
	}
	const auto result = gltf::export_model(*stream, "fuzz", textures, error);
	if (!result) {
		require(!error.empty(), "an export refused without a reason");
		return {};
	}
	return result->glb;
}

int gltf_entry(const std::uint8_t* data, std::size_t size)
{
	const std::vector<std::uint8_t> glb = gltf_export(data, size);
	if (!glb.empty())
		check_glb(glb);
	return 0;
}

} // namespace kestrun::fuzz
