// The kit's own wildcard expansion (what Windows shells leave undone).
#include "kit/file_arguments.h"
#include "kit/load.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

namespace kestrun::kit {
namespace {

TEST(FileArguments, PatternsExpandAsKestrunMatchesTheRestStay)
{
	testing::ScratchDir dir;
	for (const char* name : {"b.txd", "A.TXD", "c.txd", "c.txd.bak", "mod\xC3\xA8le.dff", "x.dff"})
		dir.write(name, {1});
	std::filesystem::create_directory(dir.path() / "sub");
	dir.write("sub/d.txd", {1});
	const std::string at = to_utf8(dir.path()) + "/";

	// Sorted without regard to case, the typed folder kept in front; a
	// pattern never reaches into the folder part.
	EXPECT_EQ(expand_file_arguments({"-o", "out", at + "*.txd", at + "mod*le.dff", at + "*/d.txd"}),
	          (std::vector<std::string>{"-o", "out", at + "A.TXD", at + "b.txd", at + "c.txd", at + "mod\xC3\xA8le.dff",
	                                    at + "*/d.txd"}));
	EXPECT_EQ(expand_file_arguments({at + "sub/?.TXD", at + "nothing*", "plain.dff"}),
	          (std::vector<std::string>{at + "sub/d.txd", at + "nothing*", "plain.dff"}));
#ifndef _WIN32
	// A name that exists is taken as it is, wildcards or not.
	dir.write("x*.dff", {1});
	EXPECT_EQ(expand_file_arguments({at + "x*.dff"}), std::vector<std::string>{at + "x*.dff"});
#endif
}

} // namespace
} // namespace kestrun::kit
