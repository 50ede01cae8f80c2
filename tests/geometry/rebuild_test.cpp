// Whole-geometry rebuilds: layouts, sizes and the enclosing chunks.
#include "geometry/geometry.h"
#include "samples/samples.h"
#include "support/chunk_tree.h"

#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

buffer words(std::initializer_list<std::uint32_t> values)
{
	buffer out;
	for (std::uint32_t v : values)
		put_u32(out, v);
	return out;
}

buffer cat(std::initializer_list<buffer> parts)
{
	buffer out;
	for (const buffer& p : parts)
		put_bytes(out, p);
	return out;
}

// The Struct at the head of a Geometry List: the geometry count.
buffer list_struct(std::uint32_t count, std::uint32_t stamp = xbox_stamp)
{
	return chunk(type_struct, words({count}), stamp);
}

buffer zeros(std::size_t n)
{
	return buffer(n, 0);
}

// A Material List of size 36 whose Struct body starts with the count 1.
buffer material_list_of(std::uint32_t stamp)
{
	return chunk(type_material_list, chunk(type_struct, words({1, 0xFFFFFFFF, 2, 3, 4, 5}), stamp), stamp);
}

const std::array<std::array<float, 3>, 4> small_positions = {{{0.5f, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}}};

// The small model worked through by hand: one Geometry of two list triangles
// over four positions, as the console stores it.
buffer small_native_stream(std::uint32_t stamp = xbox_stamp)
{
	buffer header = words({0x00010002u | (1u << 16), 2, 4, 1});
	// flags 0x0002, texture-set count 1, native flags 1
	header[0] = 0x02;
	header[1] = 0x00;
	header[2] = 1;
	header[3] = 1;
	buffer geometry_struct = header;
	for (float f : {1.5f, 2.5f, 3.5f, 4.5f})
		put_f32(geometry_struct, f);
	put_bytes(geometry_struct, buffer{9, 9, 9, 9, 9, 9, 9, 9});

	buffer material_list = material_list_of(stamp);
	buffer native_body = zeros(52);
	put_bytes(native_body, words({0, 0, 6, 0, 0, 0})); // one descriptor, index count 6
	put_bytes(native_body, zeros(4));
	for (std::uint16_t i : {0, 1, 2, 2, 1, 3})
		put_u16(native_body, i);
	for (const auto& p : small_positions)
		for (float f : p)
			put_f32(native_body, f);
	buffer extension = cat({chunk(type_bin_mesh, words({0, 1, 6, 6, 0}), stamp),
	                        chunk(type_native_data, native_body, stamp), buffer(16, 0x5A)});
	buffer geometry = parent_chunk(type_geometry,
	                               {chunk(type_struct, geometry_struct, stamp), material_list,
	                                chunk(type_extension, extension, stamp)},
	                               stamp);
	buffer list = cat({chunk(type_struct, words({1}), stamp), geometry});
	return parent_chunk(type_clump,
	                    {chunk(type_struct, words({1, 0, 0}), stamp), chunk(type_geometry_list, list, stamp),
	                     chunk(0x99, buffer(28, 0x33), stamp), chunk(0x98, buffer{}, stamp)},
	                    stamp);
}

// What it must become, written out field by field.
buffer small_generic_stream()
{
	const std::uint32_t t = target_stamp;
	buffer body = {0x02, 0x00, 0, 0};
	put_bytes(body, words({2, 4, 1}));
	for (int k = 0; k < 3; k++)
		put_f32(body, 1.0f);
	for (std::uint16_t v : {1, 0, 0, 2, 1, 2, 0, 3}) // triangles (0,1,2) and (2,1,3)
		put_u16(body, v);
	for (float f : {1.5f, 2.5f, 3.5f, 4.5f})
		put_f32(body, f);
	put_bytes(body, words({1, 0}));
	for (const auto& p : small_positions)
		for (float f : p)
			put_f32(body, f);

	buffer material_list = material_list_of(t);
	buffer bin_mesh = chunk(type_bin_mesh, words({0, 1, 6, 6, 0, 0, 1, 2, 2, 1, 3}), t);
	buffer geometry = parent_chunk(
	    type_geometry, {chunk(type_struct, body, t), material_list, chunk(type_extension, bin_mesh, t)}, t);
	buffer list = cat({chunk(type_struct, words({1}), t), geometry});
	return parent_chunk(type_clump,
	                    {chunk(type_struct, words({1, 0, 0}), t), chunk(type_geometry_list, list, t),
	                     chunk(0x99, buffer(28, 0x33), t), chunk(0x98, buffer{}, t)},
	                    t);
}

TEST(Rebuild, SmallStreamWorkedThrough)
{
	const buffer in = small_native_stream();
	ASSERT_EQ(in.size(), 440u);
	ASSERT_EQ(load_u32(in, 4), 428u);
	ASSERT_EQ(load_u32(in, 64 + 4), 312u);

	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(in, problems);
	EXPECT_TRUE(problems.empty());
	ASSERT_EQ(out.size(), 372u);
	EXPECT_EQ(load_u32(out, 4), 360u);       // first chunk
	EXPECT_EQ(load_u32(out, 36 + 4), 272u);  // Geometry List
	EXPECT_EQ(load_u32(out, 64 + 4), 244u);  // Geometry
	EXPECT_EQ(load_u32(out, 76 + 4), 116u);  // Struct
	EXPECT_EQ(out[90], 0);                   // texture-set count
	EXPECT_EQ(out[91], 0);                   // native flags
	EXPECT_EQ(load_u32(out, 252 + 4), 56u);  // Extension
	EXPECT_EQ(load_u32(out, 264 + 4), 44u);  // Bin Mesh
	EXPECT_EQ(out, small_generic_stream());
	EXPECT_EQ(check_chunk_tree(out), "");
}

TEST(Rebuild, CallersStreamIsNotChanged)
{
	const buffer in = small_native_stream();
	const buffer copy = in;
	std::vector<GeometryReport> problems;
	convert_stream(in, problems);
	EXPECT_EQ(in, copy);
}

TEST(Rebuild, TargetStampedGeometryIsRebuiltOtherStampsAreNot)
{
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(small_native_stream(target_stamp), problems), small_generic_stream());

	// A stamp that is neither: nothing is rebuilt and nothing changes.
	const buffer other = small_native_stream(0x0800FFFF);
	EXPECT_EQ(convert_stream(other, problems), other);
	EXPECT_TRUE(problems.empty());
}

// A geometry built from a description, for the layout and size cases.
NativeGeometry described(std::uint16_t flags, std::uint32_t triangles, std::size_t vertices)
{
	NativeGeometry g;
	g.flags = flags;
	g.triangles = triangles;
	g.sphere = {1, 2, 3, 4};
	NativeMesh mesh;
	mesh.indices = {0, 1, 2};
	if (triangles == 0)
		mesh.indices = {0, 1}; // dropped: no triangles
	g.meshes.push_back(mesh);
	g.materials.resize(1);
	for (std::size_t i = 0; i < vertices; i++) {
		NativeVertex v;
		v.position = {float(i), float(i) + 0.25f, -float(i)};
		v.normal = pack_normal(0, 0, 1);
		v.colour = {std::uint8_t(i), 0x20, 0x30, 0x40};
		v.uv = {0.5f, float(i)};
		g.vertices.push_back(v);
	}
	return g;
}

std::uint32_t struct_size_of(const buffer& stream, std::uint64_t geometry)
{
	return load_u32(stream, geometry + 16);
}

TEST(Rebuild, StructLayoutFollowsTheFlags)
{
	struct Case {
		std::uint16_t flags;
		std::uint32_t triangles;
		std::size_t vertices;
		std::uint32_t size;
	} cases[] = {
	    {0, 0, 0, 52},
	    {0x04 | 0x10, 1, 3, 156},
	    {0x08 | 0x04, 0, 2, 100},
	    {0x08 | 0x04 | 0x10, 1, 3, 52 + 8 + 36 + 12 + 24 + 36},
	};
	for (const Case& c : cases) {
		NativeGeometry g = described(c.flags, c.triangles, c.vertices);
		const buffer native = native_geometry_chunk(g);
		std::vector<GeometryReport> problems;
		// A Geometry List ahead of it, as in every model.
		const buffer in = parent_chunk(type_clump, {chunk(type_geometry_list, cat({list_struct(1), native}))});
		const buffer out = convert_stream(in, problems);
		for (const GeometryReport& p : problems)
			ADD_FAILURE() << geometry_problem_name(p.problem);
		EXPECT_EQ(struct_size_of(out, 40), c.size) << "flags " << c.flags;
		const buffer list = cat({list_struct(1, target_stamp), generic_geometry_chunk(g)});
		EXPECT_EQ(out, parent_chunk(type_clump, {chunk(type_geometry_list, list, target_stamp)}, target_stamp))
		    << "flags " << c.flags;
	}
}

TEST(Rebuild, SectionOffsetsForNormalsAndTexcoords)
{
	// F = 0x04 | 0x10, T = 1, V = 3: triangles at body offset 52, morph target
	// header at 60, positions at 84, normals at 120.
	NativeGeometry g = described(0x04 | 0x10, 1, 3);
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(parent_chunk(type_clump, {native_geometry_chunk(g)}), problems);
	const std::uint64_t body = 12 + 24;
	EXPECT_EQ(load_u16(out, body + 52), 1u); // second vertex of (0, 1, 2)
	EXPECT_EQ(load_u16(out, body + 54), 0u);
	EXPECT_EQ(load_u16(out, body + 58), 2u);
	EXPECT_EQ(load_f32(out, body + 60), 1.0f); // sphere
	EXPECT_EQ(load_u32(out, body + 76), 1u);   // has positions
	EXPECT_EQ(load_u32(out, body + 80), 1u);   // has normals
	EXPECT_EQ(load_f32(out, body + 84 + 12), 1.0f); // vertex 1's x
	EXPECT_EQ(load_f32(out, body + 120 + 8), 1.0f); // vertex 0's normal z
	EXPECT_EQ(load_f32(out, body + 36), 0.5f);      // vertex 1's u
}

TEST(Rebuild, SizeCorrectionsWorkedThrough)
{
	// S_old 40, B_old 28, N_size 200 (R 228), S 156, B 32: the Struct becomes
	// 156, the Bin Mesh 32, the Extension falls by 224, the Geometry, its list
	// and the first chunk by 108.
	NativeGeometry g = described(0x04 | 0x10, 1, 3);
	g.struct_extra = buffer(8, 1);
	NativeMesh dropped;
	dropped.indices = {4, 5};
	g.meshes.push_back(dropped);
	g.materials.resize(2);
	g.fill_after = 4;
	const buffer native = native_geometry_chunk(g);
	const buffer in = parent_chunk(type_clump, {chunk(type_geometry_list, cat({list_struct(1), native}))});
	const std::uint64_t G = 12 + 12 + 16;
	ASSERT_EQ(load_u32(in, G + 16), 40u);

	GeometryLayout layout;
	ASSERT_EQ(plan_geometry(in, G, in.size(), layout), GeometryProblem::none);
	ASSERT_EQ(load_u32(in, layout.extension + 16), 28u);
	ASSERT_EQ(load_u32(in, layout.native_data + 4), 200u);

	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(in, problems);
	EXPECT_TRUE(problems.empty());
	EXPECT_EQ(load_u32(out, G + 16), 156u);
	const std::uint64_t X = layout.extension + 116;
	EXPECT_EQ(load_u32(out, X + 16), 32u);
	EXPECT_EQ(load_u32(out, X + 4), load_u32(in, layout.extension + 4) - 224);
	EXPECT_EQ(load_u32(out, 4), load_u32(in, 4) - 108);
	EXPECT_EQ(load_u32(out, 16), load_u32(in, 16) - 108);
	EXPECT_EQ(load_u32(out, G + 4), load_u32(in, G + 4) - 108);
	EXPECT_EQ(out.size(), in.size() - 108);
	EXPECT_EQ(check_chunk_tree(out), "");
}

TEST(Rebuild, TwoGeometriesInOneListAndOneInEachOfTwoLists)
{
	NativeGeometry a = described(0x10, 1, 3), b = described(0x08 | 0x04, 1, 5);
	const buffer na = native_geometry_chunk(a), nb = native_geometry_chunk(b);
	const buffer ga = generic_geometry_chunk(a), gb = generic_geometry_chunk(b);
	const std::uint32_t t = target_stamp;
	std::vector<GeometryReport> problems;

	const buffer one_list = parent_chunk(type_clump, {chunk(type_geometry_list, cat({list_struct(2), na, nb}))});
	const buffer out1 = convert_stream(one_list, problems);
	EXPECT_EQ(out1, parent_chunk(type_clump, {chunk(type_geometry_list, cat({list_struct(2, t), ga, gb}), t)}, t));

	const buffer two_lists = parent_chunk(
	    type_clump, {chunk(type_geometry_list, cat({list_struct(1), na})), chunk(type_geometry_list, cat({list_struct(1), nb}))});
	const buffer out2 = convert_stream(two_lists, problems);
	EXPECT_EQ(out2, parent_chunk(type_clump,
	                             {chunk(type_geometry_list, cat({list_struct(1, t), ga}), t),
	                              chunk(type_geometry_list, cat({list_struct(1, t), gb}), t)},
	                             t));
	EXPECT_TRUE(problems.empty());
	EXPECT_EQ(check_chunk_tree(out2), "");
}

TEST(Rebuild, MaterialListCarriedAndExtensionChunksFollowTheBinMesh)
{
	NativeGeometry g = described(0, 1, 3);
	g.materials.resize(3);
	g.materials[1].texture = "wall";
	NativeMesh small;
	small.indices = {1};
	g.meshes.push_back(small);
	g.meshes.push_back(NativeMesh{});
	g.extension_extra.push_back(chunk(0x0253F2F3, words({1, 2, 3})));
	const buffer native = native_geometry_chunk(g);
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(parent_chunk(type_clump, {chunk(type_geometry_list, cat({list_struct(1), native}))}), problems);
	const buffer expected = generic_geometry_chunk(g);
	ASSERT_GE(out.size(), expected.size());
	EXPECT_EQ(buffer(out.end() - std::ptrdiff_t(expected.size()), out.end()), expected);
	// The Material List still counts all three materials.
	const buffer list = material_list_chunk(g.materials, target_stamp);
	EXPECT_NE(std::search(out.begin(), out.end(), list.begin(), list.end()), out.end());
}

TEST(Rebuild, GeometryBeforeAnyListAndListOrGeometryAsFirstChunk)
{
	NativeGeometry g = described(0x10, 1, 3);
	const buffer native = native_geometry_chunk(g), generic = generic_geometry_chunk(g);
	const std::uint32_t t = target_stamp;
	std::vector<GeometryReport> problems;

	// No list: only the first chunk and the Geometry itself are corrected.
	EXPECT_EQ(convert_stream(parent_chunk(type_clump, {native}), problems), parent_chunk(type_clump, {generic}, t));

	// The list is the first chunk: its size is corrected once, not twice.
	EXPECT_EQ(convert_stream(parent_chunk(type_geometry_list, {list_struct(1), native}), problems),
	          parent_chunk(type_geometry_list, {list_struct(1, t), generic}, t));

	// The Geometry is the first chunk.
	EXPECT_EQ(convert_stream(native, problems), generic);
	EXPECT_TRUE(problems.empty());
}

} // namespace
