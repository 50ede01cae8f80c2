// The showcase model: a crate a person recognises, with a wheel on a frame of
// its own, so that a picture shows at once whether textures sit right, faces
// point outward and frame transforms hold.
#include "samples/samples.h"

#include <cctype>
#include <cmath>
#include <utility>

namespace kestrun::samples {

namespace {

using vec3 = std::array<float, 3>;
using rgb = std::array<std::uint8_t, 3>;

vec3 add(vec3 a, vec3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
vec3 sub(vec3 a, vec3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
vec3 cross(vec3 a, vec3 b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }

std::uint32_t packed(vec3 n)
{
	const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
	return pack_normal(n[0] / length, n[1] / length, n[2] / length);
}

// "crate_top" for the face labelled "TOP".
std::string texture_name(const std::string& label)
{
	std::string name = "crate_";
	for (char c : label)
		name += char(std::tolower(static_cast<unsigned char>(c)));
	return name;
}

// ---------------------------------------------------------------------------
// Face images: the face's name under an arrow pointing up, inside a frame.

constexpr int image_size = 128;

struct Glyph {
	char letter;
	std::array<const char*, 7> rows;
};

// 5x7 capitals, just the letters the face names need.
constexpr Glyph glyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
};

bool glyph_ink(char letter, int column, int row)
{
	for (const Glyph& g : glyphs)
		if (g.letter == letter)
			return g.rows[std::size_t(row)][column] == '#';
	return false;
}

constexpr int text_scale = 3, text_top = 62, text_advance = 6 * text_scale;

bool text_ink(const std::string& text, int x, int y)
{
	const int width = int(text.size()) * text_advance - text_scale;
	const int left = (image_size - width) / 2;
	if (y < text_top || y >= text_top + 7 * text_scale || x < left || x >= left + width)
		return false;
	const int column = (x - left) % text_advance / text_scale;
	return column < 5 && glyph_ink(text[std::size_t((x - left) / text_advance)], column, (y - text_top) / text_scale);
}

// The head from row 10 to 33, the shaft below it to row 53.
bool arrow_ink(int x, int y)
{
	const float from_middle = std::fabs(float(x) + 0.5f - image_size / 2.0f);
	if (y >= 10 && y < 34)
		return from_middle <= 1.0f + 0.9f * float(y - 10);
	return y >= 34 && y < 54 && from_middle <= 6.0f;
}

// Row 0 is the image's top: the PC's texel order, and glTF's texture
// coordinate (0, 0).
SampleTexture face_texture(const std::string& label, rgb background)
{
	SampleTexture t =
	    make_sample_texture(texture_name(label), TexelFormat::c8888, Pattern::gradient, image_size, image_size, false);
	const rgb frame{96, 64, 32}, ink{30, 30, 40};
	buffer texels, rgba;
	for (int y = 0; y < image_size; y++) {
		for (int x = 0; x < image_size; x++) {
			const bool edge = x < 4 || y < 4 || x >= image_size - 4 || y >= image_size - 4;
			const rgb c = edge ? frame : arrow_ink(x, y) || text_ink(label, x, y) ? ink : background;
			put_bytes(texels, std::array<std::uint8_t, 4>{c[2], c[1], c[0], 255});
			put_bytes(rgba, std::array<std::uint8_t, 4>{c[0], c[1], c[2], 255});
		}
	}
	t.texels = {std::move(texels)};
	t.rgba = {std::move(rgba)};
	return t;
}

// ---------------------------------------------------------------------------
// The crate: a cube of side 2 about the origin, z up, the front facing -y.
// Four vertices a face so each face has its own normal and image.

struct Face {
	const char* label;
	vec3 normal, up; // up: where the image's top points
	rgb background;
};

// Side faces stand upright; the top's image points to the back, the bottom's
// to the front, as when the crate is tipped over its front or back edge.
constexpr Face faces[] = {
    {"TOP", {0, 0, 1}, {0, 1, 0}, {170, 220, 150}},   {"BOTTOM", {0, 0, -1}, {0, -1, 0}, {200, 180, 150}},
    {"FRONT", {0, -1, 0}, {0, 0, 1}, {150, 190, 235}}, {"BACK", {0, 1, 0}, {0, 0, 1}, {235, 170, 170}},
    {"LEFT", {-1, 0, 0}, {0, 0, 1}, {235, 220, 140}},  {"RIGHT", {1, 0, 0}, {0, 0, 1}, {195, 170, 230}},
};

// Lighter at the top, darker at the bottom; no 0xFF byte but alpha, so no
// colour can spell the console stamp.
std::array<std::uint8_t, 4> prelit(float height01)
{
	const float g = 170.0f + 80.0f * height01;
	return {std::uint8_t(g * 0.85f), std::uint8_t(g * 0.94f), std::uint8_t(g), 255}; // blue, green, red, alpha
}

NativeGeometry crate_geometry()
{
	NativeGeometry g;
	g.flags = 0x02 | 0x20 | format::flag_texture_coordinates | format::flag_prelit_colours | format::flag_normals;
	g.bin_mesh_flags = 0; // lists
	g.sphere = {0, 0, 0, std::sqrt(3.0f)};
	for (std::uint16_t f = 0; f < 6; f++) {
		const Face& face = faces[f];
		// Seen from outside: right is up x normal; each corner's uv is where it
		// sits in the image, (0, 0) top-left.
		const vec3 right = cross(face.up, face.normal);
		const std::uint16_t first = std::uint16_t(g.vertices.size());
		for (const auto& [across, down] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
			NativeVertex v;
			for (std::size_t k = 0; k < 3; k++)
				v.position[k] = face.normal[k] + float(2 * across - 1) * right[k] - float(2 * down - 1) * face.up[k];
			v.normal = packed(face.normal);
			v.colour = prelit((v.position[2] + 1) / 2);
			v.uv = {float(across), float(down)};
			g.vertices.push_back(v);
		}
		// top-left, bottom-left, bottom-right; top-left, bottom-right,
		// top-right: counter-clockwise seen from outside.
		NativeMesh mesh;
		for (int corner : {0, 2, 3, 0, 3, 1})
			mesh.indices.push_back(std::uint16_t(first + corner));
		mesh.material = f;
		g.meshes.push_back(mesh);
		g.materials.push_back({{255, 255, 255, 255}, texture_name(face.label)});
	}
	g.triangles = triangle_count(g);
	return g;
}

// ---------------------------------------------------------------------------
// The wheel: a solid of revolution about its local z, tyre and hub, as two
// stitched strips over shared vertices whose normals average the triangles
// around them, so it shades smoothly.

constexpr std::uint16_t segments = 24;

// (radius, z) from the back's centre round the rim to the front's centre.
constexpr std::array<std::array<float, 2>, 10> profile = {{{0.0f, -0.10f},
                                                           {0.14f, -0.10f},
                                                           {0.22f, -0.14f},
                                                           {0.34f, -0.14f},
                                                           {0.40f, -0.08f},
                                                           {0.40f, 0.08f},
                                                           {0.34f, 0.14f},
                                                           {0.22f, 0.14f},
                                                           {0.14f, 0.10f},
                                                           {0.0f, 0.10f}}};

// The back centre is vertex 0, each ring `segments` vertices, the front
// centre last.
std::uint16_t ring_vertex(std::size_t ring, std::uint16_t i)
{
	if (ring == 0)
		return 0;
	if (ring == profile.size() - 1)
		return std::uint16_t(1 + (profile.size() - 2) * segments);
	return std::uint16_t(1 + (ring - 1) * segments + i % segments);
}

// The bands between consecutive profile rings, each a strip that leads with
// the ring nearer the front (counter-clockwise seen from outside), joined by
// repeating the last index of one band and the first of the next. Every band
// has an even length, so each starts on an even position.
std::vector<std::uint16_t> bands(std::size_t from, std::size_t to)
{
	std::vector<std::uint16_t> strip;
	for (std::size_t ring = from; ring < to; ring++) {
		if (!strip.empty()) {
			strip.push_back(strip.back());
			strip.push_back(ring_vertex(ring + 1, 0));
		}
		for (std::uint16_t i = 0; i <= segments; i++) {
			strip.push_back(ring_vertex(ring + 1, i));
			strip.push_back(ring_vertex(ring, i));
		}
	}
	return strip;
}

// Area-weighted vertex normals of the strips' triangles, unrolled the way a
// reader does: odd positions swap their last two vertices.
std::vector<vec3> averaged_normals(const NativeGeometry& g)
{
	std::vector<vec3> sum(g.vertices.size(), vec3{});
	for (const NativeMesh& m : g.meshes)
		for (std::size_t j = 0; j + 2 < m.indices.size(); j++) {
			std::uint16_t p = m.indices[j], q = m.indices[j + 1], r = m.indices[j + 2];
			if (p == q || p == r || q == r)
				continue;
			if (j % 2 != 0)
				std::swap(q, r);
			const vec3 a = g.vertices[p].position;
			const vec3 n = cross(sub(g.vertices[q].position, a), sub(g.vertices[r].position, a));
			for (std::uint16_t v : {p, q, r})
				sum[v] = add(sum[v], n);
		}
	return sum;
}

NativeGeometry wheel_geometry()
{
	NativeGeometry g;
	g.flags = 0x01 | 0x02 | 0x20 | format::flag_prelit_colours | format::flag_normals;
	g.bin_mesh_flags = 1; // strips
	g.sphere = {0, 0, 0, std::hypot(0.40f, 0.14f)};
	for (std::size_t ring = 0; ring < profile.size(); ring++) {
		const auto [radius, z] = profile[ring];
		const std::uint16_t count = radius == 0 ? 1 : segments;
		for (std::uint16_t i = 0; i < count; i++) {
			const float angle = 2.0f * 3.14159265f * float(i) / float(segments);
			NativeVertex v;
			v.position = {radius * std::cos(angle), radius * std::sin(angle), z};
			v.colour = prelit((v.position[1] / 0.4f + 1) / 2); // local y is up on the crate
			g.vertices.push_back(v);
		}
	}
	NativeMesh tyre, hub;
	tyre.indices = bands(2, 7);
	tyre.material = 0;
	hub.indices = bands(0, 2);
	const std::vector<std::uint16_t> front = bands(7, 9);
	hub.indices.push_back(hub.indices.back());
	hub.indices.push_back(front.front());
	hub.indices.insert(hub.indices.end(), front.begin(), front.end());
	hub.material = 1;
	g.meshes = {tyre, hub};
	g.materials = {{{60, 60, 66, 255}, ""}, {{200, 60, 40, 255}, ""}};
	const std::vector<vec3> normals = averaged_normals(g);
	for (std::size_t i = 0; i < g.vertices.size(); i++)
		g.vertices[i].normal = packed(normals[i]);
	g.triangles = triangle_count(g);
	return g;
}

} // namespace

Model crate_model()
{
	Model m;
	m.frames = {Frame{{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, -1, "crate"},
	            // The wheel's axis (its z) along the crate's x, its y up: on the
	            // right face, low and towards the front.
	            Frame{{0, 1, 0, 0, 0, 1, 1, 0, 0, 1.15f, -0.5f, -0.75f}, 0, "wheel"}};
	m.geometries = {crate_geometry(), wheel_geometry()};
	return m;
}

std::vector<SampleTexture> crate_textures()
{
	std::vector<SampleTexture> textures;
	for (const Face& f : faces)
		textures.push_back(face_texture(f.label, f.background));
	return textures;
}

} // namespace kestrun::samples
