#include "gltf/gltf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrun::gltf {
namespace {

using quat = std::array<double, 4>; // x, y, z, w

// The frame (right, up, at) of a rotation q followed by per-axis scale.
std::array<float, 9> frame_of(quat q, std::array<double, 3> scale = {1, 1, 1})
{
	const auto [x, y, z, w] = q;
	const double m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
	                        {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
	                        {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}};
	std::array<float, 9> f;
	for (int c = 0; c < 3; c++)
		for (int r = 0; r < 3; r++)
			f[3 * c + r] = float(m[c][r] * scale[c]);
	return f;
}

void expect_near(const auto& got, const auto& want, double tolerance = 1e-6)
{
	ASSERT_EQ(got.size(), want.size());
	for (std::size_t i = 0; i < got.size(); i++)
		EXPECT_NEAR(got[i], want[i], tolerance) << "component " << i;
}

// q and -q are the same turn; for a half turn (w = 0) either may come out.
void expect_same_turn(const quat& got, quat want)
{
	const double d = got[0] * want[0] + got[1] * want[1] + got[2] * want[2] + got[3] * want[3];
	if (d < 0)
		for (double& v : want)
			v = -v;
	expect_near(got, want);
	EXPECT_GE(got[3], 0);
}

TEST(DecomposeFrame, KnownQuaternionsIncludingHalfTurns)
{
	const double h = std::sqrt(0.5);
	const quat cases[] = {
	    {0, 0, 0, 1},         {0, 0, h, h},   {h, 0, 0, h},      {0.5, 0.5, 0.5, 0.5},
	    {1, 0, 0, 0},         {0, 1, 0, 0},   {0, 0, 1, 0},      {h, h, 0, 0}, // half turns
	    {0, h, -h, 0},        {0.6, 0, 0.8, 0},                            // half turns about tilted axes
	    {0.1, -0.7, 0.1, 0.7}};
	for (quat q : cases) {
		const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
		for (double& v : q)
			v /= n;
		Trs trs;
		ASSERT_TRUE(decompose_frame(frame_of(q), {1, 2, 3}, trs));
		expect_same_turn(trs.rotation, q);
		expect_near(trs.scale, std::array<double, 3>{1, 1, 1});
		expect_near(trs.translation, std::array<double, 3>{1, 2, 3});
	}
	// The half turn about x written out: right (1,0,0), up (0,-1,0), at (0,0,-1).
	Trs trs;
	ASSERT_TRUE(decompose_frame({1, 0, 0, 0, -1, 0, 0, 0, -1}, {}, trs));
	EXPECT_EQ(trs.rotation, (quat{1, 0, 0, 0}));
}

TEST(DecomposeFrame, ScaleMirrorShearAndBadValues)
{
	const quat q{0, 0, std::sqrt(0.5), std::sqrt(0.5)};
	Trs trs;
	ASSERT_TRUE(decompose_frame(frame_of(q, {2, 3, 0.5}), {}, trs));
	expect_near(trs.rotation, q);
	expect_near(trs.scale, std::array<double, 3>{2, 3, 0.5});

	// A mirror keeps its handedness in a negative z scale.
	ASSERT_TRUE(decompose_frame(frame_of(q, {1, 1, -4}), {}, trs));
	expect_near(trs.rotation, q);
	expect_near(trs.scale, std::array<double, 3>{1, 1, -4});

	// Shear is dropped: the rotation stays a unit quaternion.
	ASSERT_TRUE(decompose_frame({1, 0, 0, 0.2f, 1, 0, 0, 0, 1}, {}, trs));
	const auto& r = trs.rotation;
	EXPECT_NEAR(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3], 1, 1e-12);
	EXPECT_NEAR(r[3], 1, 1e-9);

	// A zero axis: scale 0, the rotation made up from the others.
	ASSERT_TRUE(decompose_frame({0, 0, 0, 0, 1, 0, 0, 0, 1}, {}, trs));
	expect_near(trs.scale, std::array<double, 3>{0, 1, 1});
	expect_near(trs.rotation, quat{0, 0, 0, 1});
	ASSERT_TRUE(decompose_frame({0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, trs));
	expect_near(trs.rotation, quat{0, 0, 0, 1});

	const float nan = std::numeric_limits<float>::quiet_NaN();
	EXPECT_FALSE(decompose_frame({nan, 0, 0, 0, 1, 0, 0, 0, 1}, {5, nan, 7}, trs));
	EXPECT_EQ(trs.rotation, (quat{0, 0, 0, 1}));
	EXPECT_EQ(trs.scale, (std::array<double, 3>{1, 1, 1}));
	EXPECT_EQ(trs.translation, (std::array<double, 3>{5, 0, 7}));
}

TEST(SrgbToLinear, EndsAndMiddle)
{
	EXPECT_EQ(srgb_to_linear(0), 0.0);
	EXPECT_DOUBLE_EQ(srgb_to_linear(255), 1.0);
	EXPECT_NEAR(srgb_to_linear(10), 10 / 255.0 / 12.92, 1e-12); // the linear toe
	EXPECT_NEAR(srgb_to_linear(128), 0.21586, 1e-5);
}

TEST(WriteGlb, HeaderChunksAndPadding)
{
	const std::uint8_t bin[] = {1, 2, 3, 4, 5};
	const auto glb = write_glb("{\"a\":1}", bin);
	ASSERT_TRUE(glb);
	// 12 header + 8 + 8 JSON ("{"a":1}" plus one space) + 8 + 8 BIN (five bytes, three zeros)
	ASSERT_EQ(glb->size(), 44u);
	EXPECT_EQ(load_u32(*glb, 0), 0x46546C67u);
	EXPECT_EQ(load_u32(*glb, 4), 2u);
	EXPECT_EQ(load_u32(*glb, 8), 44u);
	EXPECT_EQ(load_u32(*glb, 12), 8u);
	EXPECT_EQ(load_u32(*glb, 16), 0x4E4F534Au);
	EXPECT_EQ(std::string(glb->begin() + 20, glb->begin() + 28), "{\"a\":1} ");
	EXPECT_EQ(load_u32(*glb, 28), 8u);
	EXPECT_EQ(load_u32(*glb, 32), 0x004E4942u);
	EXPECT_EQ(std::vector<std::uint8_t>(glb->begin() + 36, glb->end()), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0, 0, 0}));
	// No binary data: no BIN chunk.
	EXPECT_EQ(write_glb("{}  ", {})->size(), 24u);
}

} // namespace
} // namespace kestrun::gltf
