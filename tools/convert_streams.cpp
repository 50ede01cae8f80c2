// kestrun-convert-streams OUTDIR [FILE...]: converts each FILE as an inflated
// model stream and writes the result to OUTDIR under the file's own name,
// and the worked example (the hand-made small model) as
// OUTDIR/worked-example. Prints one line per reported geometry:
// `NAME: OFFSET PROBLEM`. For comparing the converter's output across
// changes (scripts/output_hashes.sh).
#include "samples/samples.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace kestrun;

namespace {

bool write_file(const std::filesystem::path& path, const samples::buffer& data)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
	out.close();
	return bool(out);
}

bool convert(const std::string& name, const samples::buffer& stream, const std::filesystem::path& dir)
{
	std::vector<GeometryReport> problems;
	const samples::buffer out = convert_stream(stream, problems);
	for (const GeometryReport& p : problems)
		std::printf("%s: %llu %s\n", name.c_str(), static_cast<unsigned long long>(p.offset),
		            geometry_problem_name(p.problem));
	return write_file(dir / name, out);
}

} // namespace

int main(int argc, char** argv)
{
	if (argc < 2) {
		std::fprintf(stderr, "usage: kestrun-convert-streams OUTDIR [FILE...]\n");
		return 2;
	}
	const std::filesystem::path dir = argv[1];
	std::error_code ec;
	std::filesystem::create_directories(dir, ec);
	bool ok = !ec && convert("worked-example", samples::worked_example_native(), dir);
	for (int k = 2; k < argc; k++) {
		std::ifstream in(argv[k], std::ios::binary);
		const samples::buffer stream{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
		if (!in.good() && !in.eof()) {
			std::fprintf(stderr, "%s: cannot read\n", argv[k]);
			ok = false;
			continue;
		}
		ok = convert(std::filesystem::path(argv[k]).filename().string(), stream, dir) && ok;
	}
	if (!ok)
		std::fprintf(stderr, "%s: cannot write\n", dir.string().c_str());
	return ok ? 0 : 1;
}
