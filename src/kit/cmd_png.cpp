// `kestrun-kit png FILE... [-o DIR] [--levels]`: every texture of console or
// PC dictionaries as an RGBA PNG, DIR/<dictionary>/<texture>.png.
#include "kit/batch_output.h"
#include "kit/commands.h"
#include "kit/load.h"
#include "stream/stream.h"
#include "texture/texture.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

struct PngOptions {
	std::vector<std::string> files;
	std::string out_dir = "textures";
	bool levels = false;
};

// The PNG names of one texture: NAME.png, or NAME.0.png, NAME.1.png, ...
std::vector<std::string> png_names(const std::string& base, std::size_t levels, bool every_level)
{
	if (!every_level)
		return {base + ".png"};
	std::vector<std::string> names;
	for (std::size_t i = 0; i < levels; i++)
		names.push_back(base + "." + std::to_string(i) + ".png");
	return names;
}

// A base name whose files are all free in `taken`, NAME or NAME~2, NAME~3...;
// its files are taken.
std::vector<std::string> claim_names(const std::string& wanted, std::size_t levels, bool every_level, NameSet& taken)
{
	for (unsigned n = 1;; n++) {
		const std::string base = n == 1 ? wanted : wanted + "~" + std::to_string(n);
		std::vector<std::string> names = png_names(base, levels, every_level);
		bool free = true;
		for (const std::string& name : names)
			free = free && !taken.taken(name);
		if (free) {
			for (const std::string& name : names)
				taken.take(name);
			return names;
		}
	}
}

struct Run {
	const PngOptions& options;
	NameSet folders; // dictionary folders of this run
};

// False when any texture failed; every failure has been reported.
bool export_file(const std::string& name, Run& run, Progress& progress)
{
	LoadedFile f;
	std::string error;
	if (!load_file(name, f, error)) {
		progress.clear();
		report_error(name, error);
		return false;
	}
	bool ok = true;
	if (f.container && f.inflated.problem != ContainerProblem::none) {
		progress.clear();
		report_error(name, "damaged container: block " + std::to_string(f.inflated.block) + ": " +
		                       container_problem_name(f.inflated.problem) + "; the textures decoded so far are written");
		ok = false;
	}
	const stream::Tree tree = stream::parse_tree(f.stream);
	if (tree.top.empty() || tree.top[0].type != format::type_texture_dictionary) {
		progress.clear();
		report_error(name, "not a texture dictionary");
		return false;
	}
	const std::string stem = safe_file_name(to_utf8(to_path(name).stem()));
	std::string folder_name = stem;
	for (unsigned n = 2; !run.folders.take(folder_name); n++)
		folder_name = stem + "~" + std::to_string(n);
	const fs::path folder = to_path(run.options.out_dir) / folder_name;

	NameSet files;
	std::size_t written = 0, textures = 0;
	for (const stream::Chunk* native : stream::children_of_type(tree.top[0], format::type_texture_native)) {
		textures++;
		const std::optional<texture::DecodedTexture> t = texture::decode_texture_native(*native, error);
		if (!t) {
			progress.clear();
			report_error(name, error + "; not written");
			ok = false;
			continue;
		}
		const std::vector<std::string> names = claim_names(safe_file_name(t->name), t->levels.size(), run.options.levels, files);
		std::error_code ec;
		fs::create_directories(folder, ec);
		bool texture_ok = true;
		for (std::size_t i = 0; i < names.size() && texture_ok; i++) {
			const std::vector<std::uint8_t> png = texture::encode_png(t->levels[i]);
			const std::string path = to_utf8(folder / names[i]);
			if (png.empty())
				error = "cannot encode the PNG";
			if (png.empty() || !replace_file(path, png, error)) {
				progress.clear();
				report_error(name, "texture \"" + t->name + "\": cannot write " + path + ": " + error);
				texture_ok = ok = false;
			}
		}
		written += texture_ok ? 1 : 0;
	}
	// A chunk whose size reaches too far swallows the textures after it: the
	// dictionary's own count is what tells that some never came out.
	if (const auto info = stream::decode_dictionary(tree.top[0]); info && info->textures != textures) {
		progress.clear();
		report_error(name, "the dictionary counts " + std::to_string(info->textures) + " textures but holds " +
		                       std::to_string(textures) + " Texture Native chunk" + (textures == 1 ? "" : "s"));
		ok = false;
	}
	progress.clear();
	std::printf("%s: %zu of %zu texture%s written to %s\n", name.c_str(), written, textures, textures == 1 ? "" : "s",
	            to_utf8(folder).c_str());
	return ok;
}

int run_png(const PngOptions& options)
{
	Run run{options, {}};
	int status = exit_ok;
	Progress progress(options.files.size());
	for (std::size_t i = 0; i < options.files.size(); i++) {
		if (!export_file(options.files[i], run, progress))
			status = exit_failed;
		progress.show(i + 1);
	}
	return status;
}

} // namespace

void add_png_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<PngOptions>();
	CLI::App* sub = app.add_subcommand("png", "Write every texture of texture dictionaries as an RGBA PNG");
	sub->footer("Writes DIR/<dictionary name>/<texture name>.png, console and PC dictionaries alike. Names are made\n"
	            "safe for every file system; names equal apart from case get ~2, ~3, ... A texture that cannot be\n"
	            "read is reported and the others are still written. Exit status: 0 when every texture was written,\n"
	            "1 when one was not, 2 for a usage error.");
	sub->add_option("FILE", options->files, "texture dictionaries")->required();
	sub->add_option("-o,--output", options->out_dir, "the folder to write into")->capture_default_str();
	sub->add_flag("--levels", options->levels, "write every level, <texture name>.<level>.png, level 0 the largest");
	sub->callback([options, &status] { status = run_png(*options); });
}

} // namespace kestrun::kit
