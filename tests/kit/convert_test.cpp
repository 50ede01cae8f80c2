// kestrun-kit convert, and folders given to the other commands, through the
// real binary in scratch folders: what is taken, what is written and not
// written, in which order, and that it equals the three-command route.
#include "samples/samples.h"
#include "support/run_binary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace kestrun;
using namespace kestrun::samples;
using namespace kestrun::testing;
namespace fs = std::filesystem;

namespace {

const std::vector<SampleFile>& samples()
{
	static const std::vector<SampleFile> set = sample_set(11, 4, 2);
	return set;
}

void put(const ScratchDir& dir, const std::string& name, const buffer& data)
{
	fs::create_directories((dir.path() / name).parent_path());
	dir.write(name, data);
}

// Every regular file below `folder` of `dir`, by relative path, with its bytes.
std::map<std::string, buffer> tree_of(const ScratchDir& dir, const std::string& folder)
{
	std::map<std::string, buffer> files;
	const fs::path root = dir.path() / folder;
	for (const auto& e : fs::recursive_directory_iterator(root))
		if (e.is_regular_file())
			files[e.path().lexically_relative(root).generic_string()] = dir.read(folder + "/" + e.path().lexically_relative(root).generic_string());
	return files;
}

std::string without_time(const std::string& out)
{
	return std::regex_replace(out, std::regex(", in [0-9.]+ s\n$"), "\n");
}

// A console model whose one geometry counts two morph targets: kestrun
// converts it with a loss and reports it.
buffer unfit_model()
{
	Model m;
	m.frames.resize(1);
	m.geometries.push_back(one_triangle_geometry());
	m.geometries[0].morph_targets = 2;
	return pack_container(model_stream(m, Form::native));
}

// The samples as a tree of mixed-case names, with files and a link that
// must not be taken.
void make_tree(const ScratchDir& dir)
{
	const auto& s = samples();
	put(dir, "in/Cars/Fast/CAR.DFF", s[0].container);
	put(dir, "in/cars/b.Dff", s[1].container);
	put(dir, "in/a.dff", s[2].stream); // an inflated stream
	put(dir, "in/.hidden.dff", s[3].container);
	put(dir, "in/Cars/t.TXD", s[4].container);
	put(dir, "in/z/t.txd", s[5].stream);
	put(dir, "in/readme.txt", {1, 2, 3});
	put(dir, "in/x.dffx", s[0].container);
	put(dir, "elsewhere/linked.dff", s[0].container);
	fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "in/link");
}

TEST(KitConvert, TakesTheTreeInOrderAndWritesWhatTheThreeCommandsWrite)
{
	if (testing_windows_binary())
		GTEST_SKIP() << "the tree holds folders equal but for case, and POSIX links: no Windows folder holds both";
	ScratchDir dir;
	make_tree(dir);
	const auto r = run_kestrun_kit(dir.path(), {"convert", "-j", "1", "in"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(without_time(r.out),
	          "in/.hidden.dff -> pc/.hidden.dff: model converted, " + std::to_string(tree_of(dir, "pc")[".hidden.dff"].size()) +
	              " bytes\n"
	              "in/a.dff -> pc/a.dff: model converted, " + std::to_string(tree_of(dir, "pc")["a.dff"].size()) + " bytes\n"
	              "in/cars/b.Dff -> pc/cars/b.Dff: model converted, " + std::to_string(tree_of(dir, "pc")["cars/b.Dff"].size()) +
	              " bytes\n"
	              "in/Cars/Fast/CAR.DFF -> pc/Cars/Fast/CAR.DFF: model converted, " +
	              std::to_string(tree_of(dir, "pc")["Cars/Fast/CAR.DFF"].size()) + " bytes\n"
	              "in/Cars/t.TXD -> pc/Cars/t.TXD: dictionary converted, " + std::to_string(samples()[4].textures.size()) +
	              " textures, " + std::to_string(samples()[4].pc.size()) + " bytes\n"
	              "in/z/t.txd -> pc/z/t.txd: dictionary converted, " + std::to_string(samples()[5].textures.size()) +
	              " textures, " + std::to_string(samples()[5].pc.size()) + " bytes\n"
	              "converted 4 models and 2 dictionaries, 0 failed\n");

	// The three-command route over the same containers, flat.
	const auto& s = samples();
	for (std::size_t i = 0; i < 6; i++)
		put(dir, "flat/f" + std::to_string(i) + (i < 4 ? ".dff" : ".txd"), s[i].container);
	ASSERT_EQ(run_kestrun(dir.path() / "flat", {"*"}).status, 0);
	ASSERT_EQ(run_kestrun_kit(dir.path() / "flat/output", {"fix", "f0.dff", "f1.dff", "f2.dff", "f3.dff"}).status, 0);
	ASSERT_EQ(run_kestrun_kit(dir.path() / "flat/output", {"txd", "f4.txd", "f5.txd"}).status, 0);
	const auto pc = tree_of(dir, "pc");
	const std::vector<std::string> order = {"Cars/Fast/CAR.DFF", "cars/b.Dff", "a.dff", ".hidden.dff", "Cars/t.TXD", "z/t.txd"};
	ASSERT_EQ(pc.size(), order.size());
	for (std::size_t i = 0; i < order.size(); i++)
		EXPECT_EQ(pc.at(order[i]), dir.read("flat/output/f" + std::to_string(i) + (i < 4 ? ".dff" : ".txd"))) << order[i];

	// Any number of workers: the same lines and the same bytes.
	for (const char* jobs : {"2", "7"}) {
		const auto again = run_kestrun_kit(dir.path(), {"convert", "-j", jobs, "-o", std::string("pc") + jobs, "in"});
		EXPECT_EQ(again.status, 0) << again.err;
		EXPECT_EQ(std::regex_replace(without_time(again.out), std::regex(std::string("pc") + jobs + "/"), "pc/"),
		          without_time(r.out));
		EXPECT_EQ(tree_of(dir, std::string("pc") + jobs), pc);
	}
}

TEST(KitConvert, ReportsFailedFilesAndWritesNothingForThem)
{
	ScratchDir dir;
	const auto& s = samples();
	buffer damaged = s[0].container;
	damaged.resize(damaged.size() / 2);
	buffer bad_dictionary = s[4].stream;
	store_u32(bad_dictionary, 28 + 24 + 88, load_u32(bad_dictionary, 28 + 24 + 88) + 1);
	put(dir, "in/a.dff", damaged);
	put(dir, "in/b.dff", unfit_model());
	put(dir, "in/c.txd", bad_dictionary);
	put(dir, "in/d.dff", s[1].container);
	const auto r = run_kestrun_kit(dir.path(), {"convert", "in", "missing.dff"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err.rfind("in/a.dff: damaged container: block 0 at offset 12: ", 0), 0u) << r.err;
	EXPECT_NE(r.err.find("\nin/b.dff: geometry at stream offset "), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("morph target count 2 converted as 1; nothing written\n"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("\nin/c.txd: texture "), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("\nmissing.dff: cannot open"), std::string::npos) << r.err;
	EXPECT_EQ(without_time(r.out.substr(r.out.find('\n') + 1)), "converted 1 model and 0 dictionaries, 4 failed\n");
	EXPECT_EQ(dir.list("pc"), std::vector<std::string>{"d.dff"});
}

TEST(KitConvert, NeverTakesItsOwnOutputsNorWritesOverAnInput)
{
	ScratchDir dir;
	const auto& s = samples();
	put(dir, "in/a.dff", s[0].container);
	put(dir, "in/b/c.txd", s[4].container);
	// The output folder inside the input: the second run takes the same two.
	const auto first = run_kestrun_kit(dir.path(), {"convert", "-o", "in/pc", "in"});
	ASSERT_EQ(first.status, 0) << first.err;
	const auto written = tree_of(dir, "in/pc");
	const auto second = run_kestrun_kit(dir.path(), {"convert", "-o", "in/pc", "in"});
	EXPECT_EQ(second.status, 0) << second.err;
	EXPECT_EQ(without_time(second.out), without_time(first.out));
	EXPECT_EQ(tree_of(dir, "in/pc"), written);

	// Two inputs, one output; an output that is its input: nothing written.
	put(dir, "x/a.dff", s[1].container);
	const auto clash = run_kestrun_kit(dir.path(), {"convert", "-o", "out", "in/a.dff", "x/a.dff"});
	EXPECT_EQ(clash.status, 2);
	EXPECT_EQ(clash.err, "x/a.dff: its output out/a.dff is also the output of in/a.dff; nothing written\n");
	EXPECT_FALSE(dir.exists("out"));
	const auto over = run_kestrun_kit(dir.path(), {"convert", "-o", "x", "x/a.dff"});
	EXPECT_EQ(over.status, 2);
	EXPECT_EQ(over.err, "x/a.dff: its output x/a.dff is the input x/a.dff; nothing written\n");
	EXPECT_EQ(dir.read("x/a.dff"), s[1].container);
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"convert", "-o", "", "in"}).status, 2);
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"convert", "-j", "0", "in"}).status, 2);
}

// The crate's faces in another pattern: a dictionary that holds the same
// names as crate.txd with other images.
buffer other_crate_dictionary()
{
	std::vector<SampleTexture> faces;
	for (const SampleTexture& t : crate_textures())
		faces.push_back(make_sample_texture(t.name, TexelFormat::c8888, Pattern::checker, 8, 8, false));
	return pack_container(texture_dictionary(faces, Form::native));
}

TEST(KitConvert, ExtrasEqualPngAndGltfRunOverTheConvertedFolder)
{
	ScratchDir dir;
	const auto& s = samples();
	put(dir, "in/a/x.txd", pack_container(texture_dictionary(crate_textures(), Form::native)));
	put(dir, "in/b/m.dff", pack_container(model_stream(crate_model(), Form::native)));
	put(dir, "in/b/t.txd", s[4].container);
	put(dir, "in/b/y.txd", other_crate_dictionary()); // b/m's faces: its folder before a/x.txd
	put(dir, "in/c/car.dff", s[0].container);
	put(dir, "in/t.txd", s[5].container);
	put(dir, "extra/t", s[4].container); // a dictionary by its first chunk; its PNG folder is t~2
	const auto r = run_kestrun_kit(dir.path(), {"convert", "-j", "1", "--png", "png", "--gltf", "glb", "in", "extra/t"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("\nin/b/m.dff -> glb/b/m.glb: "), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("\nextra/t: "), std::string::npos) << r.out;

	// png per folder and gltf per model over the PC files, the model's folder first.
	const std::vector<std::vector<std::string>> png_runs = {{"png", "-o", "sep/png/a", "pc/a/x.txd"},
	                                                        {"png", "-o", "sep/png/b", "pc/b/t.txd", "pc/b/y.txd"},
	                                                        {"png", "-o", "sep/png", "pc/t.txd", "pc/t"}};
	for (const auto& args : png_runs)
		ASSERT_EQ(run_kestrun_kit(dir.path(), args).status, 0);
	const std::vector<std::string> dictionaries = {"pc/b/t.txd", "pc/b/y.txd", "pc/a/x.txd", "pc/t.txd", "pc/t"};
	for (const char* model : {"b/m", "c/car"}) {
		std::vector<std::string> args = {"gltf", std::string("pc/") + model + ".dff", "-o", std::string("sep/glb/") + model + ".glb"};
		for (const std::string& d : dictionaries)
			args.insert(args.end(), {"--txd", d});
		ASSERT_EQ(run_kestrun_kit(dir.path(), args).status, 0);
	}
	const auto pngs = tree_of(dir, "png");
	EXPECT_EQ(pngs, tree_of(dir, "sep/png"));
	EXPECT_TRUE(pngs.count("t~2/" + s[4].textures[0].name + ".png")) << pngs.begin()->first;
	EXPECT_EQ(tree_of(dir, "glb"), tree_of(dir, "sep/glb"));
	EXPECT_EQ(tree_of(dir, "glb").size(), 2u);

	// Two workers: the same lines and the same bytes.
	const auto two = run_kestrun_kit(dir.path(), {"convert", "-j", "2", "-o", "pc2", "--png", "png2", "--gltf", "glb2", "in", "extra/t"});
	EXPECT_EQ(two.status, 0) << two.err;
	EXPECT_EQ(std::regex_replace(without_time(two.out), std::regex("(pc|png|glb)2/"), "$1/"), without_time(r.out));
	EXPECT_EQ(tree_of(dir, "png2"), pngs);
	EXPECT_EQ(tree_of(dir, "glb2"), tree_of(dir, "glb"));

	// An extra that cannot be written fails the run; the PC files stand.
	dir.write("blocked", {1});
	const auto blocked = run_kestrun_kit(dir.path(), {"convert", "-o", "pc3", "--png", "blocked", "in/t.txd"});
	EXPECT_EQ(blocked.status, 1);
	EXPECT_EQ(blocked.err.rfind("in/t.txd: cannot create blocked/t: ", 0), 0u) << blocked.err;
	EXPECT_EQ(dir.list("pc3"), std::vector<std::string>{"t.txd"});
}

TEST(KitFolders, EveryCommandTakesFolders)
{
	ScratchDir dir;
	const auto& s = samples();
	put(dir, "d/a.dff", s[0].container);
	put(dir, "d/sub/t.TXD", s[4].container);
	put(dir, "d/notes.txt", {1});
	const auto inspect = run_kestrun_kit(dir.path(), {"inspect", "--depth", "1", "d"});
	EXPECT_EQ(inspect.status, 0) << inspect.err;
	EXPECT_EQ(inspect.out.rfind("d/a.dff: block container", 0), 0u) << inspect.out;
	EXPECT_NE(inspect.out.find("\nd/sub/t.TXD: block container"), std::string::npos) << inspect.out;
	const auto check = run_kestrun_kit(dir.path(), {"check", "d"});
	EXPECT_NE(check.out.find("checked 2 file(s)"), std::string::npos) << check.out;

	// The dictionary commands take only the dictionaries, gltf the models.
	const auto txd = run_kestrun_kit(dir.path(), {"txd", "-o", "out", "d"});
	EXPECT_EQ(txd.status, 0) << txd.err;
	EXPECT_EQ(dir.list("out"), std::vector<std::string>{"t.TXD"});
	const auto png = run_kestrun_kit(dir.path(), {"png", "-o", "png", "d"});
	EXPECT_EQ(png.status, 0) << png.err;
	EXPECT_EQ(dir.list("png"), std::vector<std::string>{"t"});
	const auto gltf = run_kestrun_kit(dir.path(), {"gltf", "d", "--txd", "d", "-o", "glb/"});
	EXPECT_EQ(gltf.status, 0) << gltf.err;
	EXPECT_EQ(dir.list("glb"), std::vector<std::string>{"a.glb"});

	// convert has mended what fix mends: fix over its folder changes nothing.
	ASSERT_EQ(run_kestrun_kit(dir.path(), {"convert", "d"}).status, 0);
	const auto fix = run_kestrun_kit(dir.path(), {"fix", "pc"});
	EXPECT_EQ(fix.status, 0) << fix.err;
	EXPECT_EQ(fix.out, "pc/a.dff: nothing changed\npc/sub/t.TXD: nothing changed\n");
}

} // namespace
