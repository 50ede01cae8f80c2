// Vertex records, the packed normal and the morph target header.
#include "geometry/steps.h"
#include "samples/samples.h"

#include <bit>
#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

std::uint32_t bits(float f)
{
	return std::bit_cast<std::uint32_t>(f);
}

TEST(PackedNormal, FieldExtremesToTheExactBits)
{
	using N = std::array<float, 3>;
	EXPECT_EQ(decode_packed_normal(0), (N{0, 0, 0}));
	EXPECT_EQ(decode_packed_normal(1023)[0], 1.0f);
	EXPECT_EQ(decode_packed_normal(1023u << 11)[1], 1.0f);
	EXPECT_EQ(decode_packed_normal(511u << 22)[2], 1.0f);

	// Most negative fields: just below -1, the nearest single to the quotient.
	EXPECT_EQ(bits(decode_packed_normal(0x400)[0]), bits(-1024.0f / 1023.0f));
	EXPECT_EQ(bits(decode_packed_normal(0x400)[0]), 0xBF802008u);
	EXPECT_EQ(bits(decode_packed_normal(0x400u << 11)[1]), 0xBF802008u);
	EXPECT_EQ(bits(decode_packed_normal(0x80000000u)[2]), bits(-512.0f / 511.0f));
	EXPECT_EQ(bits(decode_packed_normal(0x80000000u)[2]), 0xBF804020u);
	// Only the sign bits: the other fields stay 0.
	EXPECT_EQ(decode_packed_normal(0x400)[1], 0.0f);
	EXPECT_EQ(decode_packed_normal(0x80000000u)[0], 0.0f);

	const N all = decode_packed_normal(0xFFFFFFFFu);
	EXPECT_EQ(bits(all[0]), bits(-1.0f / 1023.0f));
	EXPECT_EQ(bits(all[1]), bits(-1.0f / 1023.0f));
	EXPECT_EQ(bits(all[2]), bits(-1.0f / 511.0f));
	EXPECT_NEAR(all[0], -0.00097752, 1e-8);
	EXPECT_NEAR(all[2], -0.00195695, 1e-8);
}

struct Converted {
	buffer colours, texcoords, positions, normals;
};

// Converts `count` records laid out with `flags`, after a 4-byte lead.
Converted convert(std::uint16_t flags, const buffer& records, std::uint32_t count)
{
	buffer old = {1, 2, 3, 4};
	put_bytes(old, records);
	Converted c{buffer(flags & format::flag_prelit_colours ? 4 * count : 0), buffer(flags & format::flag_texture_coordinates ? 8 * count : 0),
	            buffer(12 * count), buffer(flags & format::flag_normals ? 12 * count : 0)};
	convert_vertex_records(old, flags, count, 4, {c.colours, c.texcoords, c.positions, c.normals});
	return c;
}

buffer record(std::initializer_list<std::uint32_t> words)
{
	buffer out;
	for (std::uint32_t w : words)
		put_u32(out, w);
	return out;
}

TEST(VertexRecords, StrideAndFieldOffsetsFollowTheFlags)
{
	const std::uint32_t x = bits(1.5f), y = bits(-2.0f), z = bits(3.25f), u = bits(0.125f), v = bits(0.75f);
	const std::uint32_t normal = 1023, colour = 0x40302010;

	EXPECT_EQ(vertex_stride(0), 12u);
	Converted plain = convert(0, record({x, y, z, x, x, x}), 2);
	EXPECT_EQ(plain.positions, record({x, y, z, x, x, x}));

	EXPECT_EQ(vertex_stride(0x04), 20u);
	Converted tex = convert(0x04, record({x, y, z, u, v}), 1);
	EXPECT_EQ(tex.texcoords, record({u, v}));
	EXPECT_EQ(tex.positions, record({x, y, z}));

	EXPECT_EQ(vertex_stride(0x10 | 0x04), 24u);
	Converted nt = convert(0x10 | 0x04, record({x, y, z, normal, u, v}), 1);
	EXPECT_EQ(nt.normals, record({bits(1.0f), 0, 0}));
	EXPECT_EQ(nt.texcoords, record({u, v}));

	EXPECT_EQ(vertex_stride(0x08 | 0x04), 24u);
	Converted ct = convert(0x08 | 0x04, record({x, y, z, colour, u, v}), 1);
	EXPECT_EQ(ct.colours, (buffer{0x30, 0x20, 0x10, 0x40}));
	EXPECT_EQ(ct.texcoords, record({u, v}));

	// Normal first, then the colour, then the texture coordinates.
	EXPECT_EQ(vertex_stride(0x10 | 0x08 | 0x04), 28u);
	Converted all = convert(0x10 | 0x08 | 0x04, record({x, y, z, normal, colour, u, v, x, y, z, 0, colour, v, u}), 2);
	EXPECT_EQ(all.normals, record({bits(1.0f), 0, 0, 0, 0, 0}));
	EXPECT_EQ(all.colours, (buffer{0x30, 0x20, 0x10, 0x40, 0x30, 0x20, 0x10, 0x40}));
	EXPECT_EQ(all.texcoords, record({u, v, v, u}));
	EXPECT_EQ(all.positions, record({x, y, z, x, y, z}));
}

TEST(VertexRecords, NoVerticesWriteNothing)
{
	Converted none = convert(0x1C, {}, 0);
	EXPECT_TRUE(none.positions.empty());
}

TEST(MorphTarget, HeaderCarriesTheSphereAndTheNormalFlag)
{
	const buffer sphere = record({bits(1.5f), bits(2.5f), bits(3.5f), bits(4.5f)});
	buffer header(24, 0xAB);
	write_morph_target_header(sphere, 0, 0x10, header);
	buffer expected = sphere;
	put_bytes(expected, record({1, 1}));
	EXPECT_EQ(header, expected);
	write_morph_target_header(sphere, 0, 0x0C, header);
	EXPECT_EQ(load_u32(header, 20), 0u);
	EXPECT_EQ(load_u32(header, 16), 1u);
}

} // namespace
