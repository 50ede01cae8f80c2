#include "samples/samples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrun::samples {

// ---------------------------------------------------------------------------
// Pseudo-random numbers (splitmix64).

std::uint64_t Prng::next()
{
	std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
	z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
	z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
	return z ^ (z >> 31);
}

std::uint32_t Prng::below(std::uint32_t n)
{
	return std::uint32_t(next() % n);
}

float Prng::unit()
{
	return float(std::int32_t(below(513)) - 256) / 256.0f;
}

namespace {

// Data bytes never hold 0xFF, so no data can form the Xbox stamp's bytes.
std::uint8_t data_byte(Prng& rng)
{
	return std::uint8_t(rng.below(255));
}

template <std::size_t N> std::array<std::uint8_t, N> data_bytes(Prng& rng)
{
	std::array<std::uint8_t, N> a{};
	for (std::uint8_t& b : a)
		b = data_byte(rng);
	return a;
}

bool has_ff_byte(std::uint32_t w)
{
	for (int i = 0; i < 4; i++)
		if ((w >> (8 * i) & 0xFF) == 0xFF)
			return true;
	return false;
}

std::uint32_t random_normal(Prng& rng)
{
	for (;;) {
		float x = rng.unit(), y = rng.unit(), z = rng.unit();
		float len = std::sqrt(x * x + y * y + z * z);
		if (len < 0.01f)
			continue;
		std::uint32_t w = pack_normal(x / len, y / len, z / len);
		if (!has_ff_byte(w))
			return w;
	}
}

NativeVertex random_vertex(Prng& rng)
{
	NativeVertex v;
	for (float& f : v.position)
		f = rng.unit() * 16.0f;
	v.normal = random_normal(rng);
	v.colour = data_bytes<4>(rng);
	v.uv = {rng.unit() * 2.0f, rng.unit() * 2.0f};
	return v;
}

std::vector<std::uint16_t> random_list(Prng& rng, std::uint32_t vertices, std::uint32_t triangles)
{
	std::vector<std::uint16_t> ix;
	for (std::uint32_t i = 0; i < 3 * triangles; i++)
		ix.push_back(std::uint16_t(rng.below(vertices)));
	return ix;
}

// Several short strips stitched into one by repeating the joining indices,
// the way a stripifier does; the stitches give degenerate triangles.
std::vector<std::uint16_t> random_strip(Prng& rng, std::uint32_t vertices, std::uint32_t pieces)
{
	std::vector<std::uint16_t> ix;
	for (std::uint32_t p = 0; p < pieces; p++) {
		std::uint32_t length = 3 + rng.below(14);
		std::uint16_t first = std::uint16_t(rng.below(vertices));
		if (!ix.empty()) {
			ix.push_back(ix.back());
			ix.push_back(first);
		}
		ix.push_back(first);
		for (std::uint32_t i = 1; i < length; i++)
			ix.push_back(std::uint16_t(rng.below(vertices)));
	}
	return ix;
}

NativeMesh dropped_mesh(Prng& rng, std::uint32_t vertices, std::uint32_t material)
{
	NativeMesh m;
	m.indices.resize(rng.below(3));
	for (std::uint16_t& i : m.indices)
		i = std::uint16_t(rng.below(vertices));
	m.material = material;
	m.fill_before = rng.below(3);
	return m;
}

NativeMesh kept_mesh(Prng& rng, bool strips, std::uint32_t vertices, std::uint32_t material)
{
	NativeMesh m;
	std::uint32_t size = 1 + vertices / 8;
	m.indices = strips ? random_strip(rng, vertices, 1 + rng.below(size / 4 + 1))
	                   : random_list(rng, vertices, 1 + rng.below(size));
	// Now and then a material index above 255: only its low byte survives.
	m.material = rng.below(8) == 0 ? material + 256 : material;
	m.fill_before = rng.below(4);
	m.pad = std::uint16_t(rng.below(0xCDCD));
	return m;
}

MaterialDesc random_material(Prng& rng)
{
	MaterialDesc m;
	m.colour = data_bytes<4>(rng);
	if (rng.below(2) == 0) {
		static const std::vector<std::string> names = sample_texture_names();
		m.texture = names[rng.below(std::uint32_t(names.size()))];
	}
	return m;
}

void add_meshes(Prng& rng, NativeGeometry& g, bool strips)
{
	std::uint32_t vertices = std::uint32_t(g.vertices.size());
	std::uint32_t kept = 1 + rng.below(4);
	for (std::uint32_t k = 0; k < kept; k++) {
		if (rng.below(3) == 0)
			g.meshes.push_back(dropped_mesh(rng, vertices, std::uint32_t(g.meshes.size())));
		g.meshes.push_back(kept_mesh(rng, strips, vertices, std::uint32_t(g.meshes.size())));
	}
	for (std::uint32_t i = 0; i < g.meshes.size(); i++)
		g.materials.push_back(random_material(rng));
}

std::vector<buffer> random_extension_extra(Prng& rng)
{
	std::vector<buffer> extra;
	if (rng.below(2) == 0) {
		buffer body;
		for (std::uint32_t i = 0, n = 4 * rng.below(6); i < n; i++)
			put_u8(body, data_byte(rng));
		extra.push_back(chunk(0x0105, body));
	}
	return extra;
}

} // namespace

NativeGeometry random_geometry(Prng& rng, std::uint16_t flags, bool strips, std::uint32_t vertices)
{
	NativeGeometry g;
	g.flags = std::uint16_t(flags | 0x01 | 0x02 | 0x20); // strips, positions, lit: carried along
	g.bin_mesh_flags = strips ? 1 : 0;
	vertices = std::max<std::uint32_t>(vertices, 3);
	for (std::uint32_t i = 0; i < vertices; i++)
		g.vertices.push_back(random_vertex(rng));
	add_meshes(rng, g, strips);
	g.triangles = triangle_count(g);
	g.fill_after = rng.below(4);
	g.sphere = {rng.unit(), rng.unit(), rng.unit(), 16.0f * std::sqrt(3.0f)};
	g.struct_extra.resize(rng.below(13));
	for (std::uint8_t& b : g.struct_extra)
		b = data_byte(rng);
	g.native_head = data_bytes<52>(rng);
	g.after_descriptors = data_bytes<4>(rng);
	g.after_native_data = data_bytes<16>(rng);
	g.extension_extra = random_extension_extra(rng);
	return g;
}

// ---------------------------------------------------------------------------
// Models.

namespace {

buffer frame_list_chunk(const std::vector<Frame>& frames, std::uint32_t stamp)
{
	buffer body;
	put_u32(body, std::uint32_t(frames.size()));
	for (const Frame& f : frames) {
		for (float v : f.matrix)
			put_f32(body, v);
		put_u32(body, std::uint32_t(f.parent));
		put_u32(body, f.parent < 0 ? 3 : 0);
	}
	std::vector<buffer> children{chunk(format::type_struct, body, stamp)};
	for (const Frame& f : frames) {
		buffer name(f.name.begin(), f.name.end());
		children.push_back(f.name.empty() ? chunk(format::type_extension, {}, stamp)
		                                  : parent_chunk(format::type_extension, {chunk(format::type_frame_name, name, stamp)}, stamp));
	}
	return parent_chunk(format::type_frame_list, children, stamp);
}

buffer geometry_list_chunk(const Model& model, Form form, std::uint32_t stamp)
{
	buffer count;
	put_u32(count, std::uint32_t(model.geometries.size()));
	std::vector<buffer> children{chunk(format::type_struct, count, stamp)};
	for (const NativeGeometry& g : model.geometries)
		children.push_back(form == Form::native ? native_geometry_chunk(g) : generic_geometry_chunk(g));
	return parent_chunk(format::type_geometry_list, children, stamp);
}

buffer atomic_chunk(std::uint32_t frame, std::uint32_t geometry, std::uint32_t stamp)
{
	buffer body;
	put_u32(body, frame);
	put_u32(body, geometry);
	put_u32(body, 5); // collision test, render
	put_u32(body, 0);
	buffer render;
	put_u32(render, 0x0120);
	put_u32(render, geometry);
	buffer extension = geometry % 2 == 0 ? chunk(format::type_extension, {}, stamp)
	                                     : parent_chunk(format::type_extension, {chunk(0x1F, render, stamp)}, stamp);
	return parent_chunk(format::type_atomic, {chunk(format::type_struct, body, stamp), extension}, stamp);
}

} // namespace

buffer model_stream(const Model& model, Form form)
{
	const std::uint32_t stamp = form == Form::native ? model.stamp : converted_stamp(model.stamp);
	const std::uint32_t atomics = std::uint32_t(model.geometries.size());
	buffer counts;
	put_u32(counts, atomics);
	put_u32(counts, 0);
	put_u32(counts, 0);
	std::vector<buffer> children{chunk(format::type_struct, counts, stamp), frame_list_chunk(model.frames, stamp),
	                             geometry_list_chunk(model, form, stamp)};
	std::uint32_t frames = std::uint32_t(std::max<std::size_t>(model.frames.size(), 1));
	for (std::uint32_t i = 0; i < atomics; i++)
		children.push_back(atomic_chunk(i % frames, i, stamp));
	children.push_back(chunk(format::type_extension, {}, stamp));
	return parent_chunk(format::type_clump, children, stamp);
}

// ---------------------------------------------------------------------------
// Texture dictionaries.

namespace {

void put_name(buffer& out, const std::string& name)
{
	buffer field(32, 0);
	for (std::size_t i = 0; i < name.size() && i < 31; i++)
		field[i] = std::uint8_t(name[i]);
	put_bytes(out, field);
}

buffer texture_native_chunk(Prng& rng, std::uint32_t index)
{
	std::uint16_t width = std::uint16_t(16 << rng.below(4));
	std::uint16_t height = std::uint16_t(16 << rng.below(4));
	char name[32];
	std::snprintf(name, sizeof name, "texture_%02u", unsigned(index));
	buffer body;
	put_u32(body, 5);       // platform
	put_u32(body, 0x1106);  // filter and addressing
	put_name(body, name);
	put_name(body, "");
	put_u32(body, 0x0500);  // 32-bit texels
	put_u32(body, rng.below(2));
	put_u16(body, width);
	put_u16(body, height);
	put_u8(body, 32);
	put_u8(body, 1);
	put_u8(body, 4);
	put_u8(body, 0);
	std::uint32_t size = std::uint32_t(width) * height * 4;
	put_u32(body, size);
	// Smooth-ish texels with noise: compressible, but not trivially.
	for (std::uint32_t i = 0; i < size; i++)
		put_u8(body, std::uint8_t((i / 4 % width) * 3 + (i / 4 / width) + (rng.below(8) == 0 ? rng.below(256) : 0)));
	return parent_chunk(format::type_texture_native, {chunk(format::type_struct, body), chunk(format::type_extension, {})});
}

} // namespace

buffer texture_dictionary_stream(std::uint64_t seed, std::uint32_t textures)
{
	Prng rng{seed};
	buffer head;
	put_u16(head, std::uint16_t(textures));
	put_u16(head, 0);
	std::vector<buffer> children{chunk(format::type_struct, head)};
	for (std::uint32_t i = 0; i < textures; i++)
		children.push_back(texture_native_chunk(rng, i));
	children.push_back(chunk(format::type_extension, {}));
	return parent_chunk(format::type_texture_dictionary, children);
}

// ---------------------------------------------------------------------------
// The sample set.

namespace {

std::vector<Frame> random_frames(Prng& rng, std::uint32_t count)
{
	std::vector<Frame> frames(count);
	for (std::uint32_t i = 0; i < count; i++) {
		Frame& f = frames[i];
		f.parent = i == 0 ? -1 : std::int32_t(rng.below(i));
		for (std::size_t k = 9; k < 12; k++)
			f.matrix[k] = rng.unit() * 4.0f;
		if (rng.below(3) != 0) {
			char name[32];
			std::snprintf(name, sizeof name, i == 0 ? "root" : "node_%02u", unsigned(i));
			f.name = name;
		}
	}
	return frames;
}

// Makes sure the first geometries show every place fill words stand, every
// size of dropped mesh, and a flag word with more than its low byte set.
void cover_corners(std::vector<NativeGeometry>& g)
{
	for (NativeMesh& m : g[0].meshes)
		m.fill_before = 2;
	g[0].fill_after = 3;
	for (std::uint32_t size = 0; size < 3; size++) {
		NativeMesh dropped;
		dropped.indices.assign(size, std::uint16_t(size));
		dropped.material = std::uint32_t(g[1].meshes.size());
		std::size_t at = std::min<std::size_t>(2 * size, g[1].meshes.size());
		g[1].meshes.insert(g[1].meshes.begin() + std::ptrdiff_t(at), dropped);
		g[1].materials.push_back(MaterialDesc{});
	}
	g[2].bin_mesh_flags |= 0x100;
}

// Every combination of the three vertex flags, lists and strips in turn.
Model showcase_model(Prng& rng, bool strips_first)
{
	Model m;
	for (std::uint16_t combo = 0; combo < 8; combo++) {
		std::uint16_t flags = std::uint16_t((combo & 1 ? format::flag_texture_coordinates : 0) |
		                                    (combo & 2 ? format::flag_prelit_colours : 0) | (combo & 4 ? format::flag_normals : 0));
		bool strips = (combo % 2 == 0) == strips_first;
		m.geometries.push_back(random_geometry(rng, flags, strips, 20 + rng.below(300)));
	}
	cover_corners(m.geometries);
	m.frames = random_frames(rng, 9);
	return m;
}

Model random_model(Prng& rng)
{
	Model m;
	std::uint32_t count = 1 + rng.below(6);
	for (std::uint32_t i = 0; i < count; i++) {
		std::uint16_t flags = std::uint16_t(rng.below(8) << 2);
		m.geometries.push_back(random_geometry(rng, flags, rng.below(2) == 0, 8 + rng.below(3000)));
	}
	m.frames = random_frames(rng, 1 + rng.below(count + 2));
	return m;
}

SampleFile make_file(std::string name, buffer stream, buffer expected)
{
	SampleFile f;
	f.name = std::move(name);
	f.container = pack_container(stream);
	f.stream = std::move(stream);
	f.expected = std::move(expected);
	return f;
}

} // namespace

std::vector<SampleFile> sample_set(std::uint64_t seed, std::uint32_t models, std::uint32_t dictionaries)
{
	Prng rng{seed};
	std::vector<SampleFile> files;
	char name[32];
	for (std::uint32_t i = 0; i < models; i++) {
		Model m = i < 2 ? showcase_model(rng, i == 1) : random_model(rng);
		std::snprintf(name, sizeof name, "model%02u.dff", unsigned(i));
		files.push_back(make_file(name, model_stream(m, Form::native), model_stream(m, Form::generic)));
		files.back().model = std::move(m);
	}
	const std::vector<SampleTexture> textures = sample_textures();
	for (std::uint32_t i = 0; i < dictionaries; i++) {
		std::snprintf(name, sizeof name, "textures%02u.txd", unsigned(i));
		// Pairs stay together, so the two names that differ in case share one.
		// With more dictionaries than pairs, pairs repeat.
		const std::size_t pairs = (textures.size() + 1) / 2, shares = std::min<std::size_t>(dictionaries, pairs);
		std::vector<SampleTexture> mine;
		for (std::size_t k = 0; k < textures.size(); k++)
			if (k / 2 % shares == i % shares)
				mine.push_back(textures[k]);
		buffer stream = texture_dictionary(mine, Form::native);
		buffer copy = stream;
		SampleFile f = make_file(name, std::move(stream), std::move(copy));
		f.pc = texture_dictionary(mine, Form::generic);
		f.textures = std::move(mine);
		files.push_back(std::move(f));
	}
	// The crate comes last and draws nothing from `rng`: the files before it
	// stay the same as without it.
	if (models > 0 && dictionaries > 0) {
		Model crate = crate_model();
		files.push_back(make_file("crate.dff", model_stream(crate, Form::native), model_stream(crate, Form::generic)));
		files.back().model = std::move(crate);
		std::vector<SampleTexture> faces = crate_textures();
		buffer stream = texture_dictionary(faces, Form::native);
		buffer copy = stream;
		SampleFile f = make_file("crate.txd", std::move(stream), std::move(copy));
		f.pc = texture_dictionary(faces, Form::generic);
		f.textures = std::move(faces);
		files.push_back(std::move(f));
	}
	return files;
}

std::vector<SampleFile> generator_set(std::uint32_t models)
{
	return sample_set(20240601, models, std::max<std::uint32_t>(models / 4, 1));
}

} // namespace kestrun::samples
