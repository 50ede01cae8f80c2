// `kestrun-kit png FILE... [-o DIR] [--levels]`: every texture of console or
// PC dictionaries as an RGBA PNG, DIR/<dictionary>/<texture>.png.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"
#include "kit/png_export.h"

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

struct Run {
	const PngOptions& options;
	Batch batch;
	NameSet folders; // dictionary folders of this run
};

void export_file(const std::string& name, Run& run)
{
	const std::optional<LoadedFile> f = run.batch.load(name, Damage::reported, "the textures decoded so far are written");
	if (!f)
		return;
	const fs::path folder = dictionary_folder(name, to_path(run.options.out_dir), run.folders);
	export_dictionary_pngs(name, f->stream, folder, run.options.levels, run.batch);
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
	path_option(sub->add_option("-o,--output", options->out_dir, "the folder to write into"))->capture_default_str();
	sub->add_flag("--levels", options->levels, "write every level, <texture name>.<level>.png, level 0 the largest");
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::dictionaries);
		status = with_unlisted(run_png(*options), listed);
	});
}

} // namespace kestrun::kit
