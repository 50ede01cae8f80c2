// Hostile surroundings and damaged inputs, through the real binary where the
// situation can be made deterministic: a bad file is named on standard error,
// costs no other file its result, and the run ends with status 1 and the
// "finished with errors" line.
#include "container/container.h"
#include "samples/samples.h"
#include "support/run_binary.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;
using namespace kestrun::testing;

namespace {

const std::vector<SampleFile>& samples()
{
	static const std::vector<SampleFile> set = sample_set(31, 3, 1);
	return set;
}

std::vector<std::string> lines(const std::string& text)
{
	std::vector<std::string> out;
	std::size_t start = 0;
	for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
		out.push_back(text.substr(start, end - start));
	return out;
}

bool names_file(const std::string& err, const std::string& name)
{
	for (const std::string& line : lines(err))
		if (line.rfind(name + ": ", 0) == 0)
			return true;
	return false;
}

// A sparse file of 4 GiB costs no disk; it must be turned down by its size,
// before anything is allocated for it, and nothing written under its name.
TEST(Fault, FourGibInputIsSkippedUnread)
{
	ScratchDir dir;
	dir.write("big.dff", {});
	std::filesystem::resize_file(dir.path() / "big.dff", std::uintmax_t(1) << 32);
	dir.write("small.dff", samples()[0].container);
	RunOptions options;
	options.file_size_limit = std::uint64_t(64) << 20; // nothing near 4 GiB may be written
	RunResult r = run_kestrun(dir.path(), {"*"}, options);
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, kestrun_banner + "Processing file big.dff...\nProcessing file small.dff...\n" + kestrun_failed(1));
	EXPECT_EQ(r.err, "big.dff: file is 4 GiB or larger; skipped\n");
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"small.dff"}));
	EXPECT_EQ(dir.read("output/small.dff"), samples()[0].expected);
}

// Offset of the first Geometry header of an inflated model stream.
std::uint64_t first_geometry(bytes stream)
{
	for (std::uint64_t i = 0; fits(stream.size(), i, 12); i++)
		if (load_u32(stream, i) == format::type_geometry && load_u32(stream, i + 8) == format::console_stamp)
			return i;
	return 0;
}

struct Variant {
	std::string name;
	buffer data;
	bool written; // whether a (partial) result must still be written
};

// Damaged copies of the samples, each certain to fail: cut at every kind of
// place, a compressed length past the end, a compressed stream without its
// end, an inflated stream too large for the buffer, a geometry whose counts
// point outside the stream, and the smallest files.
std::vector<Variant> damaged_variants()
{
	std::vector<Variant> v;
	const SampleFile& model = samples()[0];
	const SampleFile& dictionary = samples()[3];
	const auto cut = [](const buffer& b, std::size_t length) { return buffer(b.begin(), b.begin() + std::ptrdiff_t(length)); };

	v.push_back({"empty.dff", {}, true});
	v.push_back({"tiny.txd", buffer(23, 0), true});
	v.push_back({"header-only.dff", cut(model.container, 12), true});
	v.push_back({"half.dff", cut(model.container, model.container.size() / 2), true});
	v.push_back({"one-short.txd", cut(dictionary.container, dictionary.container.size() - 1), true});

	std::vector<ContainerBlock> blocks = compress_blocks(model.stream, 4096);
	const buffer chained = assemble_container(blocks);
	// Ends inside the header of the second block.
	v.push_back({"cut-header.dff", cut(chained, 12 + 12 + blocks[0].data.size() + 6), true});

	std::vector<ContainerBlock> overlong = blocks;
	overlong.back().length_set = true;
	overlong.back().length = 0x7FFFFFFF;
	v.push_back({"overlong.dff", assemble_container(overlong), true});

	// The middle block loses its end code (11 00 00): the decoder runs out
	// of input inside a block whose length is intact.
	std::vector<ContainerBlock> endless = blocks;
	buffer& middle = endless[blocks.size() / 2].data;
	middle.resize(middle.size() - 3);
	v.push_back({"endless.dff", assemble_container(endless), true});

	v.push_back({"huge.txd", pack_container(buffer(stream_capacity + 1, 0)), true});

	buffer bad_geometry = model.stream;
	store_u32(bad_geometry, first_geometry(bad_geometry) + 32, 0x0FFFFFFF); // vertex count
	v.push_back({"bad-geometry.dff", pack_container(bad_geometry), true});

	buffer bad_triangles = samples()[1].stream;
	store_u32(bad_triangles, first_geometry(bad_triangles) + 28, 0xFFFFFFFF); // triangle count
	v.push_back({"bad-triangles.dff", pack_container(bad_triangles), true});
	return v;
}

TEST(Fault, ManyDamagedFilesAmongGoodOnes)
{
	ScratchDir dir;
	std::vector<std::pair<std::string, const SampleFile*>> good;
	for (const SampleFile& file : samples()) {
		for (const char* prefix : {"good-", "zz-"}) {
			const std::string name = prefix + file.name;
			dir.write(name, file.container);
			good.emplace_back(name, &file);
		}
	}
	const std::vector<Variant> bad = damaged_variants();
	for (const Variant& variant : bad)
		dir.write(variant.name, variant.data);
	dir.write("big.txd", {});
	std::filesystem::resize_file(dir.path() / "big.txd", std::uintmax_t(1) << 32);

	RunResult r = run_kestrun(dir.path(), {"*"});
	EXPECT_EQ(r.status, 1);
	const std::vector<std::string> out = lines(r.out);
	ASSERT_FALSE(out.empty());
	EXPECT_EQ(out.back() + "\n", kestrun_failed(unsigned(bad.size() + 1)));
	EXPECT_EQ(r.out.find("successfully"), std::string::npos);
	// One "Processing" line a file, the kestrun_banner and the last line.
	EXPECT_EQ(out.size(), good.size() + bad.size() + 1 + 2);

	for (const auto& [name, file] : good) {
		SCOPED_TRACE(name);
		EXPECT_FALSE(names_file(r.err, name));
		EXPECT_EQ(dir.read("output/" + name), file->expected);
	}
	for (const Variant& variant : bad) {
		SCOPED_TRACE(variant.name);
		EXPECT_TRUE(names_file(r.err, variant.name)) << r.err;
		EXPECT_EQ(dir.exists("output/" + variant.name), variant.written);
	}
	EXPECT_TRUE(names_file(r.err, "big.txd"));
	EXPECT_FALSE(dir.exists("output/big.txd"));
	// Every line of standard error names a file of this batch.
	for (const std::string& line : lines(r.err))
		EXPECT_NE(line.find(": "), std::string::npos) << line;
	// No temporary file left behind.
	EXPECT_EQ(dir.list("output").size(), good.size() + bad.size());
}

} // namespace
