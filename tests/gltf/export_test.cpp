// The export of generated models, read back: one small model checked value by
// value, the crate's orientation, and every sample model passed through the
// glTF validator.
#include "gltf/glb_reader.h"
#include "harness.h"
#include "kit/load.h"
#include "gltf/gltf.h"
#include "samples/samples.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <map>

namespace kestrun::gltf {
namespace {

using namespace kestrun::samples;
using testing::accessor_values;
using testing::read_glb;

// Two frames, the second a child of the first, one atomic on the first, one
// strip quad with every vertex section and one textured material.
Model golden_model()
{
	NativeGeometry g;
	g.flags = 0x01 | 0x02 | format::flag_texture_coordinates | format::flag_prelit_colours | format::flag_normals;
	g.bin_mesh_flags = 1;
	g.meshes.push_back({{0, 1, 2, 3}, 0, 0, 0});
	g.materials.push_back({{255, 128, 0, 255}, "golden"});
	const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
	for (const auto& c : corners) {
		NativeVertex v;
		v.position = {c[0], c[1], 0};
		v.normal = pack_normal(0, 0, 1);
		v.colour = {10, 20, 30, 40};
		v.uv = {c[0], c[1]};
		g.vertices.push_back(v);
	}
	g.triangles = triangle_count(g);
	g.sphere = {0.5f, 0.5f, 0, 1};
	Model m;
	m.frames = {Frame{{0, 1, 0, -1, 0, 0, 0, 0, 1, 1, 2, 3}, -1, "root"},
	            Frame{{-1, 0, 0, 0, -1, 0, 0, 0, 1, 0, 0, 5}, 0, "child"}};
	m.geometries = {g};
	return m;
}

TextureLibrary golden_textures()
{
	TextureLibrary library;
	std::string error;
	EXPECT_TRUE(library.add_dictionary(
	    texture_dictionary({make_sample_texture("golden", TexelFormat::c8888, Pattern::alpha_ramp, 4, 4, false)},
	                       Form::native),
	    error))
	    << error;
	return library;
}

std::vector<std::uint8_t> export_file(bytes file, TextureLibrary& library, std::vector<std::string>& warnings)
{
	std::string error;
	kit::LoadedFile loaded;
	EXPECT_TRUE(kit::load_bytes("model", {file.begin(), file.end()}, loaded, error));
	const auto stream = pc_model_stream(std::move(loaded.stream), warnings, error);
	EXPECT_TRUE(stream) << error;
	if (!stream)
		return {};
	const auto result = export_model(*stream, "golden", library, error);
	EXPECT_TRUE(result) << error;
	if (!result)
		return {};
	warnings.insert(warnings.end(), result->warnings.begin(), result->warnings.end());
	return result->glb;
}

void expect_near(const nlohmann::json& got, std::vector<double> want)
{
	ASSERT_EQ(got.size(), want.size()) << got;
	for (std::size_t i = 0; i < want.size(); i++)
		EXPECT_NEAR(got[i].get<double>(), want[i], 1e-6) << got;
}

TEST(Export, GoldenModel)
{
	TextureLibrary library = golden_textures();
	const Model model = golden_model();
	std::vector<std::string> warnings;
	const std::vector<std::uint8_t> glb = export_file(model_stream(model, Form::generic), library, warnings);
	EXPECT_TRUE(warnings.empty()) << warnings.front();
	const testing::Glb doc = read_glb(glb);
	const nlohmann::json& nodes = doc.json["nodes"];
	ASSERT_EQ(nodes.size(), 3u);
	const double h = std::sqrt(0.5);
	expect_near(nodes[0]["rotation"], {-h, 0, 0, h}); // z-up to y-up
	EXPECT_EQ(nodes[0]["children"], nlohmann::json::array({1}));
	EXPECT_EQ(nodes[1]["name"], "root");
	expect_near(nodes[1]["translation"], {1, 2, 3});
	expect_near(nodes[1]["rotation"], {0, 0, h, h});
	expect_near(nodes[1]["scale"], {1, 1, 1});
	EXPECT_EQ(nodes[1]["mesh"], 0);
	EXPECT_EQ(nodes[1]["children"], nlohmann::json::array({2}));
	EXPECT_EQ(nodes[2]["name"], "child");
	expect_near(nodes[2]["translation"], {0, 0, 5});
	expect_near(nodes[2]["rotation"], {0, 0, 1, 0});
	EXPECT_FALSE(nodes[2].contains("mesh"));

	ASSERT_EQ(doc.json["meshes"].size(), 1u);
	const nlohmann::json& primitives = doc.json["meshes"][0]["primitives"];
	ASSERT_EQ(primitives.size(), 1u);
	const nlohmann::json& attributes = primitives[0]["attributes"];
	for (const char* name : {"POSITION", "NORMAL", "TEXCOORD_0", "COLOR_0"})
		EXPECT_EQ(doc.json["accessors"][attributes[name].get<std::size_t>()]["count"], 4) << name;
	const nlohmann::json& position = doc.json["accessors"][attributes["POSITION"].get<std::size_t>()];
	expect_near(position["min"], {0, 0, 0});
	expect_near(position["max"], {1, 1, 0});
	const std::size_t indices = primitives[0]["indices"];
	EXPECT_EQ(doc.json["accessors"][indices]["componentType"], 5123);
	EXPECT_EQ(accessor_values(doc, indices), (std::vector<double>{0, 1, 2, 1, 3, 2})); // the strip, unrolled
	// Prelit sRGB bytes (30, 20, 10, 40) become linear, alpha as it is, as
	// normalised u16.
	const nlohmann::json& colour = doc.json["accessors"][attributes["COLOR_0"].get<std::size_t>()];
	EXPECT_EQ(colour["componentType"], 5123);
	EXPECT_EQ(colour["normalized"], true);
	const std::vector<double> rgba = accessor_values(doc, attributes["COLOR_0"]);
	ASSERT_EQ(rgba.size(), 16u);
	for (std::size_t i = 0; i < 16; i += 4) {
		EXPECT_NEAR(rgba[i] / 65535, 0.01298, 1e-4);     // sRGB 30
		EXPECT_NEAR(rgba[i + 1] / 65535, 0.00699, 1e-4); // sRGB 20
		EXPECT_NEAR(rgba[i + 2] / 65535, 0.00304, 1e-4); // sRGB 10
		EXPECT_EQ(rgba[i + 3], 40 * 257);
	}
	const std::vector<double> normals = accessor_values(doc, attributes["NORMAL"]);
	for (std::size_t i = 0; i < normals.size(); i += 3)
		EXPECT_NEAR(normals[i + 2], 1, 1e-7);

	const nlohmann::json& material = doc.json["materials"][primitives[0]["material"].get<std::size_t>()];
	expect_near(material["pbrMetallicRoughness"]["baseColorFactor"], {1, srgb_to_linear(128), 0, 1});
	EXPECT_EQ(material["pbrMetallicRoughness"]["metallicFactor"], 0);
	EXPECT_EQ(material["pbrMetallicRoughness"]["roughnessFactor"], 1);
	EXPECT_EQ(material["alphaMode"], "BLEND"); // the texture has alpha
	const nlohmann::json& texture = doc.json["textures"][material["pbrMetallicRoughness"]["baseColorTexture"]["index"].get<std::size_t>()];
	// The material's filter word 0x1106: linear between mip levels, wrap.
	EXPECT_EQ(doc.json["samplers"][texture["sampler"].get<std::size_t>()],
	          (nlohmann::json{{"magFilter", 9729}, {"minFilter", 9987}, {"wrapS", 10497}, {"wrapT", 10497}}));
	const nlohmann::json& image = doc.json["images"][texture["source"].get<std::size_t>()];
	EXPECT_EQ(image["mimeType"], "image/png");
	const std::size_t png_at = doc.json["bufferViews"][image["bufferView"].get<std::size_t>()]["byteOffset"];
	EXPECT_EQ(doc.bin.at(png_at + 1), 'P');

	// The console stream and its container give the same bytes: both are
	// converted in memory first.
	const buffer console = model_stream(model, Form::native);
	EXPECT_EQ(export_file(console, library, warnings), glb);
	EXPECT_EQ(export_file(pack_container(console), library, warnings), glb);

	testing::ScratchDir dir;
	dir.write("golden.glb", glb);
	EXPECT_VALID_GLTF(std::vector<std::filesystem::path>{dir.path() / "golden.glb"});
}

TEST(Export, EverySampleValidates)
{
	// The set's first two models hold every vertex-flag combination as lists
	// and as strips, so geometries without normals, colours or texture
	// coordinates are among them.
	// The dictionaries as the console has them and as converted for PC give
	// the same exports: the conversion is lossless.
	const std::vector<SampleFile> set = sample_set(20240601, 12, 3);
	TextureLibrary library, pc_library;
	for (const SampleFile& f : set) {
		std::string error;
		if (!f.textures.empty()) {
			ASSERT_TRUE(library.add_dictionary(f.stream, error)) << error;
			ASSERT_TRUE(pc_library.add_dictionary(f.pc, error)) << error;
		}
	}
	testing::ScratchDir dir;
	std::vector<std::filesystem::path> files;
	for (const SampleFile& f : set) {
		if (!f.textures.empty())
			continue;
		std::vector<std::string> warnings;
		const std::vector<std::uint8_t> glb = export_file(f.container, library, warnings);
		for (const std::string& w : warnings) // only what the samples really lack
			EXPECT_NE(w.find("no texture coordinates"), std::string::npos) << f.name << ": " << w;
		std::vector<std::string> ignored;
		EXPECT_EQ(export_file(f.container, pc_library, ignored), glb) << f.name;
		dir.write(f.name + ".glb", glb);
		files.push_back(dir.path() / (f.name + ".glb"));
	}
	EXPECT_VALID_GLTF(files);
}

using vec3 = std::array<double, 3>;

vec3 cross(const vec3& a, const vec3& b)
{
	return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const vec3& a, const vec3& b)
{
	return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// `v` turned by the node rotation `q` (x, y, z, w).
vec3 rotated(const nlohmann::json& q, const vec3& v)
{
	const vec3 axis{q[0].get<double>(), q[1].get<double>(), q[2].get<double>()};
	const double w = q[3];
	const vec3 t = cross(axis, v), u = cross(axis, t);
	return {v[0] + 2 * (w * t[0] + u[0]), v[1] + 2 * (w * t[1] + u[1]), v[2] + 2 * (w * t[2] + u[2])};
}

// What a viewer of the GLB must see: each face outward along glTF's axes (y up,
// the front towards +z), its image upright seen from outside, (0, 0) the
// image's top-left corner; the wheel on its own node; every normal outward and
// every triangle counter-clockwise from the side its normals face.
TEST(Export, CrateFacesPointOutwardWithTheirImagesUpright)
{
	TextureLibrary library;
	std::string error;
	ASSERT_TRUE(library.add_dictionary(texture_dictionary(crate_textures(), Form::native), error)) << error;
	std::vector<std::string> warnings;
	const buffer file = pack_container(model_stream(crate_model(), Form::native));
	const testing::Glb doc = read_glb(export_file(file, library, warnings));
	EXPECT_TRUE(warnings.empty()) << warnings.front();
	const nlohmann::json& nodes = doc.json["nodes"];
	ASSERT_EQ(nodes.size(), 3u);
	EXPECT_EQ(nodes[1]["name"], "crate");
	expect_near(nodes[1]["translation"], {0, 0, 0});
	expect_near(nodes[1]["rotation"], {0, 0, 0, 1});
	EXPECT_EQ(nodes[2]["name"], "wheel");
	expect_near(nodes[2]["translation"], {1.15, -0.5, -0.75});
	expect_near(nodes[2]["rotation"], {0.5, 0.5, 0.5, 0.5}); // its axis along the crate's x
	EXPECT_EQ(doc.json["textures"].size(), 6u);

	struct View {
		vec3 normal, up;
	};
	const std::map<std::string, View> views = {
	    {"crate_top", {{0, 1, 0}, {0, 0, -1}}},    {"crate_bottom", {{0, -1, 0}, {0, 0, 1}}},
	    {"crate_front", {{0, 0, 1}, {0, 1, 0}}},   {"crate_back", {{0, 0, -1}, {0, 1, 0}}},
	    {"crate_right", {{1, 0, 0}, {0, 1, 0}}},   {"crate_left", {{-1, 0, 0}, {0, 1, 0}}},
	};
	std::size_t faces = 0, triangles = 0;
	for (std::size_t node : {1, 2}) {
		for (const nlohmann::json& primitive : doc.json["meshes"][nodes[node]["mesh"].get<std::size_t>()]["primitives"]) {
			const nlohmann::json& attributes = primitive["attributes"];
			const std::vector<double> p = accessor_values(doc, attributes["POSITION"]);
			const std::vector<double> n = accessor_values(doc, attributes["NORMAL"]);
			const std::vector<double> ix = accessor_values(doc, primitive["indices"]);
			const auto at = [](const std::vector<double>& v, double i) {
				const std::size_t k = 3 * std::size_t(i);
				return vec3{v[k], v[k + 1], v[k + 2]};
			};
			for (std::size_t t = 0; t + 2 < ix.size(); t += 3, triangles++) {
				const vec3 a = at(p, ix[t]), b = at(p, ix[t + 1]), c = at(p, ix[t + 2]);
				const vec3 face = cross({b[0] - a[0], b[1] - a[1], b[2] - a[2]}, {c[0] - a[0], c[1] - a[1], c[2] - a[2]});
				// Both shapes are centred on their node's origin, and seen from it
				// every vertex normal points away.
				for (std::size_t k = 0; k < 3; k++) {
					EXPECT_GT(dot(face, at(n, ix[t + k])), 0) << "mesh of node " << node << ", triangle " << t / 3;
					EXPECT_GT(dot(at(p, ix[t + k]), at(n, ix[t + k])), 0) << "mesh of node " << node << ", triangle " << t / 3;
				}
			}
			if (node != 1)
				continue;
			const std::string name = doc.json["materials"][primitive["material"].get<std::size_t>()]["name"];
			ASSERT_EQ(views.count(name), 1u) << name;
			const View& view = views.at(name);
			const vec3 right = cross(view.up, view.normal);
			const std::vector<double> uv = accessor_values(doc, attributes["TEXCOORD_0"]);
			faces++;
			for (double i : ix) {
				const vec3 position = rotated(nodes[0]["rotation"], at(p, i)), normal = rotated(nodes[0]["rotation"], at(n, i));
				EXPECT_NEAR(dot(position, view.normal), 1, 1e-6) << name; // the crate's outermost in that direction
				EXPECT_NEAR(dot(normal, view.normal), 1, 1e-6) << name;
				// The top-left corner seen from outside is (0, 0), the bottom-right (1, 1).
				EXPECT_NEAR(uv[2 * std::size_t(i)], (dot(position, right) + 1) / 2, 1e-6) << name;
				EXPECT_NEAR(uv[2 * std::size_t(i) + 1], (1 - dot(position, view.up)) / 2, 1e-6) << name;
			}
		}
	}
	EXPECT_EQ(faces, 6u);
	EXPECT_GT(triangles, 12u);
}

TEST(Export, DamagedPartsAreLeftOutAndTheRestStillValidates)
{
	Model model = golden_model();
	model.frames[1].parent = 7;               // no such frame
	model.frames[0].matrix[0] = NAN;          // not finite
	model.geometries[0].vertices[3].normal = 0; // a zero normal
	model.geometries[0].materials[0].texture = "absent";
	model.geometries.push_back(model.geometries[0]);
	model.geometries[1].stamp = 0x1003FFFF;   // left native by the converter
	TextureLibrary library = golden_textures();
	std::vector<std::string> warnings;
	const std::vector<std::uint8_t> glb = export_file(model_stream(model, Form::native), library, warnings);
	std::string all;
	for (const std::string& w : warnings)
		all += w + "\n";
	for (const char* expected : {"frame 1: its parent 7 is not an earlier frame", "frame 0: its matrix holds values",
	                             "zero normal", "texture 'absent' is in none of the dictionaries",
	                             "geometry 1: console geometry that was not converted"})
		EXPECT_NE(all.find(expected), std::string::npos) << expected << " not in\n" << all;
	const testing::Glb doc = read_glb(glb);
	EXPECT_EQ(doc.json["meshes"].size(), 1u);
	EXPECT_FALSE(doc.json.contains("textures"));
	// The zero normal takes the quad's own normal.
	const std::vector<double> normals = accessor_values(doc, doc.json["meshes"][0]["primitives"][0]["attributes"]["NORMAL"]);
	EXPECT_NEAR(normals.at(11), 1, 1e-6);

	testing::ScratchDir dir;
	dir.write("damaged.glb", glb);
	EXPECT_VALID_GLTF(std::vector<std::filesystem::path>{dir.path() / "damaged.glb"});
}

// A stream cut short inside its Clump fails whole, however much of it still
// parses; parts lost inside a whole Clump are named. A part exported without
// a word would pass for the model.
TEST(Export, CutOffStreamFailsAndSwallowedPartsAreNamed)
{
	const buffer stream = model_stream(golden_model(), Form::generic);
	TextureLibrary library = golden_textures();
	std::string error;
	ASSERT_TRUE(export_model(stream, "golden", library, error)) << error;
	for (const std::size_t cut : {stream.size() - 1, stream.size() / 2, std::size_t(40)}) {
		error.clear();
		EXPECT_FALSE(export_model(bytes(stream).first(cut), "golden", library, error)) << cut;
		EXPECT_EQ(error.find("cut off: the stream ends " + std::to_string(stream.size() - cut) + " bytes before"), 0u)
		    << error;
	}

	// An Atomic whose size runs past its Clump swallows what follows it:
	// exported, but not without a word.
	Model model = golden_model();
	model.geometries.push_back(model.geometries[0]);
	buffer two = model_stream(model, Form::generic);
	const stream::Tree tree = stream::parse_tree(two);
	ASSERT_EQ(stream::children_of_type(tree.top.at(0), format::type_atomic).size(), 2u);
	const std::uint64_t first = stream::children_of_type(tree.top.at(0), format::type_atomic)[0]->offset;
	store_u32(two, std::size_t(first + 4), std::uint32_t(two.size() - first));
	std::vector<std::string> warnings;
	const std::vector<std::uint8_t> glb = export_file(two, library, warnings);
	std::string all;
	for (const std::string& w : warnings)
		all += w + "\n";
	EXPECT_NE(all.find("its Struct counts 2 atomics, the stream holds 1"), std::string::npos) << all;
	EXPECT_NE(all.find("the Atomic at offset " + std::to_string(first) + " runs past"), std::string::npos)
	    << all;
	EXPECT_EQ(read_glb(glb).json["meshes"].size(), 1u);

	// A Bin Mesh counting more meshes than its body holds.
	buffer counted = stream;
	const stream::Tree golden = stream::parse_tree(counted);
	const stream::Chunk& geometry = *stream::find_child(*stream::find_child(golden.top.at(0), format::type_geometry_list),
	                                                    format::type_geometry);
	const std::uint64_t bin_mesh = stream::find_child(*stream::find_child(geometry, format::type_extension),
	                                                  format::type_bin_mesh)->offset;
	store_u32(counted, std::size_t(bin_mesh + 12 + 4), 2);
	warnings.clear();
	export_file(counted, library, warnings);
	ASSERT_EQ(warnings.size(), 1u);
	EXPECT_EQ(warnings[0], "geometry 0: its Bin Mesh ends before the last of the meshes it counts; their triangles are missing");
}

// Every saved input of the export's fuzz harness, findings included: what it
// writes passes the validator.
TEST(Export, FuzzCorpusExportsValidate)
{
	testing::ScratchDir dir;
	std::vector<std::filesystem::path> files;
	for (const auto& entry : std::filesystem::directory_iterator(std::string(KESTRUN_SOURCE_DIR) + "/fuzz/corpus/gltf")) {
		std::ifstream in(entry.path(), std::ios::binary);
		const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		const std::vector<std::uint8_t> glb = fuzz::gltf_export(data.data(), data.size());
		if (glb.empty())
			continue;
		const std::string name = entry.path().filename().string() + ".glb";
		dir.write(name, glb);
		files.push_back(dir.path() / name);
	}
	ASSERT_FALSE(files.empty());
	EXPECT_VALID_GLTF(files);
}

} // namespace
} // namespace kestrun::gltf
