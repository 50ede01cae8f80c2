// kestrun-kit txd and png through the real binary in scratch folders: exit
// status, messages, the files written and not written, progress on a
// terminal.
#include "kit/file_names.h"
#include "samples/samples.h"
#include "support/run_binary.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kestrun;
using namespace kestrun::samples;
using namespace kestrun::testing;

namespace {

// Runs kestrun-kit in `dir`; standard error goes to a terminal when asked.
RunResult run_kit_in(const ScratchDir& dir, const std::vector<std::string>& args, bool terminal = false)
{
	RunOptions options;
	options.terminal = terminal;
	return run_kestrun_kit(dir.path(), args, options);
}

const std::vector<SampleFile>& samples()
{
	static const std::vector<SampleFile> set = sample_set(7, 0, 2);
	return set;
}

// The first dictionary with its first texture's total image size one more.
buffer damaged_dictionary()
{
	buffer d = samples()[0].stream;
	store_u32(d, 28 + 24 + 88, load_u32(d, 28 + 24 + 88) + 1);
	return d;
}

TEST(KitTxd, ConvertsWholeOrNothingInPlaceOrIntoDir)
{
	ScratchDir dir;
	const SampleFile& a = samples()[0];
	const SampleFile& b = samples()[1];
	dir.write("a.txd", a.container);
	dir.write("b.txd", b.stream); // as kestrun inflated it
	dir.write("bad.txd", damaged_dictionary());
	dir.write("pc.txd", b.pc);

	RunResult r = run_kit_in(dir, {"txd", "a.txd", "bad.txd", "pc.txd", "b.txd", "-o", "out/pc"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "a.txd: 13 textures converted, " + std::to_string(a.pc.size()) + " bytes written to out/pc/a.txd\n"
	                 "pc.txd: already a PC dictionary; copied to out/pc/pc.txd\n"
	                 "b.txd: 12 textures converted, " + std::to_string(b.pc.size()) + " bytes written to out/pc/b.txd\n");
	EXPECT_EQ(r.err, "bad.txd: texture \"ramp8888\" at offset 28: size disagrees with its levels (total image size 2733, "
	                 "levels 2732, palette 0); nothing written\n");
	EXPECT_EQ(dir.read("out/pc/a.txd"), a.pc);
	EXPECT_EQ(dir.read("out/pc/b.txd"), b.pc);
	EXPECT_EQ(dir.list("out/pc"), (std::vector<std::string>{"a.txd", "b.txd", "pc.txd"}));
	EXPECT_EQ(dir.read("out/pc/pc.txd"), b.pc);
	EXPECT_EQ(dir.read("bad.txd"), damaged_dictionary());

	// In place is for inflated streams: a console container stays as it is.
	r = run_kit_in(dir, {"txd", "a.txd", "b.txd"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "a.txd: a console container: write its PC form elsewhere with -o DIR\n");
	EXPECT_EQ(dir.read("a.txd"), a.container);
	EXPECT_EQ(dir.read("b.txd"), b.pc);
	EXPECT_EQ(run_kit_in(dir, {"check", "b.txd"}).status, 0);
	r = run_kit_in(dir, {"txd", "b.txd"});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, "b.txd: already a PC dictionary; left alone\n");
	EXPECT_EQ(run_kit_in(dir, {"txd"}).status, 2);
	EXPECT_EQ(run_kit_in(dir, {"txd", "a.txd", "-o", ""}).status, 2);
}

TEST(KitTxd, NeverLosesAnInputAndRefusesWhatItCannotConvertWhole)
{
	ScratchDir dir;
	const SampleFile& a = samples()[0];
	const SampleFile& b = samples()[1];
	// An output that is another input: nothing written, both named.
	dir.write("a.txd", a.container);
	std::filesystem::create_directory(dir.path() / "sub");
	dir.write("sub/a.txd", b.stream);
	RunResult r = run_kit_in(dir, {"txd", "a.txd", "sub/a.txd", "-o", "sub/"});
	EXPECT_EQ(r.status, 2);
	EXPECT_NE(r.err.find("a.txd: its output sub/a.txd is the input sub/a.txd"), std::string::npos) << r.err;
	EXPECT_EQ(dir.read("sub/a.txd"), b.stream);

	// Two dictionaries in one stream: both converted.
	buffer two = b.stream;
	two.insert(two.end(), b.stream.begin(), b.stream.end());
	dir.write("two.txd", two);
	r = run_kit_in(dir, {"txd", "two.txd"});
	EXPECT_EQ(r.status, 0) << r.err;
	buffer both = b.pc;
	both.insert(both.end(), b.pc.begin(), b.pc.end());
	EXPECT_EQ(dir.read("two.txd"), both);
	r = run_kit_in(dir, {"png", "two.txd"});
	EXPECT_EQ(r.out, "two.txd: 24 of 24 textures written to textures/two\n");

	// A count other than the natives, and nesting past the reader's depth.
	buffer miscounted = b.stream;
	store_u16(miscounted, 24, 11);
	dir.write("miscounted.txd", miscounted);
	buffer deep = chunk(format::type_extension, {});
	for (int i = 0; i < 70; i++)
		deep = parent_chunk(format::type_extension, {deep});
	dir.write("deep.txd", parent_chunk(format::type_texture_dictionary, {chunk(format::type_struct, buffer(4)), deep}));
	r = run_kit_in(dir, {"txd", "miscounted.txd", "deep.txd"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("miscounted.txd: Texture Dictionary at offset 0: texture count 11 but 12"), std::string::npos)
	    << r.err;
	EXPECT_NE(r.err.find("nesting deeper than 64 levels; nothing written"), std::string::npos) << r.err;
	EXPECT_EQ(dir.read("miscounted.txd"), miscounted);
}

TEST(KitPng, WritesEveryTextureUnderSafeDistinctNames)
{
	ScratchDir dir;
	dir.write("a.txd", samples()[0].container);
	dir.write("bad.txd", damaged_dictionary());
	RunResult r = run_kit_in(dir, {"png", "a.txd", "bad.txd"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "a.txd: 13 of 13 textures written to textures/a\nbad.txd: 12 of 13 textures written to textures/bad\n");
	EXPECT_EQ(r.err.rfind("bad.txd: texture \"ramp8888\" at offset 28: size disagrees", 0), 0u) << r.err;
	const std::vector<std::string> names = dir.list("textures/a");
	EXPECT_EQ(names.size(), 13u);
	EXPECT_EQ(names[0], "Ramp8888~2.png"); // apart from ramp8888.png, whatever the file system's case rules
	EXPECT_FALSE(dir.exists("textures/bad/ramp8888.png"));
	EXPECT_TRUE(dir.exists("textures/bad/Ramp8888.png"));
	for (const SampleTexture& t : samples()[0].textures) {
		const std::string name = t.name == "Ramp8888" ? "Ramp8888~2" : t.name;
		const std::optional<texture::Image> png = texture::decode_png(dir.read("textures/a/" + name + ".png"));
		ASSERT_TRUE(png) << name;
		EXPECT_EQ(png->rgba, t.rgba[0]) << name;
	}

	r = run_kit_in(dir, {"png", "--levels", "-o", "all", "a.txd"});
	EXPECT_EQ(r.status, 0) << r.err;
	const SampleTexture& mipped = samples()[0].textures[0];
	for (std::size_t i = 0; i < mipped.rgba.size(); i++)
		EXPECT_EQ(texture::decode_png(dir.read("all/a/ramp8888." + std::to_string(i) + ".png"))->rgba, mipped.rgba[i]);
	EXPECT_FALSE(dir.exists("all/a/ramp8888." + std::to_string(mipped.rgba.size()) + ".png"));

	// A Texture Native whose size reaches past the file swallows the textures
	// after it; that is no success.
	buffer swallowed = samples()[0].stream;
	store_u32(swallowed, 28 + 4, 0xFFFFFFFF);
	dir.write("swallowed.txd", swallowed);
	r = run_kit_in(dir, {"png", "swallowed.txd"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "swallowed.txd: Texture Dictionary at offset 0: texture count 13 but 1 Texture Native chunk\n");
}

TEST(KitPng, RepeatedNamesDamagedDictionariesAndFoldersItCannotMake)
{
	ScratchDir dir;
	// Two thousand textures of one name: each gets the smallest free ~N.
	const SampleTexture tex = make_sample_texture("tex", TexelFormat::c8888, Pattern::gradient, 1, 1, false);
	dir.write("many.txd", texture_dictionary(std::vector<SampleTexture>(2000, tex), Form::native));
	RunResult r = run_kit_in(dir, {"png", "many.txd"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "many.txd: 2000 of 2000 textures written to textures/many\n");
	EXPECT_EQ(dir.list("textures/many").size(), 2000u);
	for (const char* name : {"tex.png", "tex~2.png", "tex~3.png", "tex~2000.png"})
		EXPECT_TRUE(dir.exists(std::string("textures/many/") + name)) << name;
	EXPECT_FALSE(dir.exists("textures/many/tex~1.png"));
	EXPECT_FALSE(dir.exists("textures/many/tex~2001.png"));

	// A dictionary cut before its Struct, and one whose size runs to 4 GiB,
	// hold no readable count: no success.
	const buffer good = samples()[1].stream;
	dir.write("headless.txd", buffer(good.begin(), good.begin() + 12));
	buffer endless = good;
	store_u32(endless, 4, 0xFFFFFFFF);
	dir.write("endless.txd", endless);
	for (const std::string name : {"headless.txd", "endless.txd"}) {
		r = run_kit_in(dir, {"png", name, "-o", "cut"});
		EXPECT_EQ(r.status, 1) << name << r.out;
		EXPECT_EQ(r.err.rfind(name + ": ", 0), 0u) << r.err;
	}

	// A folder that cannot be made: one line per dictionary, with the
	// system's reason, and nothing written.
	dir.write("a.txd", samples()[0].container);
	dir.write("blocker", {1});
	r = run_kit_in(dir, {"png", "a.txd", "many.txd", "-o", "blocker/x"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, "a.txd: cannot create blocker/x/a: Not a directory; no texture written\n"
	                 "many.txd: cannot create blocker/x/many: Not a directory; no texture written\n");
	if (::geteuid() != 0 && !testing_windows_binary()) {
		std::filesystem::create_directory(dir.path() / "locked");
		std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_read |
		                                                         std::filesystem::perms::owner_exec);
		r = run_kit_in(dir, {"png", "a.txd", "-o", "locked/x"});
		std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_all);
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.err, "a.txd: cannot create locked/x/a: Permission denied; no texture written\n");
		EXPECT_TRUE(dir.list("locked").empty());
	}
	EXPECT_EQ(run_kit_in(dir, {"png", "a.txd", "-o", ""}).status, 2);
	EXPECT_FALSE(dir.exists("a"));
}

TEST(KitTxd, ProgressOnlyOnATerminal)
{
	if (testing_windows_binary())
		GTEST_SKIP() << "wine shows a Windows program no console on a pseudo-terminal";
	ScratchDir dir;
	dir.write("a.txd", samples()[0].container);
	dir.write("b.txd", samples()[1].container);
	RunResult r = run_kit_in(dir, {"txd", "a.txd", "b.txd", "-o", "x"}, true);
	EXPECT_EQ(r.status, 0);
	EXPECT_NE(r.err.find("1/2 files"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("2/2 files"), std::string::npos) << r.err;
	EXPECT_EQ(r.out.find('\r'), std::string::npos);
	EXPECT_EQ(run_kit_in(dir, {"png", "a.txd", "b.txd"}).err, "");
}

TEST(KitNames, SafeOnEveryFileSystem)
{
	using kestrun::kit::safe_file_name;
	EXPECT_EQ(safe_file_name("wheel_01"), "wheel_01");
	EXPECT_EQ(safe_file_name("a/b\\c:d*e"), "a_b_c_d_e");
	EXPECT_EQ(safe_file_name(""), "_");
	EXPECT_EQ(safe_file_name(".."), "_._");
	EXPECT_EQ(safe_file_name("con"), "_con");
	EXPECT_EQ(safe_file_name("LPT1.x"), "_LPT1.x");
	EXPECT_EQ(safe_file_name("console"), "console");
	EXPECT_EQ(safe_file_name("caf\xC3\xA9 "), "caf___");
}

} // namespace

namespace {

// Under a file-size limit a write fails like any other: reported, exit 1,
// the original untouched and no temporary file left.
TEST(KitWrites, FileSizeLimitIsAnErrorAndLeavesNoTemporaryFile)
{
	if (testing_windows_binary())
		GTEST_SKIP() << "Windows has no file-size limit";
	ScratchDir dir;
	dir.write("a.txd", samples()[0].stream);
	const std::string command = "cd '" + dir.path().string() + "' && ulimit -f 4 && '" + kit_binary_under_test() +
	                            "' txd a.txd 2>err";
	const int status = std::system(command.c_str());
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 1);
	const std::vector<std::uint8_t> err = dir.read("err");
	EXPECT_NE(std::string(err.begin(), err.end()).find("File too large"), std::string::npos);
	EXPECT_EQ(dir.read("a.txd"), samples()[0].stream);
	EXPECT_EQ(dir.list(""), (std::vector<std::string>{"a.txd", "err"}));
}

} // namespace
