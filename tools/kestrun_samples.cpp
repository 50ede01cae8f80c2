// kestrun-samples DIR [COUNT]: writes a deterministic set of sample model
// files (*.dff) and texture dictionaries (*.txd), stored as block
// containers, into DIR, creating it. COUNT is the number of models
// (default 12); a quarter as many dictionaries, at least one, come with them,
// and the showcase crate (crate.dff and its crate.txd) after them.
#include "samples/samples.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool write_file(const std::filesystem::path& path, const kestrun::samples::buffer& data)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
	out.close();
	return bool(out);
}

bool parse_count(const char* text, std::uint32_t& count)
{
	char* end = nullptr;
	unsigned long v = std::strtoul(text, &end, 10);
	if (end == text || *end != '\0' || v == 0 || v > 1000)
		return false;
	count = std::uint32_t(v);
	return true;
}

} // namespace

int main(int argc, char** argv)
{
	std::uint32_t models = 12;
	if (argc < 2 || argc > 3 || (argc == 3 && !parse_count(argv[2], models))) {
		std::fprintf(stderr, "usage: kestrun-samples DIR [COUNT]   (COUNT 1 to 1000, default 12)\n");
		return 2;
	}
	const std::filesystem::path dir = argv[1];
	std::error_code ec;
	std::filesystem::create_directories(dir, ec);
	if (ec) {
		std::fprintf(stderr, "%s: %s\n", argv[1], ec.message().c_str());
		return 1;
	}
	for (const auto& file : kestrun::samples::generator_set(models)) {
		if (!write_file(dir / file.name, file.container)) {
			std::fprintf(stderr, "%s: cannot write\n", (dir / file.name).string().c_str());
			return 1;
		}
		std::printf("%s: %zu bytes stored, %zu inflated\n", file.name.c_str(), file.container.size(),
		            file.stream.size());
	}
	return 0;
}
