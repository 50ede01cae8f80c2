// kestrun-corpus DIR [MODELS [DICTIONARIES]]: writes the batch benchmark's
// corpus, the same for the same arguments, into three folders below DIR:
//
//   DIR/kestrun/  MODELS model containers (*.dff, 20 KB to 2 MiB inflated,
//                 1 to 60 geometries) and DICTIONARIES texture dictionary
//                 containers (*.txd): what `kestrun '*'` converts;
//   DIR/floor/    the same containers, the models renamed *.txd, so that
//                 `kestrun '*'` only inflates and writes them;
//   DIR/peer/     the same LZO1X blocks as lzop files (NAME.lzo), for
//                 `lzop -d`.
//
// Defaults: 300 models, 150 dictionaries.
#include "bench_inputs.h"

#include "common/bytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using kestrun::bench::buffer;

constexpr std::uint64_t corpus_seed = 0x6B657374;
constexpr std::size_t block_size = 65536;
constexpr std::uint64_t smallest_model = 20000;
constexpr std::uint64_t largest_model = 2097152;
constexpr std::uint32_t most_geometries = 60;

bool write_file(const fs::path& path, const buffer& data)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
	out.close();
	if (!out)
		std::fprintf(stderr, "%s: cannot write\n", path.string().c_str());
	return bool(out);
}

bool parse_count(const char* text, std::uint32_t& count)
{
	char* end = nullptr;
	unsigned long v = std::strtoul(text, &end, 10);
	if (end == text || *end != '\0' || v > 100000)
		return false;
	count = std::uint32_t(v);
	return true;
}

struct Totals {
	std::uint32_t files = 0;
	std::uint64_t stored = 0;
	std::uint64_t inflated = 0;
	std::uint64_t smallest = UINT64_MAX;
	std::uint64_t largest = 0;
	std::uint32_t fewest_geometries = UINT32_MAX;
	std::uint32_t most_geometries = 0;
	std::uint32_t raw_blocks = 0;
	std::uint32_t blocks = 0;

	void add(std::uint64_t container, std::uint64_t stream)
	{
		files++;
		stored += container;
		inflated += stream;
		smallest = std::min(smallest, stream);
		largest = std::max(largest, stream);
	}
};

// Writes one file into the three folders. `floor_name` is the name the
// container takes in the floor folder.
bool write_entry(const fs::path& dir, const std::string& name, const std::string& floor_name, const buffer& stream,
                 Totals& totals)
{
	if (stream.size() > kestrun::stream_capacity) {
		std::fprintf(stderr, "%s: %zu inflated bytes do not fit the stream buffer\n", name.c_str(), stream.size());
		return false;
	}
	const auto blocks = kestrun::samples::compress_blocks(stream, block_size);
	const buffer container = kestrun::samples::assemble_container(blocks);
	std::uint32_t raw = 0;
	const buffer lzop = kestrun::bench::lzop_file(stream, blocks, block_size, name, raw);
	totals.add(container.size(), stream.size());
	totals.raw_blocks += raw;
	totals.blocks += std::uint32_t(blocks.size());
	return write_file(dir / "kestrun" / name, container) && write_file(dir / "floor" / floor_name, container) &&
	       write_file(dir / "peer" / (name + ".lzo"), lzop);
}

// Inflated size and geometry count of model `i`. The first three pin the
// ends of the ranges; the rest are spread evenly on a log scale, with as
// many geometries as leave each at least about 1.5 KB.
void model_shape(kestrun::samples::Prng& rng, std::uint32_t i, std::uint64_t& size, std::uint32_t& geometries)
{
	if (i == 0) {
		size = smallest_model;
		geometries = 1;
		return;
	}
	if (i == 1 || i == 2) {
		size = largest_model;
		geometries = i == 1 ? 1 : most_geometries;
		return;
	}
	const double t = double(rng.below(1u << 20)) / double(1u << 20);
	size = std::uint64_t(double(smallest_model) * std::pow(double(largest_model) / double(smallest_model), t));
	const std::uint32_t room = std::uint32_t(std::clamp<std::uint64_t>(size / 1500, 1, most_geometries));
	geometries = 1 + rng.below(room);
}

void print_totals(const char* what, const Totals& t)
{
	if (t.files == 0)
		return;
	std::printf("%-13s %4u files, %8.1f MB stored, %8.1f MB inflated (each %.1f KB to %.1f KB), "
	            "%u blocks of which %u stored raw in the lzop files\n",
	            what, t.files, double(t.stored) / 1e6, double(t.inflated) / 1e6, double(t.smallest) / 1e3,
	            double(t.largest) / 1e3, t.blocks, t.raw_blocks);
}

} // namespace

int main(int argc, char** argv)
{
	std::uint32_t models = 300, dictionaries = 150;
	if (argc < 2 || argc > 4 || (argc >= 3 && !parse_count(argv[2], models)) ||
	    (argc == 4 && !parse_count(argv[3], dictionaries))) {
		std::fprintf(stderr, "usage: kestrun-corpus DIR [MODELS [DICTIONARIES]]   (defaults 300 and 150)\n");
		return 2;
	}
	const fs::path dir = argv[1];
	for (const char* sub : {"kestrun", "floor", "peer"}) {
		std::error_code ec;
		fs::create_directories(dir / sub, ec);
		if (ec) {
			std::fprintf(stderr, "%s: %s\n", (dir / sub).string().c_str(), ec.message().c_str());
			return 1;
		}
	}

	kestrun::samples::Prng rng{corpus_seed};
	Totals model_totals, dictionary_totals;
	char name[32], floor_name[32];
	for (std::uint32_t i = 0; i < models; i++) {
		std::uint64_t size = 0;
		std::uint32_t geometries = 0;
		model_shape(rng, i, size, geometries);
		const buffer stream = kestrun::bench::varied_model_stream(rng.next(), size, geometries);
		std::snprintf(name, sizeof name, "model%03u.dff", unsigned(i));
		std::snprintf(floor_name, sizeof floor_name, "model%03u.txd", unsigned(i));
		if (!write_entry(dir, name, floor_name, stream, model_totals))
			return 1;
		model_totals.fewest_geometries = std::min(model_totals.fewest_geometries, geometries);
		model_totals.most_geometries = std::max(model_totals.most_geometries, geometries);
	}
	for (std::uint32_t i = 0; i < dictionaries; i++) {
		const buffer stream = kestrun::samples::texture_dictionary_stream(rng.next(), 2 + rng.below(14));
		std::snprintf(name, sizeof name, "textures%03u.txd", unsigned(i));
		if (!write_entry(dir, name, name, stream, dictionary_totals))
			return 1;
	}

	print_totals("models", model_totals);
	if (model_totals.files > 0)
		std::printf("%-13s %u to %u geometries each\n", "", model_totals.fewest_geometries,
		            model_totals.most_geometries);
	print_totals("dictionaries", dictionary_totals);
	return 0;
}
