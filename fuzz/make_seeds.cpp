// kestrun_fuzz_seeds DIR: writes the seed inputs of the harnesses into
// DIR/container, DIR/convert, DIR/file and DIR/tree. Small on purpose: a few
// geometries of a few vertices each, so the fuzzer spends its time on
// structure rather than on copying bulk.
#include "samples/samples.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

bool write_file(const std::filesystem::path& path, const buffer& data)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
	out.close();
	return bool(out);
}

// One model of `count` geometries cycling through the vertex flags.
buffer small_model(std::uint64_t seed, std::uint32_t count, bool strips, std::uint32_t vertices)
{
	Prng rng{seed};
	Model model;
	model.frames.resize(2);
	model.frames[1].parent = 0;
	model.frames[1].name = "part";
	for (std::uint32_t k = 0; k < count; k++) {
		const std::uint16_t flags = std::uint16_t((k * 0x04 + seed * 0x04) & 0x1C);
		model.geometries.push_back(random_geometry(rng, flags, strips, vertices + rng.below(vertices)));
	}
	return model_stream(model, Form::native);
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: kestrun_fuzz_seeds DIR\n");
		return 2;
	}
	const std::filesystem::path dir = argv[1];
	struct Stream {
		std::string name;
		buffer data;
	};
	const std::vector<Stream> streams = {
		{"one-list", small_model(1, 1, false, 4)},
		{"one-strip", small_model(2, 1, true, 4)},
		{"lists", small_model(3, 3, false, 6)},
		{"strips", small_model(4, 3, true, 6)},
		{"all-flags", small_model(5, 8, false, 3)},
		{"converted", [] {
			 Prng rng{6};
			 Model model;
			 model.frames.resize(1);
			 model.geometries.push_back(random_geometry(rng, 0x1C, false, 5));
			 return model_stream(model, Form::generic);
		 }()},
		{"dictionary", texture_dictionary_stream(7, 1)},
	};

	for (const char* harness : {"container", "convert", "file", "tree", "texture", "gltf"}) {
		std::error_code ec;
		std::filesystem::create_directories(dir / harness, ec);
		if (ec) {
			std::fprintf(stderr, "%s: %s\n", (dir / harness).string().c_str(), ec.message().c_str());
			return 1;
		}
	}
	bool ok = true;
	for (const Stream& s : streams) {
		// Texels make a poor seed for the converter.
		if (s.name != "dictionary")
			ok = ok && write_file(dir / "convert" / (s.name + ".stream"), s.data);
		// One block, and many small ones so that the chain is exercised.
		const buffer single = pack_container(s.data);
		const buffer chained = pack_container(s.data, 256);
		for (const char* harness : {"container", "file", "tree"}) {
			ok = ok && write_file(dir / harness / (s.name + ".container"), single);
			ok = ok && write_file(dir / harness / (s.name + "-blocks.container"), chained);
		}
	}
	ok = ok && write_file(dir / "container" / "empty-stream.container", pack_container(buffer()));
	// The kit reads converted outputs as plain streams, and fixes them.
	for (const Stream& s : streams)
		if (s.name != "dictionary")
			ok = ok && write_file(dir / "tree" / (s.name + ".stream"), s.data);
	// The texture reader: one small dictionary per texel format, with levels.
	const char* formats[] = {"8888", "888", "565", "1555", "4444", "555", "lum8", "pal8", "pal4", "dxt1", "dxt3", "dxt5"};
	for (int f = 0; f < 12; f++) {
		const SampleTexture t = make_sample_texture(formats[f], TexelFormat(f), Pattern::alpha_ramp, 8, 4, true);
		ok = ok && write_file(dir / "texture" / (std::string(formats[f]) + ".stream"), texture_dictionary({t}, Form::native));
	}
	// The glTF export: models followed by a dictionary of a few of the
	// textures their materials name, as streams and as a container.
	std::vector<SampleTexture> textures = sample_textures();
	textures.resize(6);
	const buffer dictionary = texture_dictionary(textures, Form::native);
	for (const Stream& s : streams) {
		if (s.name == "dictionary")
			continue;
		buffer with = s.data;
		with.insert(with.end(), dictionary.begin(), dictionary.end());
		ok = ok && write_file(dir / "gltf" / (s.name + ".stream"), with);
	}
	ok = ok && write_file(dir / "gltf" / "one-list.container", pack_container(streams[0].data));
	if (!ok) {
		std::fprintf(stderr, "%s: cannot write the seeds\n", dir.string().c_str());
		return 1;
	}
	return 0;
}
