// The stamp pass and the chunk walk.
#include "geometry/steps.h"
#include "samples/samples.h"

#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

const buffer xbox = {0xFF, 0xFF, 0x00, 0x14};
const buffer target = {0x10, 0x03, 0x00, 0x00};

TEST(Restamp, EveryOccurrenceAtAnyAlignment)
{
	buffer in = {1};
	put_bytes(in, xbox);    // at 1
	put_bytes(in, buffer{0xFF});  // FF FF FF 00 14: the match starts one later
	put_bytes(in, xbox);
	put_bytes(in, buffer{0xFF, 0xFF, 0x00});
	put_bytes(in, xbox);    // ends at the last byte
	buffer expected = {1};
	put_bytes(expected, target);
	put_bytes(expected, buffer{0xFF});
	put_bytes(expected, target);
	put_bytes(expected, buffer{0xFF, 0xFF, 0x00});
	put_bytes(expected, target);
	restamp_stream(in, target_stamp);
	EXPECT_EQ(in, expected);

	for (std::size_t n = 0; n < 4; n++) {
		buffer tiny(xbox.begin(), xbox.begin() + std::ptrdiff_t(n));
		restamp_stream(tiny, target_stamp);
		EXPECT_EQ(tiny, buffer(xbox.begin(), xbox.begin() + std::ptrdiff_t(n)));
	}
}

TEST(ConvertStream, StreamWithoutGeometryComesBackRestamped)
{
	std::vector<GeometryReport> problems;
	const buffer plain = parent_chunk(format::type_clump, {chunk(format::type_struct, buffer{1, 2, 3, 4}, 0x0800FFFF)}, 0x0800FFFF);
	EXPECT_EQ(convert_stream(plain, problems), plain);

	buffer with_data = parent_chunk(format::type_clump, {chunk(format::type_struct, xbox)});
	buffer expected = parent_chunk(format::type_clump, {chunk(format::type_struct, target, target_stamp)}, target_stamp);
	EXPECT_EQ(convert_stream(with_data, problems), expected);

	for (std::size_t n = 0; n < 4; n++)
		EXPECT_EQ(convert_stream(buffer(n, 0xFF), problems), buffer(n, 0xFF));
	EXPECT_TRUE(problems.empty());
}

TEST(Walk, TargetStampInTheFirstEightBytesIsNoHeader)
{
	// A first chunk of size 0x310 shows the target stamp at offset 4; with a
	// Geometry type 8 bytes before it there would be a read before the start.
	buffer in;
	put_u32(in, format::type_geometry);
	put_u32(in, 0x310);
	put_u32(in, 0x1234);
	in.resize(0x310 + 12, 0);
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(in, problems), in);
	EXPECT_TRUE(problems.empty());
}

TEST(Walk, OnlyChunksThatHoldTheWholeGeometryTakeItsGrowth)
{
	const NativeGeometry a = one_triangle_geometry(), b = one_triangle_geometry({2, 1, 0});
	const buffer na = native_geometry_chunk(a), nb = native_geometry_chunk(b);
	const buffer ga = generic_geometry_chunk(a), gb = generic_geometry_chunk(b);
	const std::uint32_t t = target_stamp;
	const auto list = [](const buffer& geometry, std::uint32_t stamp) {
		buffer body = chunk(format::type_struct, buffer{1, 0, 0, 0}, stamp);
		put_bytes(body, geometry);
		return chunk(format::type_geometry_list, body, stamp);
	};
	const auto joined = [](std::initializer_list<buffer> parts) {
		buffer out;
		for (const buffer& p : parts)
			put_bytes(out, p);
		return out;
	};
	const buffer small = chunk(0x99, buffer{1, 2, 3, 4}), small_out = chunk(0x99, buffer{1, 2, 3, 4}, t);
	struct Case {
		const char* what;
		buffer in, expected;
	} cases[] = {
	    {"a small chunk in front of the model", joined({small, parent_chunk(format::type_clump, {list(na, format::console_stamp)})}),
	     joined({small_out, parent_chunk(format::type_clump, {list(ga, t)}, t)})},
	    {"two top-level models",
	     joined({parent_chunk(format::type_clump, {list(na, format::console_stamp)}), parent_chunk(format::type_clump, {list(nb, format::console_stamp)})}),
	     joined({parent_chunk(format::type_clump, {list(ga, t)}, t), parent_chunk(format::type_clump, {list(gb, t)}, t)})},
	    {"a list that ends before the Geometry", parent_chunk(format::type_clump, {list(buffer(), format::console_stamp), na}),
	     parent_chunk(format::type_clump, {list(buffer(), t), ga}, t)},
	    {"no top-level chunk around the Geometry", joined({small, na}), joined({small_out, ga})},
	};
	for (const Case& c : cases) {
		std::vector<GeometryReport> problems;
		EXPECT_EQ(convert_stream(c.in, problems), c.expected) << c.what;
		EXPECT_TRUE(problems.empty()) << c.what;
	}

	// A first chunk that ends inside the Geometry, and a Geometry List in
	// data (the stamp with 0x1A eight bytes before it) too short to hold it:
	// neither changes.
	buffer fake_list;
	put_u32(fake_list, format::type_geometry_list);
	put_u32(fake_list, 100);
	put_u32(fake_list, t);
	buffer in = parent_chunk(format::type_clump, {chunk(format::type_struct, fake_list), na});
	store_u32(in, 4, load_u32(in, 4) - 20);
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(in, problems);
	EXPECT_EQ(load_u32(out, 4), load_u32(in, 4));
	EXPECT_EQ(load_u32(out, 28), 100u);
	EXPECT_EQ(buffer(out.begin() + 36, out.end()), ga);
	EXPECT_TRUE(problems.empty());
}

TEST(Walk, GoesOnAfterTheRebuiltGeometry)
{
	// Vertex data holding the stamp and a Geometry type ahead of it would be
	// met again if the walk looked inside the rebuilt Geometry.
	NativeGeometry g = one_triangle_geometry();
	g.vertices[1].position = {std::bit_cast<float>(format::type_geometry), 0.0f, std::bit_cast<float>(target_stamp)};
	const buffer in = parent_chunk(format::type_clump, {native_geometry_chunk(g)});
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(in, problems), parent_chunk(format::type_clump, {generic_geometry_chunk(g)}, target_stamp));
	EXPECT_TRUE(problems.empty());
}

TEST(Walk, HeaderBeginningInARebuiltGeometryIsReadAsConverted)
{
	// The first geometry's rebuilt Bin Mesh ends with the index 15, the
	// Geometry type; the second geometry's header lacks its type and so
	// begins in those last bytes. The walk sees the stream as converted so
	// far, and converts the second one too.
	const NativeGeometry a = one_triangle_geometry({0, 1, 15}), b = one_triangle_geometry();
	buffer in = native_geometry_chunk(a);
	const buffer nb = native_geometry_chunk(b);
	in.insert(in.end(), nb.begin() + 4, nb.end());
	buffer expected = generic_geometry_chunk(a);
	const buffer gb = generic_geometry_chunk(b);
	ASSERT_EQ(load_u32(expected, expected.size() - 4), format::type_geometry);
	expected.insert(expected.end(), gb.begin() + 4, gb.end());
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(in, problems), expected);
	EXPECT_TRUE(problems.empty());
}

} // namespace
