// kestrun-kit through the real binary: golden inspect output, exit codes,
// JSON read back, fix in place, and damaged files.
#include "samples/samples.h"
#include "support/run_binary.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace kestrun;
using namespace kestrun::samples;
using kestrun::testing::run_kestrun_kit;
using kestrun::testing::RunOptions;
using kestrun::testing::ScratchDir;
using nlohmann::json;

namespace {

// One model of one geometry; the generic form is what kestrun writes of it.
buffer small_model(Form form)
{
	Prng rng{3};
	Model m;
	m.frames.resize(2);
	m.frames[0].name = "root";
	m.frames[1].parent = 0;
	m.geometries.push_back(random_geometry(rng, 0x1C, false, 4));
	return model_stream(m, form);
}

buffer small_console_model()
{
	return small_model(Form::native);
}

buffer small_converted_model()
{
	return small_model(Form::generic);
}

// A console container and a converted stream; set KESTRUN_UPDATE_GOLDEN=1
// to write the expected output afresh after a deliberate change.
TEST(KitCli, InspectMatchesTheGoldenOutput)
{
	ScratchDir dir;
	dir.write("console.dff", pack_container(small_console_model(), 512));
	dir.write("converted.dff", small_converted_model());
	const auto r = run_kestrun_kit(dir.path(), {"inspect", "console.dff", "converted.dff"});
	ASSERT_EQ(r.status, 0) << r.err;
	const std::string golden_path = std::string(KESTRUN_GOLDEN_DIR) + "/tree_listing.txt";
	if (std::getenv("KESTRUN_UPDATE_GOLDEN"))
		std::ofstream(golden_path, std::ios::binary) << r.out;
	std::ifstream in(golden_path, std::ios::binary);
	const std::string golden(std::istreambuf_iterator<char>(in), {});
	EXPECT_EQ(r.out, golden);

	const auto shallow = run_kestrun_kit(dir.path(), {"inspect", "--depth", "1", "converted.dff"});
	EXPECT_EQ(shallow.out.substr(shallow.out.find("    offset")),
	          "    offset  chunk\n         0  Clump  size " + std::to_string(small_converted_model().size() - 12) +
	              "  3.1.0.0  atomics 1, lights 0, cameras 0\n");
}

TEST(KitCli, ExitCodes)
{
	ScratchDir dir;
	dir.write("converted.dff", small_converted_model());
	dir.write("garbage.dff", buffer(100, 0xAB));
	const auto clean = run_kestrun_kit(dir.path(), {"check", "converted.dff"});
	EXPECT_EQ(clean.status, 0) << clean.out;
	EXPECT_NE(clean.out.find("converted.dff: Clump/Struct (offset 12): warning: "), std::string::npos) << clean.out;
	EXPECT_NE(clean.out.find("checked 1 file(s), 28 chunk(s), 1 of unknown type: 0 error(s), 1 warning(s); 0 file(s) failed\n"), std::string::npos);
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"check", "--strict", "converted.dff"}).status, 1);
	const auto bad = run_kestrun_kit(dir.path(), {"check", "converted.dff", "garbage.dff", "missing.dff"});
	EXPECT_EQ(bad.status, 1);
	EXPECT_NE(bad.out.find("missing.dff: error: cannot open"), std::string::npos) << bad.out;
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"check"}).status, 2);
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"check", "--bogus", "converted.dff"}).status, 2);
	EXPECT_EQ(run_kestrun_kit(dir.path(), {}).status, 2);
	// A PC model led by a UV Animation Dictionary is a plain stream, not a container.
	buffer led = {0x2B, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x03, 0, 0};
	const buffer model = small_converted_model();
	led.insert(led.end(), model.begin(), model.end());
	dir.write("led.dff", led);
	const auto pc = run_kestrun_kit(dir.path(), {"check", "led.dff"});
	EXPECT_EQ(pc.status, 0) << pc.out;
	EXPECT_EQ(pc.out.find("container"), std::string::npos) << pc.out;
	const auto depth = run_kestrun_kit(dir.path(), {"inspect", "--depth", "-1", "converted.dff"});
	EXPECT_EQ(depth.status, 2);
	EXPECT_NE(depth.err.find("not in range 0 to 2147483647"), std::string::npos) << depth.err;
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"--help"}).status, 0);
	const auto version = run_kestrun_kit(dir.path(), {"--version"});
	EXPECT_EQ(version.status, 0);
	EXPECT_EQ(version.out, "kestrun-kit 1.0.0\n");
}

TEST(KitCli, JsonReadsBack)
{
	ScratchDir dir;
	dir.write("console.dff", pack_container(small_console_model(), 512));
	const auto inspect = run_kestrun_kit(dir.path(), {"inspect", "--json", "console.dff"});
	ASSERT_EQ(inspect.status, 0);
	const json doc = json::parse(inspect.out);
	const json& file = doc["files"][0];
	EXPECT_EQ(file["file"], "console.dff");
	EXPECT_GT(file["container"]["blocks"].size(), 1u);
	EXPECT_EQ(file["stream_size"], small_console_model().size());
	const json& clump = file["chunks"][0];
	EXPECT_EQ(clump["name"], "Clump");
	EXPECT_EQ(clump["version"], "3.5.0.0");
	EXPECT_EQ(clump["build"], 0xFFFF);
	EXPECT_EQ(clump["info"]["atomics"], 1);
	EXPECT_EQ(clump["children"][1]["children"][1]["info"]["name"], "root"); // Frame List, frame 0's Extension

	dir.write("garbage.dff", buffer(30, 0xAB));
	const auto check = run_kestrun_kit(dir.path(), {"check", "--json", "--strict", "console.dff", "garbage.dff"});
	EXPECT_EQ(check.status, 1);
	const json report = json::parse(check.out);
	EXPECT_EQ(report["strict"], true);
	EXPECT_EQ(report["files"][0]["errors"], 0);
	EXPECT_EQ(report["files"][0]["passed"], true);
	EXPECT_EQ(report["files"][1]["passed"], false);
	EXPECT_EQ(report["files"][1]["findings"][0]["severity"], "error");
	EXPECT_EQ(report["failed_files"], 1);
}

TEST(KitCli, FixRewritesInPlaceOnlyWhatNeedsIt)
{
	ScratchDir dir;
	const buffer before = small_converted_model();
	dir.write("a.dff", before);
	dir.write("console.dff", pack_container(small_console_model()));
	const auto first = run_kestrun_kit(dir.path(), {"fix", "a.dff"});
	EXPECT_EQ(first.status, 0) << first.err;
	EXPECT_EQ(first.out, "a.dff: Clump (offset 0): Struct at offset 12 shrunk from 12 to 4 bytes (no lights or "
	                     "cameras); 1 enclosing size(s) corrected\na.dff: written, " +
	                         std::to_string(before.size() - 8) + " bytes (was " + std::to_string(before.size()) + ")\n");
	const buffer after = dir.read("a.dff");
	EXPECT_EQ(after.size(), before.size() - 8);
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"check", "--strict", "a.dff"}).status, 0);
	EXPECT_EQ(dir.list("."), (std::vector<std::string>{"a.dff", "console.dff"})); // no temporary left

	// A console container has nothing to fix; a container that would need a
	// fix cannot be rewritten and says so.
	dir.write("packed.dff", pack_container(before));
	const auto again = run_kestrun_kit(dir.path(), {"fix", "a.dff", "console.dff"});
	EXPECT_EQ(again.status, 0) << again.err;
	EXPECT_EQ(again.out, "a.dff: nothing changed\nconsole.dff: nothing changed\n");
	const auto packed = run_kestrun_kit(dir.path(), {"fix", "packed.dff"});
	EXPECT_EQ(packed.status, 1);
	EXPECT_NE(packed.err.find("packed.dff: a block container"), std::string::npos) << packed.err;
	EXPECT_EQ(dir.read("a.dff"), after);
	EXPECT_EQ(dir.read("console.dff"), pack_container(small_console_model()));
	EXPECT_EQ(dir.read("packed.dff"), pack_container(before));
}

TEST(KitCli, DamagedFilesAreFindingsNotCrashes)
{
	ScratchDir dir;
	const buffer model = small_converted_model();
	buffer huge = model;
	store_u32(huge, 4, 0xFFFFFFFF);
	dir.write("huge-size.dff", huge);
	dir.write("cut.dff", buffer(model.begin(), model.begin() + 200));
	dir.write("empty.dff", pack_container(buffer()));
	buffer cut_container = pack_container(model);
	cut_container.resize(cut_container.size() / 2);
	dir.write("cut-container.dff", cut_container);
	dir.write("nothing.dff", buffer());
	const std::vector<std::string> names = {"huge-size.dff", "cut.dff", "empty.dff", "cut-container.dff",
	                                        "nothing.dff"};
	std::vector<std::string> args = {"check"};
	args.insert(args.end(), names.begin(), names.end());
	const auto r = run_kestrun_kit(dir.path(), args);
	EXPECT_EQ(r.status, 1);
	for (const std::string& name : names)
		EXPECT_NE(r.out.find(name + ": "), std::string::npos) << name << "\n" << r.out;
	EXPECT_NE(r.out.find("empty.dff: error: the stream is empty"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("size 4294967295 reaches"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("cut-container.dff: container (offset 12): error: damaged container"), std::string::npos)
		<< r.out;
	args[0] = "inspect";
	EXPECT_EQ(run_kestrun_kit(dir.path(), args).status, 0);

	// Names are file bytes, not necessarily UTF-8: shown replaced, never a crash.
	Prng rng{3};
	Model m;
	m.frames.resize(1);
	m.frames[0].name = "a\xFF\xC3";
	m.geometries.push_back(random_geometry(rng, 0x1C, false, 4));
	dir.write("bad-name.dff", model_stream(m, Form::generic));
	const auto text = run_kestrun_kit(dir.path(), {"inspect", "bad-name.dff"});
	EXPECT_EQ(text.status, 0) << text.err;
	EXPECT_NE(text.out.find("name \"a\xEF\xBF\xBD"), std::string::npos) << text.out;
	const auto inspect_json = run_kestrun_kit(dir.path(), {"inspect", "--json", "bad-name.dff"});
	EXPECT_EQ(inspect_json.status, 0) << inspect_json.err;
	EXPECT_TRUE(json::accept(inspect_json.out)) << inspect_json.out;
	if (kestrun::testing::testing_windows_binary())
		GTEST_SKIP() << "a Windows file name is UTF-16: one that is not UTF-8 cannot reach the program";
	dir.write("bad-\xFF.dff", buffer(30, 0xAB));
	const auto check_json = run_kestrun_kit(dir.path(), {"check", "--json", "bad-\xFF.dff"});
	EXPECT_EQ(check_json.status, 1) << check_json.err;
	EXPECT_TRUE(json::accept(check_json.out)) << check_json.out;
}

// No temporary file of the kit anywhere under `dir`.
bool no_temporary_left(const ScratchDir& dir)
{
	for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
		if (entry.path().filename().string().rfind(".kestrun-", 0) == 0)
			return false;
	return true;
}

TEST(KitCli, CheckFindsParentLoopsAndConsoleTexturesUnderAPCStamp)
{
	ScratchDir dir;
	// Frames 1 and 2 are each other's parent; frame 3 is its own.
	Prng rng{5};
	Model m;
	m.frames.resize(4);
	m.frames[1].parent = 2;
	m.frames[2].parent = 1;
	m.frames[3].parent = 3;
	m.geometries.push_back(random_geometry(rng, 0x1C, false, 4));
	dir.write("loops.dff", model_stream(m, Form::generic));
	auto r = run_kestrun_kit(dir.path(), {"check", "--strict", "loops.dff"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.out.find("error: frame 1: its parent chain loops"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("error: frame 3: its parent chain loops"), std::string::npos) << r.out;
	EXPECT_EQ(r.out.find("frame 2: its parent"), std::string::npos) << r.out; // one finding per loop
	EXPECT_EQ(r.out.find("frame 0: its parent"), std::string::npos) << r.out;
	// The export ends too, whatever it makes of the loop.
	r = run_kestrun_kit(dir.path(), {"gltf", "loops.dff"});
	EXPECT_NE(r.status, -1);

	// What a half-made conversion leaves: a console texture under the PC stamp.
	const SampleTexture t = make_sample_texture("half", TexelFormat::c8888, Pattern::gradient, 4, 4, false);
	dir.write("half.txd", parent_chunk(format::type_texture_dictionary,
	                                   {chunk(format::type_struct, words({1}), format::pc_stamp),
	                                    console_texture_native(t, format::pc_stamp),
	                                    chunk(format::type_extension, {}, format::pc_stamp)},
	                                   format::pc_stamp));
	r = run_kestrun_kit(dir.path(), {"check", "--strict", "half.txd"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.out.find("warning: console texture in a PC-stamped dictionary"), std::string::npos) << r.out;
}

TEST(KitCli, FixAndTxdInPlaceWriteThroughLinks)
{
	if (kestrun::testing::testing_windows_binary())
		GTEST_SKIP() << "links are made here the POSIX way";
	ScratchDir dir;
	namespace fs = std::filesystem;
	fs::create_directory(dir.path() / "real");
	const buffer model = small_converted_model();
	const SampleFile dictionary = sample_set(7, 0, 2)[1];
	dir.write("real/a.dff", model);
	dir.write("real/b.txd", dictionary.stream);
	fs::create_symlink("real/a.dff", dir.path() / "a.dff");
	fs::create_symlink("real/b.txd", dir.path() / "b.txd");
	auto r = run_kestrun_kit(dir.path(), {"fix", "a.dff"});
	EXPECT_EQ(r.status, 0) << r.err;
	r = run_kestrun_kit(dir.path(), {"txd", "b.txd"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_TRUE(fs::is_symlink(dir.path() / "a.dff"));
	EXPECT_TRUE(fs::is_symlink(dir.path() / "b.txd"));
	EXPECT_EQ(dir.read("real/a.dff").size(), model.size() - 8);
	EXPECT_EQ(dir.read("real/b.txd"), dictionary.pc);
	EXPECT_EQ(dir.list("real"), (std::vector<std::string>{"a.dff", "b.txd"}));
	EXPECT_TRUE(no_temporary_left(dir));
}

TEST(KitCli, MessagesEscapeNamesAndSayWhatFailed)
{
	ScratchDir dir;
	// A texture named with a terminal escape, its total image size one more
	// than its levels: every command that names it prints it escaped.
	const SampleTexture red = make_sample_texture("\x1b[31mred", TexelFormat::c8888, Pattern::gradient, 4, 4, false);
	buffer txd = texture_dictionary({red}, Form::native);
	store_u32(txd, 28 + 24 + 88, load_u32(txd, 28 + 24 + 88) + 1);
	dir.write("red.txd", txd);
	for (const char* command : {"png", "txd", "check"}) {
		const auto r = run_kestrun_kit(dir.path(), {command, "red.txd"});
		EXPECT_EQ(r.status, 1) << command;
		EXPECT_NE((r.out + r.err).find("[31mred"), std::string::npos) << command << r.out << r.err;
		EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos) << command;
	}
	EXPECT_EQ(dir.read("red.txd"), txd);

	// Results that cannot reach standard output are no success.
	dir.write("a.dff", small_converted_model());
	RunOptions full;
	full.stdout_path = "/dev/full";
	for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
	         {"inspect", "--json", "a.dff"}, {"check", "--json", "a.dff"}, {"inspect", "a.dff"}}) {
		const auto r = run_kestrun_kit(dir.path(), args, full);
		EXPECT_EQ(r.status, 1) << args[0];
		EXPECT_NE(r.err.find("cannot write standard output: No space left on device"), std::string::npos) << r.err;
	}

	// An unreadable input says why.
	if (::geteuid() != 0 && !kestrun::testing::testing_windows_binary()) {
		dir.write("locked.dff", small_converted_model());
		std::filesystem::permissions(dir.path() / "locked.dff", std::filesystem::perms::none);
		const auto r = run_kestrun_kit(dir.path(), {"inspect", "locked.dff"});
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.err, "locked.dff: cannot open: Permission denied\n");
		std::filesystem::remove(dir.path() / "locked.dff");
	}

	// An unknown command is named, with the commands there are; the help
	// describes every command, and the commands' help their exit status.
	const std::vector<std::string> commands = {"inspect", "check", "fix", "txd", "png", "gltf", "convert"};
	auto r = run_kestrun_kit(dir.path(), {"bogus", "a.dff"});
	EXPECT_EQ(r.status, 2);
	EXPECT_NE(r.err.find("'bogus'"), std::string::npos) << r.err;
	const auto help = run_kestrun_kit(dir.path(), {"--help"});
	for (const std::string& command : commands) {
		EXPECT_NE(r.err.find(command), std::string::npos) << command;
		EXPECT_NE(help.out.find("  " + command), std::string::npos) << command << help.out;
		EXPECT_NE(run_kestrun_kit(dir.path(), {command, "--help"}).out.find("Exit status"), std::string::npos)
		    << command;
	}
	EXPECT_EQ(run_kestrun_kit(dir.path(), {"convert", "a.dff", "-o", ""}).status, 2);
	EXPECT_EQ(dir.list("."), (std::vector<std::string>{"a.dff", "red.txd", "textures"}));
}

} // namespace
