// `kestrun-kit gltf MODEL... [--txd DICTIONARY]... [-o OUT]`: exports models
// with their textures as binary glTF, one .glb per model.
#include "gltf/gltf.h"
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
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

// The inflated stream of a model or dictionary file. A damaged container
// fails the file: an export of part of a model would pass for the whole.
std::optional<std::vector<std::uint8_t>> load_stream(const std::string& path, Batch& batch)
{
	std::optional<LoadedFile> loaded = batch.load(path, Damage::fails);
	if (!loaded)
		return std::nullopt;
	return std::move(loaded->stream);
}

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

// True when `out` is one of the files the run reads: writing there would
// destroy a model or dictionary (`-o` naming the input by mistake).
bool is_input(const fs::path& out, const GltfOptions& options)
{
	std::error_code ec;
	if (!fs::exists(out, ec))
		return false;
	for (const std::vector<std::string>* list : {&options.models, &options.dictionaries})
		for (const std::string& input : *list)
			if (fs::equivalent(out, to_path(input), ec))
				return true;
	return false;
}

std::string counted(std::uint32_t n, const char* one, const char* many)
{
	return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The usage error of -o, or the folder it names made; false with the
// status to end with.
bool prepare_output(const GltfOptions& options, int& status)
{
	if (options.models.size() > 1 && !options.output.empty() && !names_folder(options.output)) {
		report_error("kestrun-kit gltf", "-o " + options.output +
		                                     " names one file; for several models give a folder ending in /");
		status = exit_usage;
		return false;
	}
	if (names_folder(options.output)) {
		std::error_code ec;
		fs::create_directories(to_path(options.output), ec);
		if (ec) {
			report_error(options.output, "cannot create the folder: " + ec.message());
			status = exit_failed;
			return false;
		}
	}
	return true;
}

gltf::TextureLibrary load_dictionaries(const GltfOptions& options, Batch& batch)
{
	gltf::TextureLibrary textures;
	for (const std::string& path : options.dictionaries) {
		std::string error;
		std::optional<std::vector<std::uint8_t>> stream = load_stream(path, batch);
		if (stream && !textures.add_dictionary(std::move(*stream), error))
			batch.error(path, error);
	}
	return textures;
}

struct Run {
	const GltfOptions& options;
	gltf::TextureLibrary& textures;
	Batch& batch;
	std::set<fs::path> written;
};

// The model `path` exported, its warnings said; nothing when it failed,
// which has been reported.
std::optional<gltf::Export> export_one(const std::string& path, const fs::path& out, Run& run)
{
	if (!run.written.insert(out.lexically_normal()).second) {
		run.batch.error(path, "its export " + to_utf8(out) + " would replace that of an earlier model; not written");
		return std::nullopt;
	}
	if (is_input(out, run.options)) {
		run.batch.error(path, "its export " + to_utf8(out) + " would replace an input file; not written");
		return std::nullopt;
	}
	std::optional<std::vector<std::uint8_t>> stream = load_stream(path, run.batch);
	if (!stream)
		return std::nullopt;
	std::string error;
	std::vector<std::string> warnings;
	std::optional<gltf::Export> result;
	if ((stream = gltf::pc_model_stream(std::move(*stream), warnings, error)))
		result = gltf::export_model(*stream, to_utf8(to_path(path).stem()), run.textures, error);
	if (result)
		warnings.insert(warnings.end(), result->warnings.begin(), result->warnings.end());
	for (const std::string& warning : warnings)
		run.batch.warning(path, warning);
	if (!result)
		run.batch.error(path, error);
	return result;
}

void write_export(const std::string& path, Run& run)
{
	const fs::path out = output_of(path, run.options.output);
	const std::optional<gltf::Export> result = export_one(path, out, run);
	std::string error;
	if (!result)
		return;
	if (!replace_file(to_utf8(out), result->glb, error)) {
		run.batch.error(to_utf8(out), error);
		return;
	}
	run.batch.say(path + " -> " + to_utf8(out) + ": " + counted(result->nodes, "node", "nodes") + ", " +
	              counted(result->meshes, "mesh", "meshes") + ", " + counted(result->textures, "texture", "textures"));
	std::fflush(stdout);
}

int run_gltf(const GltfOptions& options)
{
	int status = exit_ok;
	if (!prepare_output(options, status))
		return status;
	Batch batch(options.models.size());
	gltf::TextureLibrary textures = load_dictionaries(options, batch);
	Run run{options, textures, batch, {}};
	for (const std::string& path : options.models) {
		write_export(path, run);
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
	command->add_option("-o,--output", options->output,
	                    "Output file for one model, or a folder (ending in /) for several; default: MODEL with .glb");
	command->callback([options, &status] {
		bool listed = gather_in_place(options->models, Wanted::models);
		listed = gather_in_place(options->dictionaries, Wanted::dictionaries) && listed;
		status = with_unlisted(run_gltf(*options), listed);
	});
}

} // namespace kestrun::kit
