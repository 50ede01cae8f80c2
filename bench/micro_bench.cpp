// Micro benchmarks of the converter's stages, in bytes of inflated stream a
// second:
//
//   container/...        decompress_container against bare
//                        lzo1x_decompress_safe calls on the same blocks, the
//                        least any container reader can cost;
//   restamp_stream/...   the stamp pass;
//   walk_chunks/...      the chunk walk with its rebuilds, on restamped streams;
//   convert_stream/...   the whole conversion, on streams of 50 KB, 500 KB and
//                        2 MB holding the same vertex data in 1, 10, 50 or 200
//                        geometries;
//   linear/...           convert_stream on 2 MB of vertex data in 5 and in 200
//                        geometries; the time ratio of the pair is printed last.
#include "bench_inputs.h"

#include "container/container.h"
#include "geometry/steps.h"
#include "samples/samples.h"
#include "stream/stream.h"
#include "texture/texture.h"

#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <unistd.h>

namespace {

using kestrun::bench::buffer;

constexpr std::uint64_t seed = 0x62656E63;

struct Size {
	const char* label;
	std::uint64_t bytes;
};

constexpr Size sizes[] = {{"50KB", 50000}, {"500KB", 500000}, {"2MB", 2000000}};
constexpr std::uint32_t geometry_counts[] = {1, 10, 50, 200};

// Model streams are costly to make; each is made once, on first use.
const buffer& model(std::uint64_t bytes, std::uint32_t geometries)
{
	static std::map<std::uint64_t, std::uint64_t> vertices;
	static std::map<std::pair<std::uint64_t, std::uint32_t>, buffer> streams;
	auto v = vertices.find(bytes);
	if (v == vertices.end())
		v = vertices.emplace(bytes, kestrun::bench::vertices_for_size(seed, bytes)).first;
	auto s = streams.find({bytes, geometries});
	if (s == streams.end())
		s = streams.emplace(std::pair{bytes, geometries}, kestrun::bench::even_model_stream(seed, v->second, geometries))
		        .first;
	return s->second;
}

const buffer& dictionary()
{
	static const buffer stream = kestrun::samples::texture_dictionary_stream(seed, 40);
	return stream;
}

const buffer& restamped_model(std::uint64_t bytes, std::uint32_t geometries)
{
	static std::map<std::pair<std::uint64_t, std::uint32_t>, buffer> streams;
	auto s = streams.find({bytes, geometries});
	if (s == streams.end()) {
		buffer copy = model(bytes, geometries);
		kestrun::restamp_stream(copy, kestrun::target_stamp);
		s = streams.emplace(std::pair{bytes, geometries}, std::move(copy)).first;
	}
	return s->second;
}

// A stream packed as a container, with where each block's LZO1X data lies.
struct Packed {
	std::uint64_t length;
	buffer container;
	std::vector<std::pair<std::size_t, std::size_t>> blocks; // offset, length
};

Packed pack(const buffer& stream)
{
	Packed p;
	p.length = stream.size();
	const auto blocks = kestrun::samples::compress_blocks(stream);
	p.container = kestrun::samples::assemble_container(blocks);
	std::size_t at = 12;
	for (const auto& b : blocks) {
		p.blocks.emplace_back(at + 12, b.data.size());
		at += 12 + b.data.size();
	}
	return p;
}

void set_bytes(benchmark::State& state, std::uint64_t per_iteration)
{
	state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(per_iteration));
}

void decompress_container_bench(benchmark::State& state, const buffer* stream)
{
	const Packed p = pack(*stream);
	auto out = std::make_unique_for_overwrite<std::uint8_t[]>(kestrun::stream_capacity);
	for (auto _ : state) {
		auto r = kestrun::decompress_container(p.container, kestrun::mut_bytes(out.get(), kestrun::stream_capacity));
		benchmark::DoNotOptimize(r);
		if (r.length != p.length || r.problem != kestrun::ContainerProblem::none) {
			state.SkipWithError("container did not inflate to the stream");
			break;
		}
		benchmark::ClobberMemory();
	}
	set_bytes(state, p.length);
}

void bare_lzo_bench(benchmark::State& state, const buffer* stream)
{
	const Packed p = pack(*stream);
	auto out = std::make_unique_for_overwrite<std::uint8_t[]>(kestrun::stream_capacity);
	for (auto _ : state) {
		std::size_t at = 0;
		for (const auto& [offset, length] : p.blocks) {
			lzo_uint written = kestrun::stream_capacity - at;
			int rc = lzo1x_decompress_safe(p.container.data() + offset, lzo_uint(length), out.get() + at, &written,
			                               nullptr);
			benchmark::DoNotOptimize(rc);
			at += written;
		}
		if (at != p.length) {
			state.SkipWithError("blocks did not inflate to the stream");
			break;
		}
		benchmark::ClobberMemory();
	}
	set_bytes(state, p.length);
}

void restamp_bench(benchmark::State& state, std::uint64_t bytes, std::uint32_t geometries)
{
	const buffer& stream = model(bytes, geometries);
	buffer work(stream.size());
	for (auto _ : state) {
		// Each pass needs the stamps back; the copy is not timed.
		state.PauseTiming();
		std::memcpy(work.data(), stream.data(), stream.size());
		state.ResumeTiming();
		kestrun::restamp_stream(work, kestrun::target_stamp);
		benchmark::ClobberMemory();
	}
	set_bytes(state, stream.size());
}

void walk_bench(benchmark::State& state, const buffer* restamped)
{
	std::vector<kestrun::GeometryReport> problems;
	std::vector<std::uint8_t> work;
	for (auto _ : state) {
		state.PauseTiming();
		work.assign(restamped->begin(), restamped->end());
		problems.clear();
		state.ResumeTiming();
		const std::vector<std::uint8_t> out = kestrun::walk_chunks(work, kestrun::target_stamp, problems);
		benchmark::DoNotOptimize(out.data());
	}
	if (!problems.empty())
		state.SkipWithError("the walk reported geometry problems");
	set_bytes(state, restamped->size());
}

void convert_bench(benchmark::State& state, std::uint64_t bytes, std::uint32_t geometries)
{
	const buffer& stream = model(bytes, geometries);
	std::vector<kestrun::GeometryReport> problems;
	for (auto _ : state) {
		problems.clear();
		auto converted = kestrun::convert_stream(stream, problems);
		benchmark::DoNotOptimize(converted.data());
	}
	if (!problems.empty())
		state.SkipWithError("the conversion reported geometry problems");
	set_bytes(state, stream.size());
	state.counters["geometries"] = geometries;
}

// Console dictionary to PC dictionary: read, unswizzle, write.
void convert_dictionary_bench(benchmark::State& state, const buffer* stream)
{
	for (auto _ : state) {
		const kestrun::texture::DictionaryResult r = kestrun::texture::convert_dictionary(*stream);
		benchmark::DoNotOptimize(r.stream.data());
	}
	set_bytes(state, stream->size());
}

// Every texture decoded to RGBA and its top level encoded as PNG.
void decode_png_bench(benchmark::State& state, const buffer* stream)
{
	const kestrun::stream::Tree tree = kestrun::stream::parse_tree(*stream);
	for (auto _ : state) {
		for (const auto* native : kestrun::stream::children_of_type(tree.top.at(0), kestrun::format::type_texture_native)) {
			std::string error;
			const auto t = kestrun::texture::decode_texture_native(*native, error);
			const std::vector<std::uint8_t> png = kestrun::texture::encode_png(t->levels.at(0));
			benchmark::DoNotOptimize(png.data());
		}
	}
	set_bytes(state, stream->size());
}

void register_all()
{
	using benchmark::RegisterBenchmark;
	const buffer* two_mb = &model(2000000, 50);
	RegisterBenchmark("container/decompress_container/model_2MB", decompress_container_bench, two_mb)
		->Unit(benchmark::kMicrosecond);
	RegisterBenchmark("container/lzo1x_decompress_safe/model_2MB", bare_lzo_bench, two_mb)
		->Unit(benchmark::kMicrosecond);
	RegisterBenchmark("container/decompress_container/dictionary", decompress_container_bench, &dictionary())
		->Unit(benchmark::kMicrosecond);
	RegisterBenchmark("container/lzo1x_decompress_safe/dictionary", bare_lzo_bench, &dictionary())
		->Unit(benchmark::kMicrosecond);

	for (const Size& s : sizes)
		RegisterBenchmark((std::string("restamp_stream/") + s.label).c_str(), restamp_bench, s.bytes, 50)
			->Unit(benchmark::kMicrosecond);

	// With no Geometry chunk the walk is the bare scan.
	static buffer dictionary_restamped = dictionary();
	kestrun::restamp_stream(dictionary_restamped, kestrun::target_stamp);
	RegisterBenchmark("walk_chunks/dictionary", walk_bench, &dictionary_restamped)->Unit(benchmark::kMicrosecond);
	for (const Size& s : sizes)
		for (std::uint32_t g : geometry_counts)
			RegisterBenchmark(("walk_chunks/" + std::string(s.label) + "/" + std::to_string(g) + "geo").c_str(),
			                  walk_bench, &restamped_model(s.bytes, g))
				->Unit(benchmark::kMillisecond);

	for (const Size& s : sizes)
		for (std::uint32_t g : geometry_counts)
			RegisterBenchmark(("convert_stream/" + std::string(s.label) + "/" + std::to_string(g) + "geo").c_str(),
			                  convert_bench, s.bytes, g)
				->Unit(benchmark::kMillisecond);

	static const buffer every_format =
		kestrun::samples::texture_dictionary(kestrun::samples::sample_textures(), kestrun::samples::Form::native);
	RegisterBenchmark("texture/convert_dictionary/32bit_40", convert_dictionary_bench, &dictionary())
		->Unit(benchmark::kMicrosecond);
	RegisterBenchmark("texture/convert_dictionary/every_format", convert_dictionary_bench, &every_format)
		->Unit(benchmark::kMicrosecond);
	RegisterBenchmark("texture/decode_and_png/32bit_40", decode_png_bench, &dictionary())->Unit(benchmark::kMillisecond);
	RegisterBenchmark("texture/decode_and_png/every_format", decode_png_bench, &every_format)
		->Unit(benchmark::kMillisecond);

	for (std::uint32_t g : {5u, 200u})
		RegisterBenchmark(("linear/convert_stream/2MB/" + std::to_string(g) + "geo").c_str(), convert_bench,
		                  std::uint64_t(2000000), g)
			->Unit(benchmark::kMillisecond);
}

// The console reporter, remembering the linear pair's times per iteration.
// Colours only on a terminal.
class Reporter : public benchmark::ConsoleReporter {
public:
	Reporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

	void ReportRuns(const std::vector<Run>& runs) override
	{
		for (const Run& r : runs) {
			if (r.run_type != Run::RT_Iteration || r.iterations == 0)
				continue;
			const double seconds = r.real_accumulated_time / double(r.iterations);
			const std::string name = r.benchmark_name();
			if (name == "linear/convert_stream/2MB/5geo")
				few_ = seconds;
			else if (name == "linear/convert_stream/2MB/200geo")
				many_ = seconds;
		}
		ConsoleReporter::ReportRuns(runs);
	}

	void print_ratio() const
	{
		if (few_ > 0 && many_ > 0)
			std::printf("\nlinear ratio: convert_stream of 2 MB in 200 geometries / in 5 geometries = %.2f "
			            "(%.2f ms / %.2f ms; target at most 1.5)\n",
			            many_ / few_, many_ * 1e3, few_ * 1e3);
	}

private:
	double few_ = 0;
	double many_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
	if (lzo_init() != LZO_E_OK) {
		std::fprintf(stderr, "lzo_init() failed\n");
		return 1;
	}
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	register_all();
	Reporter reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);
	reporter.print_ratio();
	benchmark::Shutdown();
	return 0;
}
