// Damaged geometries: whatever the sizes and counts say, the rebuild reads
// only inside the stream, and a geometry it cannot rebuild is left exactly as
// the stamp pass left it and reported.
#include "geometry/steps.h"
#include "samples/samples.h"
#include "support/chunk_tree.h"

#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

NativeGeometry sample_geometry()
{
	NativeGeometry g;
	g.flags = 0x1C;
	g.triangles = 4;
	g.sphere = {1, 2, 3, 4};
	g.meshes.push_back({{0, 1, 2, 3, 4}, 1, 1, 0});
	g.meshes.push_back({{5, 6}, 2, 0, 0});
	g.meshes.push_back({{2, 3, 4}, 3, 2, 0});
	g.materials.resize(3);
	g.fill_after = 1;
	g.bin_mesh_flags = 1;
	for (int i = 0; i < 7; i++) {
		NativeVertex v;
		v.position = {float(i), 1, 2};
		v.normal = pack_normal(0, 1, 0);
		v.colour = {1, 2, 3, 4};
		g.vertices.push_back(v);
	}
	return g;
}

constexpr std::uint64_t geometry_at = 12 + 12 + 16;

buffer sample_stream()
{
	buffer list = chunk(format::type_struct, buffer{1, 0, 0, 0});
	put_bytes(list, native_geometry_chunk(sample_geometry()));
	// A chunk after the list, so that a size reaching a little too far still
	// lands inside the stream.
	return parent_chunk(format::type_clump, {chunk(format::type_geometry_list, list), chunk(0x99, buffer(32, 7))});
}

GeometryPlan layout_of(const buffer& stream)
{
	GeometryPlan layout;
	EXPECT_EQ(plan_geometry(stream, geometry_at, stream.size(), layout).outcome, PlanOutcome::rebuild);
	return layout;
}

// Copies `in` into a heap block of exactly its size, so that the sanitizers
// see any read past it, converts it and checks that nothing but the stamps
// changed and that the one problem was reported.
void expect_left_alone(const buffer& in, GeometryProblem expected)
{
	auto exact = std::make_unique<std::uint8_t[]>(in.size());
	std::copy(in.begin(), in.end(), exact.get());
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(bytes(exact.get(), in.size()), problems);
	EXPECT_EQ(out, restamped(in));
	ASSERT_EQ(problems.size(), 1u);
	EXPECT_EQ(problems[0].problem, expected) << geometry_problem_name(problems[0].problem);
	EXPECT_EQ(problems[0].offset, geometry_at);
}

// One field of the good stream set to a hostile value, and the problem that
// must leave the geometry alone.
struct Damage {
	std::uint64_t field;
	std::uint32_t value;
	GeometryProblem problem;
};

void expect_each_left_alone(const buffer& good, std::initializer_list<Damage> cases)
{
	for (const Damage& c : cases) {
		buffer bad = good;
		store_u32(bad, c.field, c.value);
		SCOPED_TRACE(geometry_problem_name(c.problem));
		expect_left_alone(bad, c.problem);
	}
}

TEST(Bounds, SampleStreamConvertsCleanly)
{
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(sample_stream(), problems);
	for (const GeometryReport& p : problems)
		ADD_FAILURE() << geometry_problem_name(p.problem);
	EXPECT_EQ(check_chunk_tree(out), "");
}

TEST(Bounds, EveryCountAndSizeTooLarge)
{
	const buffer good = sample_stream();
	const GeometryPlan g = layout_of(good);
	expect_each_left_alone(good, {
	    {geometry_at + 16, 0x7FFFFFF0, GeometryProblem::material_list_outside},
	    {g.material_list + 4, 0xFFFFFFF0, GeometryProblem::extension_outside},
	    {g.extension + 16, 0x80000000, GeometryProblem::no_native_data},
	    {g.native_data + 4, std::uint32_t(good.size()), GeometryProblem::native_data_outside},
	    {g.native_data + 4, 0xFFFFFFFF, GeometryProblem::native_data_outside},
	    {g.material_list + 24, 1000, GeometryProblem::descriptors_outside},
	    {g.material_list + 24, 0xFFFFFFFF, GeometryProblem::descriptors_outside},
	    {g.native_data + 64 + 8, 0x10000, GeometryProblem::index_list_outside},
	    {g.native_data + 64 + 8, 0xFFFFFFFF, GeometryProblem::index_list_outside},
	    {geometry_at + 32, 1000, GeometryProblem::vertex_records_outside},
	    {geometry_at + 32, 0xFFFFFFFF, GeometryProblem::vertex_records_outside},
	    {geometry_at + 28, 0x20000000, GeometryProblem::triangle_count_too_large},
	    {geometry_at + 28, 0xFFFFFFFF, GeometryProblem::triangle_count_too_large},
	});
}

TEST(Bounds, SizesThatDisagreeWithTheParts)
{
	// Each of these would let the rebuild swallow bytes of the chunks that
	// follow, or send the walk past them.
	const buffer good = sample_stream();
	const GeometryPlan g = layout_of(good);
	const std::uint32_t geometry_size = load_u32(good, geometry_at + 4);
	const std::uint32_t extension_size = load_u32(good, g.extension + 4);
	const std::uint32_t native_size = load_u32(good, g.native_data + 4);
	expect_each_left_alone(good, {
	    {geometry_at + 4, geometry_size + 4, GeometryProblem::geometry_size_mismatch},
	    {geometry_at + 4, geometry_size - 4, GeometryProblem::geometry_size_mismatch},
	    {geometry_at + 4, std::uint32_t(good.size() - geometry_at - 12), GeometryProblem::geometry_size_mismatch},
	    {geometry_at + 4, std::uint32_t(good.size() - geometry_at - 11), GeometryProblem::geometry_outside},
	    {g.extension + 4, extension_size - 4, GeometryProblem::geometry_size_mismatch},
	    {g.extension + 4, 4, GeometryProblem::no_bin_mesh},
	    {g.native_data + 4, native_size + 1, GeometryProblem::native_data_outside_extension},
	    {geometry_at + 28, native_size / 2 + 1, GeometryProblem::triangle_count_too_large},
	});
}

TEST(Bounds, ChunkTypesDecideWhatIsRebuilt)
{
	const buffer good = sample_stream();
	const GeometryPlan g = layout_of(good);
	// Any chunk of the five with another type leaves the geometry alone;
	// with its native flags set, it is reported.
	expect_each_left_alone(good, {
	    {geometry_at + 12, format::type_string, GeometryProblem::not_struct},
	    {g.material_list, format::type_struct, GeometryProblem::not_material_list},
	    {g.extension, format::type_struct, GeometryProblem::not_extension},
	    {g.extension + 12, format::type_native_data, GeometryProblem::no_bin_mesh},
	    {g.native_data, format::type_bin_mesh, GeometryProblem::no_native_data},
	    // A Bin Mesh reaching to the Extension's end leaves no room for the
	    // Native Data chunk in it.
	    {g.extension + 16, load_u32(good, g.extension + 4) - 12, GeometryProblem::no_native_data},
	});

	// Without native flags, a missing Bin Mesh or Native Data chunk marks a
	// geometry already generic: left alone, not reported. A wrong Struct,
	// Material List or Extension is reported all the same.
	buffer unflagged = good;
	unflagged[geometry_at + 27] = 0;
	for (const auto& [field, type] : {std::pair{g.extension + 12, format::type_struct}, std::pair{g.native_data, 0x511u}}) {
		buffer in = unflagged;
		store_u32(in, field, type);
		std::vector<GeometryReport> problems;
		EXPECT_EQ(convert_stream(in, problems), restamped(in));
		EXPECT_TRUE(problems.empty());
	}
	store_u32(unflagged, g.material_list, format::type_struct);
	expect_left_alone(unflagged, GeometryProblem::not_material_list);

	// With all five types a geometry is rebuilt, native flags or not.
	NativeGeometry native = sample_geometry();
	native.native_flags = 0;
	std::vector<GeometryReport> problems;
	EXPECT_EQ(convert_stream(native_geometry_chunk(native), problems), generic_geometry_chunk(native));
	EXPECT_TRUE(problems.empty());

	// A generic geometry with a plugin chunk after its Bin Mesh comes out as
	// it went in.
	native.extension_extra.push_back(chunk(0x0253F2F3, buffer(8, 1)));
	const buffer generic = generic_geometry_chunk(native);
	EXPECT_EQ(convert_stream(generic, problems), generic);
	EXPECT_TRUE(problems.empty());
}

TEST(Bounds, NativeDataReadsStopAtItsEnd)
{
	// Counts that stay inside the stream but reach past the geometry's own
	// Native Data would read the next geometry as this one's vertices or
	// indices: the first is left alone, the second still converted.
	NativeGeometry first = sample_geometry(), second = sample_geometry();
	second.flags = 0x04;
	buffer list = chunk(format::type_struct, buffer{2, 0, 0, 0});
	put_bytes(list, native_geometry_chunk(first));
	const std::uint64_t second_at = 12 + 12 + list.size();
	put_bytes(list, native_geometry_chunk(second));
	const buffer good = parent_chunk(format::type_clump, {chunk(format::type_geometry_list, list)});
	const GeometryPlan g = layout_of(good);
	const std::uint64_t room = good.size() - g.vertex_start;

	for (const auto& [field, value] : {std::pair{geometry_at + 32, std::uint32_t(room / vertex_stride(first.flags))},
	                                   std::pair{g.native_data + 64 + 8, std::uint32_t(room / 4)}}) {
		buffer bad = good;
		store_u32(bad, field, value);
		std::vector<GeometryReport> problems;
		const buffer out = convert_stream(bad, problems);
		ASSERT_EQ(problems.size(), 1u);
		EXPECT_EQ(problems[0].offset, geometry_at);
		EXPECT_TRUE(leaves_geometry_unconverted(problems[0].problem));
		const buffer generic = generic_geometry_chunk(second);
		EXPECT_TRUE(std::equal(generic.begin(), generic.end(), out.begin() + std::ptrdiff_t(second_at)));
		EXPECT_EQ(out.size(), bad.size() - native_geometry_chunk(second).size() + generic.size());
	}
}

TEST(Bounds, ChunksOverlappingTheGeometryHeaderAreNotCorrected)
{
	// A geometry a few bytes into the stream: the "first chunk" and a list
	// header just ahead of it overlap its header, which must stay intact.
	const NativeGeometry g = sample_geometry();
	for (std::size_t lead : {1u, 2u, 4u, 7u}) {
		buffer in(lead, 0);
		put_bytes(in, native_geometry_chunk(g));
		buffer expected(lead, 0);
		put_bytes(expected, generic_geometry_chunk(g));
		std::vector<GeometryReport> problems;
		EXPECT_EQ(convert_stream(in, problems), expected) << lead;
		EXPECT_TRUE(problems.empty());
	}
	buffer in;
	put_u32(in, 0x99);
	put_u32(in, 100);
	put_u32(in, format::console_stamp);
	put_u32(in, format::type_geometry_list); // a list header whose stamp is the Geometry's type
	put_bytes(in, native_geometry_chunk(g));
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(in, problems);
	EXPECT_EQ(load_u32(out, 16), format::type_geometry);
}

TEST(Bounds, EveryTruncationReadsOnlyInside)
{
	const buffer good = sample_stream();
	for (std::size_t n = 0; n <= good.size(); n++) {
		buffer cut(good.begin(), good.begin() + std::ptrdiff_t(n));
		auto exact = std::make_unique<std::uint8_t[]>(n);
		std::copy(cut.begin(), cut.end(), exact.get());
		std::vector<GeometryReport> problems;
		const buffer out = convert_stream(bytes(exact.get(), n), problems);
		if (problems.empty())
			continue; // the Geometry header itself was cut off: nothing to do
		EXPECT_EQ(out, restamped(cut)) << n;
		EXPECT_TRUE(leaves_geometry_unconverted(problems[0].problem)) << n;
	}
}

TEST(Bounds, SurplusTrianglesAreDroppedAndReported)
{
	NativeGeometry geometry = sample_geometry();
	geometry.triangles = 1; // the meshes give 4
	buffer list = chunk(format::type_struct, buffer{1, 0, 0, 0});
	put_bytes(list, native_geometry_chunk(geometry));
	const buffer in = parent_chunk(format::type_clump, {chunk(format::type_geometry_list, list)});
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(in, problems);
	ASSERT_EQ(problems.size(), 1u);
	EXPECT_EQ(problems[0].problem, GeometryProblem::records_dropped);
	buffer expected_list = chunk(format::type_struct, buffer{1, 0, 0, 0}, target_stamp);
	put_bytes(expected_list, generic_geometry_chunk(geometry));
	EXPECT_EQ(out, parent_chunk(format::type_clump, {chunk(format::type_geometry_list, expected_list, target_stamp)}, target_stamp));
}

} // namespace
