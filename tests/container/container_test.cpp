#include "container/container.h"
#include "samples/samples.h"

#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <algorithm>
#include <vector>

using namespace kestrun;
using samples::buffer;
using samples::ContainerBlock;

namespace {

class Container : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_EQ(lzo_init(), LZO_E_OK); }
};

struct Decoded {
	buffer stream; // the bytes produced, cut to the returned length
	ContainerResult result;
};

// Decodes into a buffer of exactly `capacity` bytes, so that a write past it
// shows under AddressSanitizer.
Decoded decode(const buffer& container, std::size_t capacity = stream_capacity)
{
	Decoded d{buffer(capacity), {}};
	d.result = decompress_container(container, d.stream);
	EXPECT_LE(d.result.length, capacity);
	d.stream.resize(std::min<std::size_t>(d.result.length, capacity));
	return d;
}

// Compressible but varied content: runs of a counter with noise.
buffer raw_bytes(std::uint64_t seed, std::size_t n)
{
	samples::Prng rng{seed};
	buffer b(n);
	for (std::size_t i = 0; i < n; i++)
		b[i] = std::uint8_t(i / 7 + (rng.below(5) == 0 ? rng.below(256) : 0));
	return b;
}

buffer concat(std::initializer_list<const buffer*> parts)
{
	buffer out;
	for (const buffer* p : parts)
		out.insert(out.end(), p->begin(), p->end());
	return out;
}

ContainerBlock block_of(const buffer& raw)
{
	ContainerBlock b;
	b.data = samples::lzo_compress(raw);
	return b;
}

// Three blocks of different sizes and their concatenated content.
struct ThreeBlocks {
	buffer raw[3] = {raw_bytes(1, 5000), raw_bytes(2, 3000), raw_bytes(3, 4500)};
	std::vector<ContainerBlock> blocks = {block_of(raw[0]), block_of(raw[1]), block_of(raw[2])};
	buffer stream = concat({&raw[0], &raw[1], &raw[2]});

	// File offset of block k's header.
	std::uint64_t header(std::size_t k) const
	{
		std::uint64_t at = 12;
		for (std::size_t i = 0; i < k; i++)
			at += 12 + blocks[i].data.size();
		return at;
	}
};

} // namespace

TEST_F(Container, BlocksAreConcatenated)
{
	ThreeBlocks t;
	Decoded d = decode(samples::assemble_container(t.blocks));
	EXPECT_EQ(d.result.problem, ContainerProblem::none);
	EXPECT_EQ(d.result.damaged_blocks, 0u);
	EXPECT_EQ(d.stream, t.stream);

	buffer single = samples::pack_container(t.raw[0]);
	EXPECT_EQ(decode(single).stream, t.raw[0]);
}

TEST_F(Container, FileHeaderFirstMarkerAndThirdWordsAreIgnored)
{
	ThreeBlocks t;
	t.blocks[0].marker = 0x12345678; // only later blocks need the marker
	for (std::size_t k = 0; k < 3; k++)
		t.blocks[k].third = 0xDEADBEEF + std::uint32_t(k);
	Decoded d = decode(samples::assemble_container(t.blocks, {0xFF, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0, 9, 9, 9, 9}));
	EXPECT_EQ(d.result.problem, ContainerProblem::none);
	EXPECT_EQ(d.stream, t.stream);
}

// The next header stands at 24 + L1 even when the LZO stream ends earlier:
// bytes after the end code belong to the block and are not damage.
TEST_F(Container, NextHeaderFollowsTheCompressedLength)
{
	buffer first = raw_bytes(4, 40), second = raw_bytes(5, 300);
	ContainerBlock a = block_of(first);
	ASSERT_LT(a.data.size(), 100u);
	a.data.resize(100, 4); // padding of 4s: a reader stopping at the end code would take them for a marker
	buffer file = samples::assemble_container({a, block_of(second)});
	ASSERT_EQ(load_u32(file, 124), 4u);

	Decoded d = decode(file);
	EXPECT_EQ(d.result.problem, ContainerProblem::none);
	EXPECT_EQ(d.stream, concat({&first, &second}));
}

TEST_F(Container, DamagedBlockKeepsItsPrefixAndTheRestFollows)
{
	ThreeBlocks t;
	t.blocks[1].data.resize(t.blocks[1].data.size() / 2); // cut short, length field to match
	Decoded d = decode(samples::assemble_container(t.blocks));

	EXPECT_EQ(d.result.problem, ContainerProblem::block_damaged);
	EXPECT_EQ(d.result.block, 1u);
	EXPECT_EQ(d.result.offset, t.header(1));
	EXPECT_EQ(d.result.damaged_blocks, 1u);

	const std::size_t n0 = t.raw[0].size(), n2 = t.raw[2].size();
	ASSERT_GT(d.stream.size(), n0 + n2);
	const std::size_t n1 = d.stream.size() - n0 - n2;
	EXPECT_LT(n1, t.raw[1].size());
	EXPECT_TRUE(std::equal(t.raw[0].begin(), t.raw[0].end(), d.stream.begin()));
	EXPECT_TRUE(std::equal(t.raw[1].begin(), t.raw[1].begin() + std::ptrdiff_t(n1), d.stream.begin() + std::ptrdiff_t(n0)));
	EXPECT_TRUE(std::equal(t.raw[2].begin(), t.raw[2].end(), d.stream.end() - std::ptrdiff_t(n2)));
}

TEST_F(Container, ContentLargerThanTheBufferIsCutAtItsEnd)
{
	ThreeBlocks t;
	const buffer file = samples::assemble_container(t.blocks);
	const std::size_t capacity = t.raw[0].size() + 1000; // runs out inside block 1

	buffer memory(capacity + 64, 0xA5);
	mut_bytes stream(memory.data(), capacity);
	ContainerResult r = decompress_container(file, stream);

	EXPECT_EQ(r.problem, ContainerProblem::capacity_exceeded);
	EXPECT_EQ(r.block, 1u);
	EXPECT_EQ(r.offset, t.header(1));
	EXPECT_EQ(r.damaged_blocks, 2u); // block 2 was still walked, and had no room left
	EXPECT_LE(r.length, capacity);
	EXPECT_TRUE(std::equal(memory.begin(), memory.begin() + r.length, t.stream.begin()));
	EXPECT_TRUE(std::all_of(memory.begin() + std::ptrdiff_t(capacity), memory.end(),
	                        [](std::uint8_t b) { return b == 0xA5; }));

	Decoded exact = decode(file, t.stream.size());
	EXPECT_EQ(exact.result.problem, ContainerProblem::none);
	EXPECT_EQ(exact.stream, t.stream);
}

TEST_F(Container, TrailingBytesAfterTheLastBlock)
{
	ThreeBlocks t;
	for (std::size_t stray = 1; stray <= 3; stray++) {
		buffer file = samples::assemble_container(t.blocks);
		file.resize(file.size() + stray, 4);
		Decoded d = decode(file);
		EXPECT_EQ(d.result.problem, ContainerProblem::none) << stray << " stray bytes";
		EXPECT_EQ(d.stream, t.stream);
	}
	buffer file = samples::assemble_container(t.blocks);
	file.insert(file.end(), {5, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
	Decoded d = decode(file);
	EXPECT_EQ(d.result.problem, ContainerProblem::none);
	EXPECT_EQ(d.stream, t.stream);
}

TEST_F(Container, EmptyBlockContributesNothing)
{
	ThreeBlocks t;
	t.blocks.insert(t.blocks.begin() + 1, ContainerBlock{});
	t.blocks.push_back(ContainerBlock{});
	Decoded d = decode(samples::assemble_container(t.blocks));
	EXPECT_EQ(d.result.problem, ContainerProblem::none);
	EXPECT_EQ(d.stream, t.stream);
}

TEST_F(Container, TooShortForOneBlock)
{
	ThreeBlocks t;
	const buffer file = samples::assemble_container(t.blocks);
	for (std::size_t n = 0; n < 24; n++) {
		buffer prefix(file.begin(), file.begin() + std::ptrdiff_t(n));
		Decoded d = decode(prefix);
		EXPECT_EQ(d.result.length, 0u);
		EXPECT_EQ(d.result.problem, ContainerProblem::too_short) << n << " bytes";
	}
}

TEST_F(Container, LengthPastTheEndEndsTheWalk)
{
	ThreeBlocks t;
	t.blocks[2].length_set = true;
	t.blocks[2].length = std::uint32_t(t.blocks[2].data.size() + 10);
	Decoded d = decode(samples::assemble_container(t.blocks));
	EXPECT_EQ(d.result.problem, ContainerProblem::block_incomplete);
	EXPECT_EQ(d.result.block, 2u);
	EXPECT_EQ(d.result.offset, t.header(2));
	EXPECT_TRUE(std::equal(d.stream.begin(), d.stream.end(), t.stream.begin()));

	// A length near 2^32 in the middle: nothing after it is taken for a block.
	ThreeBlocks u;
	u.blocks[1].length_set = true;
	u.blocks[1].length = 0xFFFFFFF0;
	Decoded e = decode(samples::assemble_container(u.blocks));
	EXPECT_EQ(e.result.problem, ContainerProblem::block_incomplete);
	EXPECT_EQ(e.result.block, 1u);
	EXPECT_LE(e.stream.size(), u.raw[0].size() + u.raw[1].size() + 64);
}

TEST_F(Container, MarkerWithoutRoomForAHeader)
{
	ThreeBlocks t;
	for (std::size_t extra = 0; extra < 8; extra++) {
		buffer file = samples::assemble_container(t.blocks);
		const std::uint64_t marker_at = file.size();
		file.insert(file.end(), {4, 0, 0, 0});
		file.resize(file.size() + extra, 1);
		Decoded d = decode(file);
		EXPECT_EQ(d.result.problem, ContainerProblem::header_incomplete) << extra;
		EXPECT_EQ(d.result.block, 3u);
		EXPECT_EQ(d.result.offset, marker_at);
		EXPECT_EQ(d.stream, t.stream);
	}
}

// Every prefix, copied into a heap block of exactly its size: nothing is read
// past it, what comes out is a prefix of the content, and only a prefix that
// ends at a block boundary, or up to three bytes past one, passes without a
// problem: the format has no block count to tell it from a whole file.
TEST_F(Container, EveryTruncatedPrefix)
{
	ThreeBlocks t;
	const buffer file = samples::assemble_container(t.blocks);
	const std::uint64_t boundaries[] = {t.header(1), t.header(2), file.size()};
	for (std::size_t n = 0; n <= file.size(); n++) {
		buffer prefix(file.begin(), file.begin() + std::ptrdiff_t(n));
		Decoded d = decode(prefix, t.stream.size());
		ASSERT_TRUE(std::equal(d.stream.begin(), d.stream.end(), t.stream.begin())) << n;
		const bool boundary = std::any_of(std::begin(boundaries), std::end(boundaries),
		                                  [n](std::uint64_t b) { return n >= b && n - b <= 3; });
		ASSERT_EQ(d.result.problem == ContainerProblem::none, boundary) << n << " bytes";
	}
}

TEST_F(Container, SampleFilesUnpackToTheirStreams)
{
	for (const samples::SampleFile& f : samples::sample_set(3, 4, 2)) {
		Decoded d = decode(f.container);
		EXPECT_EQ(d.result.problem, ContainerProblem::none) << f.name;
		EXPECT_EQ(d.stream, f.stream) << f.name;
	}
}
