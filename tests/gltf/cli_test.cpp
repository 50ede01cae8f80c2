// kestrun-kit gltf through the binary, in a scratch folder: outputs, messages,
// exit codes and the same bytes on a second run.
#include "gltf/glb_reader.h"
#include "samples/samples.h"
#include "support/run_binary.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace kestrun::testing {
namespace {

RunResult run_kit(const ScratchDir& dir, const std::string& args)
{
	std::vector<std::string> list;
	std::istringstream words(args);
	for (std::string w; words >> w;)
		list.push_back(w);
	return run_kestrun_kit(dir.path(), list);
}

void write_samples(const ScratchDir& dir)
{
	for (const samples::SampleFile& f : samples::sample_set(20240601, 3, 1))
		dir.write(f.name, f.container);
}

TEST(GltfCommand, SeveralModelsIntoAFolderTwiceTheSame)
{
	ScratchDir dir;
	write_samples(dir);
	const std::string args = "gltf model00.dff model01.dff model02.dff --txd textures00.txd -o out/";
	const RunResult first = run_kit(dir, args);
	EXPECT_EQ(first.status, 0) << first.err;
	EXPECT_EQ(first.out.find("model00.dff -> out/model00.glb: 10 nodes, 8 meshes, "), 0u) << first.out;
	EXPECT_EQ(dir.list("out"), (std::vector<std::string>{"model00.glb", "model01.glb", "model02.glb"}));
	// Standard error is no terminal here: no progress, only the warnings.
	EXPECT_EQ(first.err.find("gltf: 1/3"), std::string::npos);
	EXPECT_EQ(first.err.find("is in none of the dictionaries"), std::string::npos) << first.err;
	const std::vector<std::uint8_t> glb = dir.read("out/model01.glb");
	const Glb doc = read_glb(glb);
	EXPECT_GT(doc.json["images"].size(), 0u); // textures embedded

	const RunResult second = run_kit(dir, args);
	EXPECT_EQ(second.status, 0);
	EXPECT_EQ(second.out, first.out);
	EXPECT_EQ(dir.read("out/model01.glb"), glb);
}

TEST(GltfCommand, MissingTextureDefaultNameAndFailures)
{
	ScratchDir dir;
	write_samples(dir);
	// No dictionary: every texture is missing, named once, and the export
	// still happens beside the model.
	RunResult r = run_kit(dir, "gltf model02.dff");
	EXPECT_EQ(r.status, 0);
	EXPECT_TRUE(dir.exists("model02.glb"));
	EXPECT_NE(r.err.find("model02.dff: warning: texture '"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("' is in none of the dictionaries given"), std::string::npos) << r.err;

	// A bad model among good ones: reported by name, nothing written for it,
	// the others written, exit 1. A dictionary that is none: the same.
	dir.write("junk.dff", {1, 2, 3, 4, 5});
	std::vector<std::uint8_t> cut = dir.read("model01.dff");
	cut.resize(cut.size() / 2);
	dir.write("cut.dff", cut);
	r = run_kit(dir, "gltf junk.dff model00.dff cut.dff absent.dff --txd junk.dff -o out/");
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(dir.list("out"), std::vector<std::string>{"model00.glb"});
	EXPECT_NE(r.err.find("junk.dff: holds no model"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("junk.dff: holds no texture dictionary"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("cut.dff: damaged container"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("absent.dff: cannot open"), std::string::npos) << r.err;

	// An output naming an input is a usage error, nothing written.
	const std::vector<std::uint8_t> model = dir.read("model00.dff"), textures = dir.read("textures00.txd");
	r = run_kit(dir, "gltf model00.dff --txd textures00.txd -o model00.dff");
	EXPECT_EQ(r.status, 2);
	EXPECT_EQ(r.err, "model00.dff: its output model00.dff is the input model00.dff; nothing written\n");
	EXPECT_EQ(run_kit(dir, "gltf model00.dff --txd textures00.txd -o ./textures00.txd").status, 2);
	EXPECT_EQ(dir.read("model00.dff"), model);
	EXPECT_EQ(dir.read("textures00.txd"), textures);

	// Usage errors: several models into one file, no model.
	EXPECT_EQ(run_kit(dir, "gltf model00.dff model01.dff -o one.glb").status, 2);
	EXPECT_FALSE(dir.exists("one.glb"));
	EXPECT_EQ(run_kit(dir, "gltf").status, 2);
}

// The images a GLB embeds, decoded.
std::vector<texture::Image> embedded_images(const std::vector<std::uint8_t>& glb)
{
	const Glb doc = read_glb(glb);
	std::vector<texture::Image> images;
	for (const auto& image : doc.json["images"]) {
		const auto& view = doc.json["bufferViews"][image["bufferView"].get<std::size_t>()];
		const std::size_t at = view.value("byteOffset", std::size_t(0)), size = view["byteLength"];
		const std::optional<texture::Image> png =
		    texture::decode_png(std::vector<std::uint8_t>(doc.bin.begin() + long(at), doc.bin.begin() + long(at + size)));
		EXPECT_TRUE(png);
		if (png)
			images.push_back(*png);
	}
	return images;
}

TEST(GltfCommand, LeadingChunksDamagedDictionariesAndTheModelsOwnDictionary)
{
	ScratchDir dir;
	using namespace samples;
	// A model led by a UV Animation Dictionary: the Clump after it is exported,
	// from a PC stream and from a console container.
	Model m;
	m.frames.resize(1);
	m.geometries.push_back(one_triangle_geometry());
	dir.write("led-pc.dff", cat({chunk(format::type_uv_animation_dictionary, words({0}), format::pc_stamp),
	                             model_stream(m, Form::generic)}));
	dir.write("led-console.dff",
	          pack_container(cat({chunk(format::type_uv_animation_dictionary, words({0})), model_stream(m, Form::native)})));
	RunResult r = run_kit(dir, "gltf led-pc.dff led-console.dff -o led/");
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(dir.list("led"), (std::vector<std::string>{"led-console.glb", "led-pc.glb"}));
	EXPECT_EQ(read_glb(dir.read("led/led-pc.glb")).json["meshes"].size(), 1u);

	// Counts too large for the geometry's Struct are said as such.
	buffer huge = model_stream(m, Form::generic);
	const buffer geometry = generic_geometry_chunk(m.geometries[0]);
	const auto at = std::search(huge.begin(), huge.end(), geometry.begin(), geometry.end()) - huge.begin();
	store_u32(huge, std::size_t(at) + 24 + format::geometry_triangles_at, 0x10000000);
	dir.write("huge.dff", huge);
	r = run_kit(dir, "gltf huge.dff");
	EXPECT_NE(r.err.find("is shorter than its counts"), std::string::npos) << r.err;
	EXPECT_EQ(r.err.find("no vertex positions"), std::string::npos) << r.err;

	// A texture is taken from the dictionary named as the model first, then
	// in the order given; a damaged dictionary is named, what it holds used.
	write_samples(dir);
	const std::vector<SampleFile> set = sample_set(20240601, 3, 1);
	const SampleFile& dictionary = *std::find_if(set.begin(), set.end(),
	                                             [](const SampleFile& f) { return f.name == "textures00.txd"; });
	std::vector<SampleTexture> twins;
	for (const SampleTexture& t : dictionary.textures)
		twins.push_back(make_sample_texture(t.name, TexelFormat::c8888, Pattern::checker, 2, 2, false));
	dir.write("model00.txd", texture_dictionary(twins, Form::native));
	r = run_kit(dir, "gltf model00.dff --txd textures00.txd --txd model00.txd -o new/dir/own.glb");
	EXPECT_EQ(r.status, 0) << r.err;
	std::vector<texture::Image> images = embedded_images(dir.read("new/dir/own.glb"));
	EXPECT_FALSE(images.empty());
	for (const texture::Image& image : images)
		EXPECT_EQ(image.width * image.height, 4u);
	r = run_kit(dir, "gltf model01.dff --txd textures00.txd --txd model00.txd -o other.glb");
	EXPECT_EQ(r.status, 0) << r.err;
	images = embedded_images(dir.read("other.glb"));
	EXPECT_FALSE(images.empty());
	for (const texture::Image& image : images)
		EXPECT_GT(image.width * image.height, 4u);

	buffer cut = dictionary.stream;
	cut.resize(cut.size() / 2);
	dir.write("cut.txd", cut);
	r = run_kit(dir, "gltf model00.dff --txd cut.txd -o cut.glb");
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(dir.exists("cut.glb"));
	EXPECT_EQ(r.err.rfind("cut.txd: ", 0), 0u) << r.err;
	EXPECT_EQ(dir.read("cut.txd"), cut);

	// A texture name with a terminal escape is printed escaped; results that
	// cannot reach standard output fail the run; -o "" names nothing.
	m.geometries[0].flags |= format::flag_texture_coordinates;
	m.geometries[0].materials[0].texture = "\x1b[31mred";
	dir.write("escape.dff", model_stream(m, Form::generic));
	RunOptions full;
	full.stdout_path = "/dev/full";
	r = run_kestrun_kit(dir.path(), {"gltf", "escape.dff"}, full);
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("[31mred' is in none of the dictionaries"), std::string::npos) << r.err;
	EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
	EXPECT_NE(r.err.find("cannot write standard output"), std::string::npos) << r.err;
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"gltf", "model00.dff", "-o", ""}).status, 2);
	EXPECT_FALSE(dir.exists("model00.glb"));
}

} // namespace
} // namespace kestrun::testing
