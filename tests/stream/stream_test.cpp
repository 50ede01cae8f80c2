// The chunk-tree reader: stamps, the tree of console and converted models,
// the decoders against the sample descriptions, and hostile bytes.
#include "samples/samples.h"
#include "stream/stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kestrun;
using namespace kestrun::samples;
namespace st = kestrun::stream;

namespace {

TEST(Stream, StampsAndLabels)
{
	EXPECT_EQ(format::decode_stamp(0x310).version, 0x31000u);
	EXPECT_FALSE(format::decode_stamp(0x310).build);
	const format::Version console = format::decode_stamp(0x1400FFFF);
	EXPECT_EQ(format::version_text(console.version), "3.5.0.0");
	EXPECT_EQ(console.build, 0xFFFF);
	EXPECT_EQ(format::version_text(format::decode_stamp(0x1003FFFF).version), "3.4.0.3");
	EXPECT_EQ(format::chunk_type_label(0x1A), "Geometry List");
	EXPECT_EQ(format::chunk_type_label(0xABCD), "0x0000ABCD");
}

// A model with two named frames and two geometries: a list and a strip.
Model two_geometry_model()
{
	Prng rng{5};
	Model m;
	m.frames.resize(2);
	m.frames[0].name = "root";
	m.frames[1].parent = 0;
	m.frames[1].matrix[9] = 2.5f;
	m.geometries.push_back(random_geometry(rng, 0x1C, false, 9));
	m.geometries.push_back(random_geometry(rng, 0x04, true, 12));
	m.geometries[0].extension_extra = {chunk(0x0105, std::vector<std::uint8_t>(8, 1))};
	return m;
}

void expect_whole(const st::Chunk& c)
{
	EXPECT_FALSE(c.cut_off) << c.offset;
	EXPECT_EQ(c.trailing, 0u) << c.offset;
	for (const st::Chunk& child : c.children)
		expect_whole(child);
}

TEST(Stream, ConsoleModelTreeStepsOverTheBytesAfterNativeData)
{
	const Model m = two_geometry_model();
	const buffer s = model_stream(m, Form::native);
	const st::Tree tree = st::parse_tree(s);
	ASSERT_EQ(tree.top.size(), 1u);
	EXPECT_EQ(tree.trailing, 0u);
	expect_whole(tree.top[0]);
	const st::Chunk& clump = tree.top[0];
	EXPECT_EQ(clump.stamp, format::console_stamp);
	const st::Chunk* list = st::find_child(clump, format::type_geometry_list);
	ASSERT_TRUE(list);
	const auto geometries = st::children_of_type(*list, format::type_geometry);
	ASSERT_EQ(geometries.size(), 2u);
	const st::Chunk* extension = st::find_child(*geometries[0], format::type_extension);
	ASSERT_TRUE(extension);
	ASSERT_EQ(extension->children.size(), 3u); // Bin Mesh, Native Data, the chunk after the 16 bytes
	EXPECT_EQ(extension->children[1].type, format::type_native_data);
	EXPECT_EQ(extension->children[2].type, 0x0105u);
	ASSERT_TRUE(extension->console_gap);
	EXPECT_EQ(*extension->console_gap + 16, extension->children[2].offset);

	const auto g = st::decode_geometry(*geometries[0]);
	ASSERT_TRUE(g);
	EXPECT_EQ(g->native_flags, 1u);
	EXPECT_EQ(g->vertices, 9u);
	EXPECT_FALSE(g->has_surface_properties);
	EXPECT_TRUE(g->triangle_records.empty());
	const auto bin = st::decode_bin_mesh(extension->children[0], true);
	ASSERT_TRUE(bin);
	EXPECT_FALSE(bin->has_indices);
	EXPECT_EQ(bin->meshes.size(), m.geometries[0].meshes.size());
	EXPECT_TRUE(bin->complete);
}

TEST(Stream, ConvertedModelDecodesAsDescribed)
{
	const Model m = two_geometry_model();
	const buffer s = model_stream(m, Form::generic);
	const st::Tree tree = st::parse_tree(s);
	ASSERT_EQ(tree.top.size(), 1u);
	expect_whole(tree.top[0]);
	const st::Chunk& clump = tree.top[0];

	const auto info = st::decode_clump(clump);
	ASSERT_TRUE(info);
	EXPECT_EQ(info->atomics, 2u);
	EXPECT_EQ(info->struct_size, 12u);

	const auto frames = st::decode_frame_list(*st::find_child(clump, format::type_frame_list));
	ASSERT_TRUE(frames);
	ASSERT_EQ(frames->size(), 2u);
	EXPECT_EQ((*frames)[0].name, "root");
	EXPECT_EQ((*frames)[0].parent, -1);
	EXPECT_EQ((*frames)[1].parent, 0);
	EXPECT_EQ((*frames)[1].position[0], 2.5f);
	EXPECT_EQ((*frames)[1].rotation[4], 1.0f);

	const auto atomics = st::children_of_type(clump, format::type_atomic);
	ASSERT_EQ(atomics.size(), 2u);
	EXPECT_EQ(st::decode_atomic(*atomics[1])->geometry, 1u);

	const auto geometries = st::children_of_type(*st::find_child(clump, format::type_geometry_list), format::type_geometry);
	for (std::size_t i = 0; i < 2; i++) {
		const NativeGeometry& d = m.geometries[i];
		const auto g = st::decode_geometry(*geometries[i]);
		ASSERT_TRUE(g);
		EXPECT_EQ(g->flags, d.flags);
		EXPECT_EQ(g->native_flags, 0u);
		EXPECT_EQ(g->triangles, d.triangles);
		EXPECT_EQ(g->vertices, d.vertices.size());
		EXPECT_TRUE(g->has_surface_properties);
		EXPECT_EQ(g->expected_struct_size, st::find_child(*geometries[i], format::type_struct)->size);
		EXPECT_EQ(g->triangle_records.size(), 8u * d.triangles);
		EXPECT_EQ(g->positions.size(), 12u * d.vertices.size());
		EXPECT_EQ(g->normals.size(), d.flags & 0x10 ? 12u * d.vertices.size() : 0u);
		EXPECT_EQ(g->texcoords.size(), 8u * d.vertices.size());
		EXPECT_EQ(g->sphere, d.sphere);
		EXPECT_TRUE(g->has_positions);

		const st::Chunk* extension = st::find_child(*geometries[i], format::type_extension);
		EXPECT_FALSE(extension->console_gap);
		const auto bin = st::decode_bin_mesh(*st::find_child(*extension, format::type_bin_mesh), false);
		ASSERT_TRUE(bin);
		EXPECT_EQ(bin->flag, i == 0 ? 0u : 1u);
		EXPECT_EQ(bin->end, extension->children[0].size);
		std::vector<std::uint32_t> expected_indices;
		for (const NativeMesh& mesh : d.meshes)
			if (mesh.indices.size() >= 3)
				expected_indices.insert(expected_indices.end(), mesh.indices.begin(), mesh.indices.end());
		std::vector<std::uint32_t> indices;
		for (const st::BinMeshMesh& mesh : bin->meshes)
			indices.insert(indices.end(), mesh.indices.begin(), mesh.indices.end());
		EXPECT_EQ(indices, expected_indices);

		const auto materials = st::children_of_type(*st::find_child(*geometries[i], format::type_material_list),
		                                            format::type_material);
		ASSERT_EQ(materials.size(), d.materials.size());
		for (std::size_t k = 0; k < materials.size(); k++) {
			const auto mat = st::decode_material(*materials[k]);
			ASSERT_TRUE(mat);
			EXPECT_EQ(mat->colour, d.materials[k].colour);
			EXPECT_EQ(mat->texture_count, d.materials[k].texture.empty() ? 0u : 1u);
			EXPECT_EQ(mat->texture ? mat->texture->name : "", d.materials[k].texture);
			if (mat->texture) {
				EXPECT_EQ(mat->texture->filter, 6u);
			}
		}
	}
}

TEST(Stream, StripsUnrollWithTheirWindingAndListsDropAnIncompleteTriple)
{
	using list = std::vector<std::uint32_t>;
	EXPECT_EQ(st::unroll_strip(list{0, 1, 2, 3, 4}), (list{0, 1, 2, 1, 3, 2, 2, 3, 4}));
	EXPECT_EQ(st::unroll_strip(list{0, 1, 1, 2, 3}), (list{1, 2, 3}));
	EXPECT_EQ(st::unroll_strip(list{0, 1, 2, 2, 3, 4}), (list{0, 1, 2, 2, 4, 3}));
	EXPECT_EQ(st::unroll_strip(list{7, 7}), list{});
	EXPECT_EQ(st::mesh_triangles(st::BinMeshMesh{4, 0, {5, 6, 7, 8}}, 0), (list{5, 6, 7}));
	EXPECT_EQ(st::mesh_triangles(st::BinMeshMesh{4, 0, {5, 6, 7, 8}}, 1), (list{5, 6, 7, 6, 8, 7}));
}

TEST(Stream, TextureDictionaryHeaders)
{
	const buffer s = texture_dictionary_stream(3, 2);
	const st::Tree tree = st::parse_tree(s);
	ASSERT_EQ(tree.top.size(), 1u);
	expect_whole(tree.top[0]);
	EXPECT_EQ(st::decode_dictionary(tree.top[0])->textures, 2u);
	const auto natives = st::children_of_type(tree.top[0], format::type_texture_native);
	ASSERT_EQ(natives.size(), 2u);
	const auto h = st::decode_texture_native_header(*natives[1]);
	ASSERT_TRUE(h);
	EXPECT_EQ(h->platform, 5u);
	EXPECT_EQ(h->name, "texture_01");
	EXPECT_EQ(h->depth, 32u);
	EXPECT_EQ(h->address_u, 1u);
	EXPECT_EQ(h->address_v, 1u);
}

void decode_everything(const st::Chunk& c)
{
	(void)st::decode_clump(c);
	(void)st::decode_frame_list(c);
	(void)st::decode_geometry(c);
	(void)st::decode_bin_mesh(c, false);
	(void)st::decode_bin_mesh(c, true);
	(void)st::decode_material(c);
	(void)st::decode_atomic(c);
	(void)st::decode_texture_native_header(c);
	(void)st::decode_dictionary(c);
	for (const st::Chunk& child : c.children)
		decode_everything(child);
}

// Each prefix in a heap block of its own size, so that AddressSanitizer
// sees any read past the end.
void parse_and_decode(bytes s)
{
	auto copy = std::make_unique<std::uint8_t[]>(s.size() + (s.empty() ? 1 : 0));
	std::copy(s.begin(), s.end(), copy.get());
	const st::Tree tree = st::parse_tree(bytes(copy.get(), s.size()));
	for (const st::Chunk& c : tree.top)
		decode_everything(c);
}

TEST(Stream, EveryPrefixAndHostileSizesStayInside)
{
	Prng rng{9};
	Model m;
	m.frames.resize(1);
	m.geometries.push_back(random_geometry(rng, 0x1C, false, 4));
	for (Form form : {Form::native, Form::generic}) {
		const buffer s = model_stream(m, form);
		for (std::size_t n = 0; n <= s.size(); n++)
			parse_and_decode(bytes(s.data(), n));
		// Every size and count word set to hostile values, one at a time.
		for (std::size_t at = 0; at + 4 <= s.size(); at += 4)
			for (std::uint32_t v : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
				buffer bad = s;
				store_u32(bad, at, v);
				parse_and_decode(bad);
			}
	}
}

TEST(Stream, DeepNestingIsCutAtTheLimit)
{
	buffer s;
	for (int i = 0; i < 1000; i++)
		s = chunk(format::type_extension, s);
	const st::Tree tree = st::parse_tree(s);
	const st::Chunk* c = &tree.top[0];
	int depth = 0;
	while (!c->children.empty()) {
		c = &c->children[0];
		depth++;
	}
	EXPECT_EQ(depth, st::max_depth - 1);
	EXPECT_TRUE(c->depth_limited);
}

} // namespace
