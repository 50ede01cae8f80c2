// The walk assembles its output as it goes; a plain rebuild copies the whole
// stream per geometry. Both must give the same bytes and the same reports,
// on good streams and on damaged ones.
#include "geometry/geometry.h"
#include "samples/samples.h"
#include "support/reference_walk.h"

#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;
using kestrun::testing::reference_convert_stream;

namespace {

void expect_same(const buffer& in, const std::string& what)
{
	std::vector<GeometryReport> fast_problems, plain_problems;
	const buffer fast = convert_stream(in, fast_problems);
	const buffer plain = reference_convert_stream(in, plain_problems);
	ASSERT_EQ(fast, plain) << what;
	ASSERT_EQ(fast_problems.size(), plain_problems.size()) << what;
	for (std::size_t k = 0; k < fast_problems.size(); k++) {
		EXPECT_EQ(fast_problems[k].offset, plain_problems[k].offset) << what;
		EXPECT_EQ(fast_problems[k].problem, plain_problems[k].problem) << what;
	}
}

Model random_model(Prng& rng)
{
	Model model;
	model.frames.resize(1 + rng.below(4));
	const std::uint32_t geometries = 1 + rng.below(12);
	for (std::uint32_t k = 0; k < geometries; k++)
		model.geometries.push_back(
		    random_geometry(rng, std::uint16_t(4 * rng.below(8)), rng.below(2) == 1, 3 + rng.below(60)));
	return model;
}

TEST(Assembly, AgreesWithThePlainRebuildOnGeneratedModels)
{
	Prng rng{2024};
	for (int n = 0; n < 60; n++)
		expect_same(model_stream(random_model(rng), Form::native), "model " + std::to_string(n));
}

TEST(Assembly, AgreesOnDamagedModels)
{
	// One word at a time set to a hostile value, over the first few hundred
	// positions of several models: sizes, counts, types and stamps alike.
	Prng rng{77};
	const std::uint32_t values[] = {0, 3, 0x0F, 0x1A, 0x310, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFF0};
	for (int n = 0; n < 4; n++) {
		const buffer good = model_stream(random_model(rng), Form::native);
		for (std::size_t at = 0; at + 4 <= good.size() && at < 1200; at += 4)
			for (std::uint32_t v : values) {
				buffer bad = good;
				store_u32(bad, at, v);
				expect_same(bad, "model " + std::to_string(n) + " word " + std::to_string(at) + " = " +
				                     std::to_string(v));
				if (HasFatalFailure())
					return;
			}
	}
}

TEST(Assembly, AgreesOnRandomBytesAndStampSoup)
{
	// Streams dense with stamps and chunk types, so that matches fall near
	// the seams between rebuilt and passed bytes.
	Prng rng{5};
	const std::uint32_t words[] = {target_stamp, xbox_stamp, chunk_geometry, chunk_geometry_list, 0, 4, 12, 40};
	for (int n = 0; n < 300; n++) {
		buffer in;
		const std::uint32_t count = 4 + rng.below(200);
		for (std::uint32_t k = 0; k < count; k++) {
			if (rng.below(5) == 0)
				put_u8(in, std::uint8_t(rng.below(256)));
			else
				put_u32(in, words[rng.below(8)]);
		}
		expect_same(in, "soup " + std::to_string(n));
	}
}

TEST(Assembly, AgreesWhenAHeaderStraddlesTheSeam)
{
	// The rebuilt Bin Mesh ends with the index 15 as a u32, and the chunk
	// after the Geometry has the size 0x310: the walk meets a "Geometry"
	// header that begins in rebuilt bytes and ends in passed ones.
	NativeGeometry g = one_triangle_geometry({0, 1, 15}, 16);
	buffer list = chunk(type_struct, buffer{1, 0, 0, 0});
	put_bytes(list, native_geometry_chunk(g));
	put_bytes(list, chunk(0x77, buffer(0x310, 0)));
	const buffer in = parent_chunk(type_clump, {chunk(type_geometry_list, list)});
	expect_same(in, "straddle");
	std::vector<GeometryReport> problems;
	convert_stream(in, problems);
	EXPECT_EQ(problems.size(), 1u); // the false header could not be rebuilt
}

} // namespace
