// `kestrun-kit gltf MODEL... [--txd DICTIONARY]... [-o OUT]`: exports models
// with their textures as binary glTF, one .glb per model.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/gltf_export.h"
#include "kit/inputs.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

struct GltfOptions {
	std::vector<std::string> models;
	std::vector<std::string> dictionaries;
	std::string output;
};

bool names_folder(const std::string& output)
{
	std::error_code ec;
	return !output.empty() && (output.back() == '/' || output.back() == '\\' || fs::is_directory(to_path(output), ec));
}

fs::path output_of(const std::string& model, const std::string& output)
{
	const fs::path glb = to_path(model).filename().replace_extension(".glb");
	if (output.empty())
		return to_path(model).replace_extension(".glb");
	if (names_folder(output))
		return to_path(output) / glb;
	return to_path(output);
}

// -o names one file while there are several models: a usage error.
bool output_is_usable(const GltfOptions& options)
{
	if (options.models.size() <= 1 || options.output.empty() || names_folder(options.output))
		return true;
	report_error("kestrun-kit gltf",
	             "-o " + options.output + " names one file; for several models give a folder ending in /");
	return false;
}

gltf::TextureLibrary load_dictionaries(const GltfOptions& options, Batch& batch)
{
	gltf::TextureLibrary textures;
	for (const std::string& path : options.dictionaries)
		if (std::optional<LoadedFile> f = batch.load(path, Damage::fails))
			add_dictionary_file(path, std::move(f->stream), textures, batch);
	return textures;
}

int run_gltf(const GltfOptions& options)
{
	if (!output_is_usable(options))
		return exit_usage;
	// Every export's path is known before anything is written: one that is
	// a model or dictionary of the run would lose it.
	std::vector<PlannedOutput> plan;
	std::vector<std::string> inputs = options.models;
	inputs.insert(inputs.end(), options.dictionaries.begin(), options.dictionaries.end());
	for (const std::string& model : options.models)
		plan.push_back({model, to_utf8(output_of(model, options.output))});
	if (!outputs_are_safe(plan, inputs))
		return exit_usage;
	if (names_folder(options.output) && !make_output_folder(options.output))
		return exit_failed;
	Batch batch(options.models.size());
	gltf::TextureLibrary textures = load_dictionaries(options, batch);
	for (const PlannedOutput& p : plan) {
		if (std::optional<LoadedFile> f = batch.load(p.input, Damage::fails))
			write_model_glb(p.input, std::move(f->stream), p.output, textures, batch);
		std::fflush(stdout);
		batch.next();
	}
	return batch.status();
}

} // namespace

void add_gltf_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<GltfOptions>();
	CLI::App* command = app.add_subcommand("gltf", "Export models with their textures as binary glTF (.glb)");
	command->add_option("MODEL", options->models, "Model files: console containers, console or PC streams")
	    ->required();
	command->add_option("--txd", options->dictionaries,
	                    "Texture dictionaries (console or PC) whose textures the materials name");
	path_option(command->add_option("-o,--output", options->output,
	                                "Output file for one model, or a folder (ending in /) for several; default: MODEL with .glb"));
	command->footer("A texture is looked up first in the dictionary named as the model (car.dff, car.txd), then in the\n"
	                "others in the order given. Exit status: 0 when every model was exported, 1 when one was not or a\n"
	                "dictionary could not be read whole (the export still uses what could be read), 2 for a usage error.");
	command->callback([options, &status] {
		bool listed = gather_in_place(options->models, Wanted::models);
		listed = gather_in_place(options->dictionaries, Wanted::dictionaries) && listed;
		status = with_unlisted(run_gltf(*options), listed);
	});
}

} // namespace kestrun::kit
