// Kept meshes, the index walk, triangle records and the rebuilt Bin Mesh.
#include "geometry/steps.h"
#include "samples/samples.h"

#include <gtest/gtest.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

using Record = std::array<std::uint16_t, 4>; // second, first, material, third

// An index stream: for each list, `fill` fill words, then the list and the
// pad of an odd count; then `fill_after` fill words and one vertex word.
struct IndexStream {
	buffer bytes;
	std::vector<KeptMesh> kept;
	std::uint64_t end = 0; // where the vertex records begin
};

IndexStream index_stream(const std::vector<std::vector<std::uint16_t>>& lists, std::uint32_t fill,
                         std::uint32_t fill_after)
{
	IndexStream s;
	for (const auto& list : lists) {
		for (std::uint32_t k = 0; k < fill; k++)
			put_u32(s.bytes, format::fill_word);
		for (std::uint16_t i : list)
			put_u16(s.bytes, i);
		if (list.size() % 2)
			put_u16(s.bytes, 0xEEEE);
		s.kept.push_back({std::uint32_t(list.size()), 0, 0});
	}
	for (std::uint32_t k = 0; k < fill_after; k++)
		put_u32(s.bytes, format::fill_word);
	s.end = s.bytes.size();
	put_u32(s.bytes, 0x3F800000); // a vertex's x: 1.0
	return s;
}

std::vector<Record> triangles(const IndexStream& s, std::uint8_t flag, std::size_t room, std::uint64_t* produced = nullptr)
{
	std::vector<KeptMesh> kept = s.kept;
	EXPECT_EQ(walk_index_lists(s.bytes, 0, kept), std::optional<std::uint64_t>(s.end));
	buffer section(8 * room, 0xAB);
	// The rebuild hands a zero-filled section; a marker shows what is written.
	const std::uint64_t made = convert_triangles(s.bytes, flag, kept, section);
	if (produced)
		*produced = made;
	std::vector<Record> out;
	for (std::size_t k = 0; k < room; k++) {
		if (load_u16(section, 8 * k) == 0xABAB)
			break;
		out.push_back({load_u16(section, 8 * k), load_u16(section, 8 * k + 2), load_u16(section, 8 * k + 4),
		               load_u16(section, 8 * k + 6)});
	}
	return out;
}

TEST(Triangles, ListTakesWholeTriples)
{
	EXPECT_EQ(triangles(index_stream({{5, 6, 7, 8, 9, 10}}, 0, 0), 0, 4),
	          (std::vector<Record>{{6, 5, 0, 7}, {9, 8, 0, 10}}));
	// A last incomplete triple gives nothing, yet the walk steps over the
	// whole list and its pad.
	IndexStream lists = index_stream({{5, 6, 7, 8}, {1, 2, 3}}, 0, 0);
	lists.kept[1].material = 9;
	EXPECT_EQ(triangles(lists, 0, 4), (std::vector<Record>{{6, 5, 0, 7}, {2, 1, 9, 3}}));
}

TEST(Triangles, StripsFlipEveryOtherAndSkipDegenerates)
{
	EXPECT_EQ(triangles(index_stream({{0, 1, 2, 3, 4}}, 0, 0), 1, 8),
	          (std::vector<Record>{{1, 0, 0, 2}, {3, 1, 0, 2}, {3, 2, 0, 4}}));
	EXPECT_EQ(triangles(index_stream({{0, 1, 1, 2, 3}}, 0, 0), 1, 8), (std::vector<Record>{{2, 1, 0, 3}}));
	EXPECT_EQ(triangles(index_stream({{0, 1, 2, 2, 3, 4}}, 0, 0), 1, 8),
	          (std::vector<Record>{{1, 0, 0, 2}, {4, 2, 0, 3}}));
	// The parity starts again with the second mesh, whose records follow
	// without a gap; each record carries its own mesh's material.
	IndexStream two = index_stream({{0, 1, 2, 3}, {7, 8, 9, 10}}, 0, 0);
	two.kept[0].material = 3;
	two.kept[1].material = 255;
	EXPECT_EQ(triangles(two, 1, 8),
	          (std::vector<Record>{{1, 0, 3, 2}, {3, 1, 3, 2}, {8, 7, 255, 9}, {10, 8, 255, 9}}));
}

TEST(Triangles, FillWordsAnywhereArePassedOver)
{
	for (std::uint32_t fill : {0u, 1u, 3u})
		for (std::uint32_t after : {0u, 1u, 5u})
			EXPECT_EQ(triangles(index_stream({{0, 1, 2}, {3, 4, 5, 6, 7}}, fill, after), 1, 8),
			          (std::vector<Record>{{1, 0, 0, 2}, {4, 3, 0, 5}, {6, 4, 0, 5}, {6, 5, 0, 7}}))
			    << fill << " " << after;
}

TEST(Triangles, ListStartingWithTwoFillHalvesReadsAsFill)
{
	// 0xCDCD 0xCDCD at the head of a list is a fill word by value: the walk
	// passes over it and reads the list two indices late.
	IndexStream s = index_stream({{0xCDCD, 0xCDCD, 1, 2, 3, 4}}, 0, 0);
	EXPECT_EQ(walk_index_lists(s.bytes, 0, s.kept), std::optional<std::uint64_t>(s.end + 4));
	EXPECT_EQ(s.kept[0].list, 4u);
}

TEST(Triangles, OtherFlagsWriteNoRecordsButWalkTheSame)
{
	const IndexStream s = index_stream({{0, 1, 2}, {3, 4, 5, 6}}, 2, 1);
	EXPECT_TRUE(triangles(s, 2, 4).empty());
	EXPECT_TRUE(triangles(s, 0xFF, 4).empty());
}

TEST(Triangles, SurplusRecordsAreCountedNotWritten)
{
	std::uint64_t produced = 0;
	const auto written = triangles(index_stream({{0, 1, 2, 3, 4, 5}}, 0, 0), 1, 2, &produced);
	EXPECT_EQ(written.size(), 2u);
	EXPECT_EQ(produced, 4u);
}

TEST(Triangles, WalkReportsAListRunningOffTheEnd)
{
	IndexStream s = index_stream({{0, 1, 2, 3, 4, 5}}, 0, 0);
	s.kept[0].index_count = 8; // two more than the buffer holds after the list start
	s.bytes.resize(14);
	EXPECT_FALSE(walk_index_lists(s.bytes, 0, s.kept).has_value());
	// A fill word cut off by the end is not a fill word.
	buffer tail = {0xCD, 0xCD, 0xCD};
	EXPECT_EQ(skip_fill_words(tail, 0), 0u);
	EXPECT_EQ(skip_fill_words(tail, 10), 10u);
}

TEST(KeptMeshes, ThreeOrMoreIndicesKeepTheLowMaterialByte)
{
	// Descriptors with index counts 0, 1, 2, 3, 4, 5; Bin Mesh materials
	// 10, 11, 12, 300, 0, 2.
	buffer descriptors, records;
	const std::uint32_t counts[] = {0, 1, 2, 3, 4, 5}, materials[] = {10, 11, 12, 300, 0, 2};
	for (int i = 0; i < 6; i++) {
		for (std::uint32_t w : {0xDEADu, 0xBEEFu, counts[i], 9u, 9u, 9u})
			put_u32(descriptors, w);
		put_u32(records, 77);
		put_u32(records, materials[i]);
	}
	buffer old = descriptors;
	put_bytes(old, records);
	const KeptMeshes kept = select_kept_meshes(old, 6, 0, descriptors.size());
	ASSERT_EQ(kept.meshes.size(), 3u);
	EXPECT_EQ(kept.meshes[0].index_count, 3u);
	EXPECT_EQ(kept.meshes[0].material, 44u); // 300 & 0xFF
	EXPECT_EQ(kept.meshes[1].index_count, 4u);
	EXPECT_EQ(kept.meshes[1].material, 0u);
	EXPECT_EQ(kept.meshes[2].material, 2u);
	EXPECT_EQ(kept.dropped, 3u);
	EXPECT_EQ(kept.index_total, 12u);
}

TEST(BinMesh, BodyCarriesKeptMeshesWith32BitIndices)
{
	IndexStream s = index_stream({{0, 1, 2, 3, 4}, {7, 7, 8, 9}}, 1, 2);
	s.kept[0].material = 0;
	s.kept[1].material = 2;
	ASSERT_TRUE(walk_index_lists(s.bytes, 0, s.kept));
	buffer body(64, 0xAB);
	write_bin_mesh_body(s.bytes, 1, s.kept, 9, body);
	buffer expected;
	for (std::uint32_t w : {1u, 2u, 9u, 5u, 0u, 0u, 1u, 2u, 3u, 4u, 4u, 2u, 7u, 7u, 8u, 9u})
		put_u32(expected, w);
	EXPECT_EQ(body, expected);

	buffer empty(12, 0xAB);
	write_bin_mesh_body(s.bytes, 0, {}, 0, empty);
	EXPECT_EQ(empty, buffer(12, 0));
}

TEST(BinMesh, FlagWord0x101IsAStrip)
{
	NativeGeometry g;
	g.bin_mesh_flags = 0x101;
	NativeMesh m;
	m.indices = {0, 1, 2, 3};
	g.meshes.push_back(m);
	g.materials.resize(1);
	g.triangles = 2;
	g.vertices.resize(4);
	const buffer native = native_geometry_chunk(g);
	GeometryPlan layout;
	ASSERT_EQ(plan_geometry(native, 0, native.size(), layout).outcome, PlanOutcome::rebuild);
	EXPECT_EQ(layout.bin_mesh_flag, 1);
	std::vector<GeometryReport> problems;
	const buffer out = convert_stream(native, problems);
	EXPECT_EQ(out, generic_geometry_chunk(g));
	// Bin Mesh flag 1, strip triangles unrolled in the Struct.
	const std::uint64_t bin_mesh_body = 24 + layout.struct_size + (layout.extension + 24 - layout.material_list);
	EXPECT_EQ(load_u32(out, bin_mesh_body), 1u);
}

} // namespace
