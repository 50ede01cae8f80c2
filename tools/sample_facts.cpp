// kestrun-sample-facts DIR [COUNT]: for the files `kestrun-samples DIR COUNT`
// writes, what they hold as the generator built them, so that tests can
// compare what a third-party reader reads from the converted files:
//   DIR/facts.json  per model its frames, atomics and geometries (triangle
//                   records and kept meshes); per dictionary its textures;
//   DIR/legacy.dff  the first model as older converters wrote it, converted
//                   but with material 0 in every triangle record.
#include "samples/samples.h"
#include "stream/stream.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using json = nlohmann::ordered_json;
using namespace kestrun;
using namespace kestrun::samples;

json frames_facts(const Model& m)
{
	json frames = json::array();
	for (const Frame& f : m.frames)
		frames.push_back({{"parent", f.parent},
		                  {"rotation", std::vector<float>(f.matrix.begin(), f.matrix.begin() + 9)},
		                  {"position", std::vector<float>(f.matrix.begin() + 9, f.matrix.end())},
		                  {"name", f.name}});
	return frames;
}

json geometry_facts(const NativeGeometry& g)
{
	json meshes = json::array();
	for (const NativeMesh& mesh : g.meshes)
		if (mesh.indices.size() >= 3)
			meshes.push_back({{"material", mesh.material & 0xFF}, {"indices", mesh.indices}});
	json triangles = json::array();
	for (const auto& r : generic_triangle_records(g))
		triangles.push_back({r[0], r[1], r[2], r[3]});
	return {{"strips", (g.bin_mesh_flags & 0xFF) == 1}, {"triangles", triangles}, {"meshes", meshes}};
}

json model_facts(const Model& m)
{
	json geometries = json::array(), atomics = json::array();
	const std::size_t frames = std::max<std::size_t>(m.frames.size(), 1);
	for (std::size_t i = 0; i < m.geometries.size(); i++) {
		geometries.push_back(geometry_facts(m.geometries[i]));
		atomics.push_back({{"frame", i % frames}, {"geometry", i}});
	}
	return {{"frames", frames_facts(m)}, {"atomics", atomics}, {"geometries", geometries}};
}

json dictionary_facts(const std::vector<SampleTexture>& textures)
{
	json out = json::array();
	for (const SampleTexture& t : textures)
		out.push_back({{"name", t.name},
		               {"width", t.width},
		               {"height", t.height},
		               {"raster_format", t.raster_format},
		               {"depth", t.depth},
		               {"levels", t.texels.size()},
		               {"compression", t.pc_compression}});
	return out;
}

// Material 0 in every triangle record of every Geometry below `chunks`.
void clear_triangle_materials(buffer& s, const std::vector<stream::Chunk>& chunks)
{
	for (const stream::Chunk& c : chunks) {
		if (c.type == format::type_geometry)
			if (const auto g = stream::decode_geometry(c)) {
				const std::size_t at = std::size_t(g->triangle_records.data() - s.data());
				for (std::size_t k = 0; k < g->triangles; k++)
					store_u16(s, at + 8 * k + 4, 0);
			}
		clear_triangle_materials(s, c.children);
	}
}

bool write(const std::filesystem::path& path, const std::string& text)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out << text;
	out.close();
	return bool(out);
}

} // namespace

int main(int argc, char** argv)
{
	const unsigned long models = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 12;
	if (argc < 2 || argc > 3 || models == 0 || models > 1000) {
		std::fprintf(stderr, "usage: kestrun-sample-facts DIR [COUNT]   (COUNT as for kestrun-samples)\n");
		return 2;
	}
	const std::filesystem::path dir = argv[1];
	json facts{{"models", json::object()}, {"dictionaries", json::object()}};
	buffer legacy;
	for (const SampleFile& f : generator_set(std::uint32_t(models))) {
		if (f.name.ends_with(".txd")) {
			facts["dictionaries"][f.name] = dictionary_facts(f.textures);
			continue;
		}
		facts["models"][f.name] = model_facts(f.model);
		if (legacy.empty()) {
			legacy = f.expected;
			clear_triangle_materials(legacy, stream::parse_tree(legacy).top);
			facts["legacy"] = f.name;
		}
	}
	std::error_code ec;
	std::filesystem::create_directories(dir, ec);
	if (!write(dir / "facts.json", facts.dump()) ||
	    !write(dir / "legacy.dff", std::string(legacy.begin(), legacy.end()))) {
		std::fprintf(stderr, "%s: cannot write\n", argv[1]);
		return 1;
	}
	return 0;
}
