// Whole-geometry rebuilds: layouts, sizes and the enclosing chunks.
#include "geometry/steps.h"
#include "samples/samples.h"
#include "support/chunk_tree.h"

#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

// The Struct at the head of a Geometry List: the geometry count.
buffer list_struct(std::uint32_t count, std::uint32_t stamp = format::console_stamp)
{
	return chunk(format::type_struct, words({count}), stamp);
}

TEST(Rebuild, SmallStreamWorkedThrough)
{
	const buffer in = worked_example_native();
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
	EXPECT_EQ(out, worked_example_generic());
	EXPECT_EQ(check_chunk_tree(out), "");
}

TEST(Rebuild, CallersStreamIsNotChanged)
{
	const buffer in = worked_example_native();
	const buffer copy = in;
	std::vector<GeometryReport> problems;
	convert_stream(in, problems);
	EXPECT_EQ(in, copy);
}

TEST(Rebuild, TargetStampedGeometryIsRebuiltOtherStampsAreNot)
{
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(worked_example_native(target_stamp), problems), worked_example_generic());

	// A stamp that is neither: nothing is rebuilt and nothing changes.
	const buffer other = worked_example_native(0x0800FFFF);
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
		const buffer in = parent_chunk(format::type_clump, {chunk(format::type_geometry_list, cat({list_struct(1), native}))});
		const buffer out = convert_stream(in, problems);
		for (const GeometryReport& p : problems)
			ADD_FAILURE() << geometry_problem_name(p.problem);
		EXPECT_EQ(struct_size_of(out, 40), c.size) << "flags " << c.flags;
		const buffer list = cat({list_struct(1, target_stamp), generic_geometry_chunk(g)});
		EXPECT_EQ(out, parent_chunk(format::type_clump, {chunk(format::type_geometry_list, list, target_stamp)}, target_stamp))
		    << "flags " << c.flags;
	}
}

TEST(Rebuild, SectionOffsetsForNormalsAndTexcoords)
{
	// F = 0x04 | 0x10, T = 1, V = 3: triangles at body offset 52, morph target
	// header at 60, positions at 84, normals at 120.
	NativeGeometry g = described(0x04 | 0x10, 1, 3);
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(parent_chunk(format::type_clump, {native_geometry_chunk(g)}), problems);
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
	const buffer in = parent_chunk(format::type_clump, {chunk(format::type_geometry_list, cat({list_struct(1), native}))});
	const std::uint64_t G = 12 + 12 + 16;
	ASSERT_EQ(load_u32(in, G + 16), 40u);

	GeometryPlan layout;
	ASSERT_EQ(plan_geometry(in, G, in.size(), layout).outcome, PlanOutcome::rebuild);
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

	const buffer one_list = parent_chunk(format::type_clump, {chunk(format::type_geometry_list, cat({list_struct(2), na, nb}))});
	const buffer out1 = convert_stream(one_list, problems);
	EXPECT_EQ(out1, parent_chunk(format::type_clump, {chunk(format::type_geometry_list, cat({list_struct(2, t), ga, gb}), t)}, t));

	const buffer two_lists = parent_chunk(
	    format::type_clump, {chunk(format::type_geometry_list, cat({list_struct(1), na})), chunk(format::type_geometry_list, cat({list_struct(1), nb}))});
	const buffer out2 = convert_stream(two_lists, problems);
	EXPECT_EQ(out2, parent_chunk(format::type_clump,
	                             {chunk(format::type_geometry_list, cat({list_struct(1, t), ga}), t),
	                              chunk(format::type_geometry_list, cat({list_struct(1, t), gb}), t)},
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
	const buffer out = convert_stream(parent_chunk(format::type_clump, {chunk(format::type_geometry_list, cat({list_struct(1), native}))}), problems);
	const buffer expected = generic_geometry_chunk(g);
	ASSERT_GE(out.size(), expected.size());
	EXPECT_EQ(buffer(out.end() - std::ptrdiff_t(expected.size()), out.end()), expected);
	// The Material List still counts all three materials.
	const buffer list = material_list_chunk(g.materials, target_stamp);
	EXPECT_NE(std::search(out.begin(), out.end(), list.begin(), list.end()), out.end());
}

TEST(Rebuild, MorphTargetCountIsWrittenAsOneAndReported)
{
	for (std::uint32_t count : {0u, 2u, 0xFFFFFFFFu}) {
		NativeGeometry g = described(0x10, 1, 3);
		g.morph_targets = count;
		const buffer native = native_geometry_chunk(g);
		std::vector<GeometryReport> problems;
		const buffer out = convert_stream(native, problems);
		EXPECT_EQ(out, generic_geometry_chunk(g));
		EXPECT_EQ(load_u32(out, 24 + 12), 1u);
		ASSERT_EQ(problems.size(), 1u);
		EXPECT_EQ(problems[0].problem, GeometryProblem::morph_target_count);
		EXPECT_FALSE(leaves_geometry_unconverted(problems[0].problem));
		EXPECT_EQ(geometry_report_text(problems[0]), "morph target count " + std::to_string(count) + " converted as 1");

		// Left unconverted, it keeps its count.
		buffer damaged = native;
		store_u32(damaged, 4, load_u32(damaged, 4) + 4);
		problems.clear();
		EXPECT_EQ(convert_stream(damaged, problems), restamped(damaged));
		ASSERT_EQ(problems.size(), 1u);
		EXPECT_EQ(problems[0].problem, GeometryProblem::geometry_outside);
	}
}

TEST(Rebuild, GeometryBeforeAnyListAndListOrGeometryAsFirstChunk)
{
	NativeGeometry g = described(0x10, 1, 3);
	const buffer native = native_geometry_chunk(g), generic = generic_geometry_chunk(g);
	const std::uint32_t t = target_stamp;
	std::vector<GeometryReport> problems;

	// No list: only the first chunk and the Geometry itself are corrected.
	EXPECT_EQ(convert_stream(parent_chunk(format::type_clump, {native}), problems), parent_chunk(format::type_clump, {generic}, t));

	// The list is the first chunk: its size is corrected once, not twice.
	EXPECT_EQ(convert_stream(parent_chunk(format::type_geometry_list, {list_struct(1), native}), problems),
	          parent_chunk(format::type_geometry_list, {list_struct(1, t), generic}, t));

	// The Geometry is the first chunk.
	EXPECT_EQ(convert_stream(native, problems), generic);
	EXPECT_TRUE(problems.empty());
}

} // namespace
