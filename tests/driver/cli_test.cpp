// The real binary in a scratch folder: exit status, the exact console text,
// and the files written and not written.
#include "samples/samples.h"
#include "support/run_binary.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace kestrun;
using namespace kestrun::samples;
using namespace kestrun::testing;

namespace {

const std::string success = "conversion successfully finished...\n";

std::string processing(std::initializer_list<std::string> names)
{
	std::string out;
	for (const std::string& name : names)
		out += "Processing file " + name + "...\n";
	return out;
}

const std::vector<SampleFile>& samples()
{
	static const std::vector<SampleFile> set = sample_set(7, 2, 1);
	return set;
}

const SampleFile& model(int k) { return samples()[std::size_t(k)]; }
const SampleFile& dictionary() { return samples()[2]; }

TEST(Cli, WrongArgumentCountDoesNothing)
{
	ScratchDir dir;
	for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"*", "x"}}) {
		RunResult r = run_kestrun(dir.path(), args);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.out, "");
		EXPECT_FALSE(dir.exists("output"));
	}
}

TEST(Cli, NothingToConvert)
{
	ScratchDir dir;
	dir.write("notes.txt", {1, 2, 3});
	std::filesystem::create_directory(dir.path() / "folder.dff");
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 5);
	EXPECT_EQ(r.out, kestrun_banner + "Neither .DFF nor .TXD files found in current directory...\n");
	EXPECT_TRUE(dir.exists("output"));

	r = run_kestrun(dir.path(), {"car*.dff"});
	EXPECT_EQ(r.status, 5);
	EXPECT_EQ(r.out, kestrun_banner + "No file matching car*.dff found in current directory...\n");
}

TEST(Cli, StarConvertsModelsFirstThenTexturesEachSorted)
{
	ScratchDir dir;
	dir.write("b.dff", model(0).container);
	dir.write("A.txd", dictionary().container);
	dir.write("a.dff", model(1).container);
	dir.write("C.DFF", model(0).container); // found by "*.dff", but not a model by name
	dir.write("c.TXD", dictionary().container);
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, kestrun_banner + processing({"a.dff", "b.dff", "C.DFF", "A.txd", "c.TXD"}) + success);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(dir.read("output/a.dff"), model(1).expected);
	EXPECT_EQ(dir.read("output/b.dff"), model(0).expected);
	EXPECT_EQ(dir.read("output/C.DFF"), model(0).stream); // inflated only
	EXPECT_EQ(dir.read("output/A.txd"), dictionary().stream);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"A.txd", "C.DFF", "a.dff", "b.dff", "c.TXD"}));
}

TEST(Cli, OnlyTextureDictionaries)
{
	ScratchDir dir;
	dir.write("x.txd", dictionary().container);
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, kestrun_banner + processing({"x.txd"}) + success);
	EXPECT_EQ(dir.read("output/x.txd"), dictionary().stream);
}

TEST(Cli, NamedFileOrPatternTakesTheFirstMatchOnly)
{
	ScratchDir dir;
	dir.write("car.dff", model(0).container);
	dir.write("CAR2.dff", model(1).container);
	dir.write("carDff", model(1).container); // a model by name: ends in "dff"
	RunResult r = run_kestrun(dir.path(), {"CAR.DFF"});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, kestrun_banner + processing({"car.dff"}) + success);
	EXPECT_EQ(dir.read("output/car.dff"), model(0).expected);

	r = run_kestrun(dir.path(), {"c?r*"});
	EXPECT_EQ(r.out, kestrun_banner + processing({"car.dff"}) + success);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"car.dff"}));

	r = run_kestrun(dir.path(), {"*Dff"});
	EXPECT_EQ(r.out, kestrun_banner + processing({"car.dff"}) + success);

	r = run_kestrun(dir.path(), {"carD*"});
	EXPECT_EQ(r.out, kestrun_banner + processing({"carDff"}) + success);
	EXPECT_EQ(dir.read("output/carDff"), model(1).stream); // capital D: not a model
}

// A name given exactly is that file, even where a pattern would meet another
// spelling of it first; a pattern still takes its first match.
TEST(Cli, ExactNameIsTakenBeforeOtherCaseSpellings)
{
	ScratchDir dir;
	dir.write("car.dff", model(0).container);
	dir.write("car.DFF", model(1).container);
	if (dir.list("").size() != 2)
		GTEST_SKIP() << "this file system folds the case of names";
	RunResult r = run_kestrun(dir.path(), {"car.dff"});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, kestrun_banner + processing({"car.dff"}) + success);
	EXPECT_EQ(dir.read("output/car.dff"), model(0).expected);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"car.dff"}));

	r = run_kestrun(dir.path(), {"car.*"});
	EXPECT_EQ(r.out, kestrun_banner + processing({"car.DFF"}) + success);
	r = run_kestrun(dir.path(), {"CAR.dff"}); // no exact name: the first match
	EXPECT_EQ(r.out, kestrun_banner + processing({"car.DFF"}) + success);
}

TEST(Cli, ExistingOutputIsReplaced)
{
	ScratchDir dir;
	std::filesystem::create_directory(dir.path() / "output");
	dir.write("output/m.dff", buffer(100000, 0x77));
	dir.write("m.dff", model(0).container);
	RunResult r = run_kestrun(dir.path(), {"m.dff"});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(dir.read("output/m.dff"), model(0).expected);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"m.dff"}));
}

TEST(Cli, DamagedFileAmongGoodOnes)
{
	ScratchDir dir;
	dir.write("a.dff", model(0).container);
	buffer damaged = model(1).container;
	damaged.resize(damaged.size() / 2);
	dir.write("b.dff", damaged);
	dir.write("c.txd", dictionary().container);
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, kestrun_banner + processing({"a.dff", "b.dff", "c.txd"}) + kestrun_failed(1));
	EXPECT_EQ(r.err.rfind("b.dff: damaged container: block 0 at offset 12: ", 0), 0u) << r.err;
	EXPECT_EQ(dir.read("output/a.dff"), model(0).expected);
	EXPECT_EQ(dir.read("output/c.txd"), dictionary().stream);
	EXPECT_TRUE(dir.exists("output/b.dff")); // what was decoded is still written
}

TEST(Cli, EmptyAndTinyInputs)
{
	ScratchDir dir;
	dir.write("empty.txd", {});
	dir.write("tiny.txd", buffer(23, 4));
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, kestrun_banner + processing({"empty.txd", "tiny.txd"}) + kestrun_failed(2));
	EXPECT_EQ(r.err,
	          "empty.txd: damaged container: block 0 at offset 0: file too short for a block container; the stream "
	          "decoded so far is written\n"
	          "tiny.txd: damaged container: block 0 at offset 0: file too short for a block container; the stream "
	          "decoded so far is written\n");
	EXPECT_EQ(dir.read("output/empty.txd"), buffer());
}

TEST(Cli, GeometryProblemIsReportedAndTheStreamStillWritten)
{
	NativeGeometry g = one_triangle_geometry();
	buffer geometry = native_geometry_chunk(g);
	store_u32(geometry, 32, 5000); // vertex count past the end
	buffer list = chunk(format::type_struct, buffer{1, 0, 0, 0});
	put_bytes(list, geometry);
	const buffer stream = parent_chunk(format::type_clump, {chunk(format::type_geometry_list, list)});
	ScratchDir dir;
	dir.write("bad.dff", pack_container(stream));
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, kestrun_banner + processing({"bad.dff"}) + kestrun_failed(1));
	EXPECT_EQ(r.err, "bad.dff: geometry at stream offset 40: vertex records run off the end of the Native Data chunk; left "
	                 "unconverted\n");
	EXPECT_EQ(dir.read("output/bad.dff"), restamped(stream));
}

TEST(Cli, OutputFolderCannotBeCreated)
{
	ScratchDir dir;
	dir.write("output", {1});
	dir.write("a.dff", model(0).container);
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	const std::string output = path_as_the_binary_names_it(std::filesystem::canonical(dir.path()) / "output");
	EXPECT_EQ(r.out, kestrun_banner + "Cannot create output directory " + output + "...\n");
}

TEST(Cli, DirectoryWhereAnOutputMustGo)
{
	ScratchDir dir;
	dir.write("a.dff", model(0).container);
	dir.write("b.txd", dictionary().container);
	std::filesystem::create_directories(dir.path() / "output" / "a.dff");
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, kestrun_banner + processing({"a.dff", "b.txd"}) + kestrun_failed(1));
	EXPECT_EQ(r.err.rfind("a.dff: cannot replace ", 0), 0u) << r.err;
	EXPECT_EQ(dir.read("output/b.txd"), dictionary().stream);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"a.dff", "b.txd"})); // no temporary left
}

TEST(Cli, DiskFullKeepsTheEarlierOutputAndLeavesNoPartialFile)
{
	if (testing_windows_binary())
		GTEST_SKIP() << "Windows has no file-size limit to stand in for a full disk";
	ScratchDir dir;
	dir.write("a.txd", dictionary().container);
	std::filesystem::create_directory(dir.path() / "output");
	const buffer earlier(10, 0x55);
	dir.write("output/a.txd", earlier);
	RunOptions limited;
	limited.file_size_limit = dictionary().stream.size() / 2;
	RunResult r = run_kestrun(dir.path(), {"*"}, limited);
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, kestrun_banner + processing({"a.txd"}) + kestrun_failed(1));
	EXPECT_EQ(r.err.rfind("a.txd: cannot write output: ", 0), 0u) << r.err;
	EXPECT_EQ(dir.read("output/a.txd"), earlier);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"a.txd"}));
}

TEST(Cli, UnreadableInputIsSkipped)
{
	if (::geteuid() == 0)
		GTEST_SKIP() << "root reads every file";
	ScratchDir dir;
	dir.write("a.txd", dictionary().container);
	std::filesystem::permissions(dir.path() / "a.txd", std::filesystem::perms::none);
	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	if (testing_windows_binary()) // the system's own words
		EXPECT_TRUE(r.err.starts_with("a.txd: cannot open: ") && r.err.ends_with("; skipped\n")) << r.err;
	else
		EXPECT_EQ(r.err, "a.txd: cannot open: Permission denied; skipped\n");
	EXPECT_FALSE(dir.exists("output/a.txd"));
}

} // namespace
