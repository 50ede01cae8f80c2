// kestrun-kit gltf through the binary, in a scratch folder: outputs, messages,
// exit codes and the same bytes on a second run.
#include "gltf/glb_reader.h"
#include "samples/samples.h"
#include "support/run_binary.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace kestrun::testing
