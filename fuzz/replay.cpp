// kestrun_replay CORPUS: runs every file under CORPUS/container,
// CORPUS/convert, CORPUS/file, CORPUS/tree, CORPUS/texture and CORPUS/gltf
// through the entry point of the harness of that name, without libFuzzer, so
// that every saved input, findings included, is an ordinary test. A broken
// promise or a sanitizer report ends the run; the last "replaying" line names
// the input.
#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using entry_function = int (*)(const std::uint8_t*, std::size_t);

struct Harness {
	const char* name;
	entry_function entry;
};

constexpr Harness harnesses[] = {
	{"container", kestrun::fuzz::container_entry},
	{"convert", kestrun::fuzz::convert_entry},
	{"file", kestrun::fuzz::file_entry},
#ifdef KESTRUN_REPLAY_KIT
	{"tree", kestrun::fuzz::tree_entry},
	{"texture", kestrun::fuzz::texture_entry},
	{"gltf", kestrun::fuzz::gltf_entry},
#endif
};

bool read_file(const std::filesystem::path& path, std::vector<std::uint8_t>& data)
{
	std::ifstream in(path, std::ios::binary);
	data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: kestrun_replay CORPUS\n");
		return 2;
	}
	const std::filesystem::path corpus = argv[1];
	unsigned total = 0;
	for (const Harness& harness : harnesses) {
		const std::filesystem::path folder = corpus / harness.name;
		std::error_code ec;
		std::vector<std::filesystem::path> files;
		for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
			if (entry.is_regular_file())
				files.push_back(entry.path());
		if (ec || files.empty()) {
			std::fprintf(stderr, "%s: no saved inputs\n", folder.string().c_str());
			return 1;
		}
		std::sort(files.begin(), files.end());
		for (const auto& file : files) {
			std::vector<std::uint8_t> data;
			if (!read_file(file, data)) {
				std::fprintf(stderr, "%s: cannot read\n", file.string().c_str());
				return 1;
			}
			std::fprintf(stderr, "replaying %s\n", file.string().c_str());
			// A fresh heap block of exactly the input's size, as libFuzzer
			// passes it.
			std::vector<std::uint8_t> exact(data.begin(), data.end());
			harness.entry(exact.data(), exact.size());
		}
		std::printf("%s: %zu inputs replayed\n", harness.name, files.size());
		total += unsigned(files.size());
	}
	std::printf("%u inputs replayed, no problem\n", total);
	return 0;
}
