// `kestrun-kit png FILE... [-o DIR] [--levels]`: every texture of console or
// PC dictionaries as an RGBA PNG, DIR/<dictionary>/<texture>.png.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"
#include "kit/file_names.h"
#include "stream/stream.h"
#include "texture/texture.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

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
	Batch batch;
	NameSet folders; // dictionary folders of this run
};

// The folder of the dictionary `name`'s textures: its safe stem, or
// STEM~2, STEM~3... when an earlier dictionary of the run has that one.
fs::path folder_of(const std::string& name, Run& run)
{
	const std::string stem = safe_file_name(to_utf8(to_path(name).stem()));
	std::string folder_name = stem;
	for (unsigned n = 2; !run.folders.take(folder_name); n++)
		folder_name = stem + "~" + std::to_string(n);
	return to_path(run.options.out_dir) / folder_name;
}

// Writes one decoded texture's PNGs into `folder`; false when one could not
// be written, which has been reported.
bool write_texture(const std::string& name, const texture::DecodedTexture& t, const fs::path& folder, NameSet& files,
                   Run& run)
{
	const std::vector<std::string> names = claim_names(safe_file_name(t.name), t.levels.size(), run.options.levels, files);
	std::error_code ec;
	fs::create_directories(folder, ec);
	for (std::size_t i = 0; i < names.size(); i++) {
		const std::vector<std::uint8_t> png = texture::encode_png(t.levels[i]);
		const std::string path = to_utf8(folder / names[i]);
		std::string error = "cannot encode the PNG";
		if (png.empty() || !replace_file(path, png, error)) {
			run.batch.error(name, "texture \"" + t.name + "\": cannot write " + path + ": " + error);
			return false;
		}
	}
	return true;
}

void export_file(const std::string& name, Run& run)
{
	const std::optional<LoadedFile> f = run.batch.load(name, Damage::reported, "the textures decoded so far are written");
	if (!f)
		return;
	const stream::Tree tree = stream::parse_tree(f->stream);
	if (tree.top.empty() || tree.top[0].type != format::type_texture_dictionary) {
		run.batch.error(name, "not a texture dictionary");
		return;
	}
	const fs::path folder = folder_of(name, run);
	NameSet files;
	std::size_t written = 0, textures = 0;
	for (const stream::Chunk* native : stream::children_of_type(tree.top[0], format::type_texture_native)) {
		textures++;
		std::string error;
		const std::optional<texture::DecodedTexture> t = texture::decode_texture_native(*native, error);
		if (!t)
			run.batch.error(name, error + "; not written");
		else if (write_texture(name, *t, folder, files, run))
			written++;
	}
	// A chunk whose size reaches too far swallows the textures after it: the
	// dictionary's own count is what tells that some never came out.
	if (const auto info = stream::decode_dictionary(tree.top[0]); info && info->textures != textures)
		run.batch.error(name, "the dictionary counts " + std::to_string(info->textures) + " textures but holds " +
		                          std::to_string(textures) + " Texture Native chunk" + (textures == 1 ? "" : "s"));
	run.batch.say(name + ": " + std::to_string(written) + " of " + std::to_string(textures) + " texture" +
	              (textures == 1 ? "" : "s") + " written to " + to_utf8(folder));
}

int run_png(const PngOptions& options)
{
	Run run{options, Batch(options.files.size()), {}};
	for (const std::string& name : options.files) {
		export_file(name, run);
		run.batch.next();
	}
	return run.batch.status();
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
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::dictionaries);
		status = with_unlisted(run_png(*options), listed);
	});
}

} // namespace kestrun::kit
