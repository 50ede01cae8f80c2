// The stamp pass and the chunk walk.
#include "geometry/geometry.h"
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

TEST(Restamp, OtherSelectorsWriteTheirStamps)
{
	EXPECT_EQ(target_stamp_for(0), 0x00000310u);
	EXPECT_EQ(target_stamp_for(1), 0x0800FFFFu);
	EXPECT_EQ(target_stamp_for(2), 0x1003FFFFu);
	EXPECT_EQ(target_stamp_for(7), 0x00000310u);
	buffer in = xbox;
	put_bytes(in, xbox);
	restamp_stream(in, target_stamp_for(1));
	EXPECT_EQ(in, (buffer{0xFF, 0xFF, 0x00, 0x08, 0xFF, 0xFF, 0x00, 0x08}));
}

TEST(ConvertStream, StreamWithoutGeometryComesBackRestamped)
{
	std::vector<GeometryReport> problems;
	const buffer plain = parent_chunk(type_clump, {chunk(type_struct, buffer{1, 2, 3, 4}, 0x0800FFFF)}, 0x0800FFFF);
	EXPECT_EQ(convert_stream(plain, problems), plain);

	buffer with_data = parent_chunk(type_clump, {chunk(type_struct, xbox)});
	buffer expected = parent_chunk(type_clump, {chunk(type_struct, target, target_stamp)}, target_stamp);
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
	put_u32(in, type_geometry);
	put_u32(in, 0x310);
	put_u32(in, 0x1234);
	in.resize(0x310 + 12, 0);
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(in, problems), in);
	EXPECT_TRUE(problems.empty());
}

TEST(Walk, DataThatLooksLikeAGeometryListOnlyMovesTheRememberedList)
{
	// The stamp inside data with 0x1A eight bytes before it acts as a Geometry
	// List header: its "size" is what the next rebuild corrects. Kept as
	// designed; stored files were made this way.
	NativeGeometry g = one_triangle_geometry();
	buffer fake_list;
	put_u32(fake_list, type_geometry_list);
	put_u32(fake_list, 100);
	put_u32(fake_list, target_stamp);
	const buffer in = parent_chunk(type_clump, {chunk(type_struct, fake_list), native_geometry_chunk(g)});
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(in, problems);
	GeometryLayout layout;
	ASSERT_EQ(plan_geometry(in, 36, in.size(), layout), GeometryProblem::none);
	EXPECT_EQ(load_u32(out, 28), 100 + layout.growth);
	EXPECT_TRUE(problems.empty());
}

TEST(Walk, GoesOnAfterTheRebuiltGeometry)
{
	// Vertex data holding the stamp and a Geometry type ahead of it would be
	// met again if the walk looked inside the rebuilt Geometry.
	NativeGeometry g = one_triangle_geometry();
	g.vertices[1].position = {std::bit_cast<float>(type_geometry), 0.0f, std::bit_cast<float>(target_stamp)};
	const buffer in = parent_chunk(type_clump, {native_geometry_chunk(g)});
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(in, problems), parent_chunk(type_clump, {generic_geometry_chunk(g)}, target_stamp));
	EXPECT_TRUE(problems.empty());
}

} // namespace
