// The platform layer on the real file system, in a scratch folder and by
// full paths, so that the same tests hold on POSIX and Windows.
#include "platform/platform.h"

#include "support/scratch_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::testing;

namespace fs = std::filesystem;

namespace {

std::string in(const ScratchDir& dir, const std::string& name)
{
	return join_path(dir.path().string(), name);
}

// The input vanishing between the search and the read cannot be timed from
// outside the process; what the batch then meets is a name that no longer
// opens, or no longer a file, and it must get an error instead of data.
TEST(Platform, InputGoneOrNotAFileIsAnErrorNotData)
{
	ScratchDir dir;
	fs::create_directory(dir.path() / "now-a-folder.txd");
	std::error_code no_links;
	fs::create_symlink(dir.path() / "removed.txd", dir.path() / "link.txd", no_links);

	FileBytes data;
	std::string error;
	EXPECT_FALSE(read_whole_file(in(dir, "gone.txd"), data, error));
	EXPECT_TRUE(error.starts_with("cannot open: ")) << error;
	if (!no_links) {
		EXPECT_FALSE(read_whole_file(in(dir, "link.txd"), data, error));
		EXPECT_TRUE(error.starts_with("cannot open: ")) << error;
	}
	EXPECT_FALSE(read_whole_file(in(dir, "now-a-folder.txd"), data, error));
	EXPECT_TRUE(error == "not a regular file" || error.starts_with("cannot open: ")) << error;
	EXPECT_EQ(data.data, nullptr);

	// Neither is found by a search either: nothing to do, not a failure.
	EXPECT_TRUE(find_files(dir.path().string(), "*.txd").empty());
}

// A file cut short between taking its size and reading it is reported, not
// padded. Where an open input cannot be shortened (Windows shares it for
// reading only), there is nothing to test.
TEST(Platform, InputShorterThanItsSizeIsAnError)
{
	ScratchDir dir;
	dir.write("cut.txd", std::vector<std::uint8_t>(5000, 7));
	InputFile file;
	std::string error;
	ASSERT_TRUE(open_input(in(dir, "cut.txd"), file, error)) << error;
	EXPECT_EQ(file.size(), 5000u);
	std::error_code locked;
	fs::resize_file(dir.path() / "cut.txd", 1200, locked);
	if (locked)
		GTEST_SKIP() << "an open input cannot be shortened here";
	FileBytes data;
	EXPECT_FALSE(read_input(file, data, error));
	EXPECT_EQ(error, "file shrank while being read: got 1200 of 5000 bytes");
}

// The search sees only regular files, by our matcher and in our order, and
// reads its names back byte for byte, whatever their script.
TEST(Platform, SearchMatchesWholeNamesInOrder)
{
	ScratchDir dir;
	const std::string accented = "mod\xC3\xA8le.dff"; // UTF-8
	for (const std::string& name : {std::string("b.dff"), std::string("A.DFF"), std::string("x.dffx"),
	                                std::string("trail.dff.bak"), accented})
		dir.write(name, {1});
	fs::create_directory(dir.path() / "folder.dff");
	EXPECT_EQ(find_files(dir.path().string(), "*.dff"), (std::vector<std::string>{"A.DFF", "b.dff", accented}));
	EXPECT_EQ(find_files(dir.path().string(), accented), (std::vector<std::string>{accented}));
	FileBytes data;
	std::string error;
	ASSERT_TRUE(read_whole_file(in(dir, accented), data, error)) << error;
	EXPECT_EQ(data.size, 1u);
}

// Writing replaces an earlier output whole, through a temporary that never
// stays behind; a folder where the output must go is an error that leaves it.
TEST(Platform, WritesReplaceAtomically)
{
	ScratchDir dir;
	const std::string output = in(dir, "output");
	std::string error;
	ASSERT_TRUE(make_directory(output, error)) << error;
	ASSERT_TRUE(make_directory(output, error)) << error; // already there: fine
	const std::vector<std::uint8_t> first(70000, 1), second = {2, 0x1A, 3, '\r', '\n'};
	ASSERT_TRUE(write_file_atomically(output, "a.txd", first, error)) << error;
	ASSERT_TRUE(write_file_atomically(output, "a.txd", second, error)) << error;
	EXPECT_EQ(dir.read("output/a.txd"), second);

	fs::create_directory(dir.path() / "output" / "b.txd");
	EXPECT_FALSE(write_file_atomically(output, "b.txd", second, error));
	EXPECT_TRUE(error.starts_with("cannot replace ")) << error;
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"a.txd", "b.txd"}));

	dir.write("file", {1});
	EXPECT_FALSE(make_directory(in(dir, "file"), error));
}

} // namespace
