// `kestrun-kit gltf MODEL... [--txd DICTIONARY]... [-o OUT]`: exports models
// with their textures as binary glTF, one .glb per model.
#include "gltf/gltf.h"
#include "kit/batch_output.h"
#include "kit/commands.h"
#include "kit/load.h"

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

// Progress on a terminal: "gltf: 3/40 NAME" on one line that later lines
// replace; nothing when standard error is not a terminal.
class Progress {
public:
	explicit Progress(std::size_t total) : shown_(total > 1 && stderr_is_terminal()), total_(total) {}
	void step(std::size_t done, const std::string& name)
	{
		if (!shown_)
			return;
		clear();
		width_ = std::fprintf(stderr, "\rgltf: %zu/%zu %s", done + 1, total_, name.c_str()) - 1;
	}
	// Clears the line before a message, so that messages stay whole. Spaces
	// rather than an escape sequence: every console understands them.
	void clear()
	{
		if (shown_ && width_ > 0)
			std::fprintf(stderr, "\r%*s\r", width_, "");
		width_ = 0;
	}

private:
	bool shown_;
	std::size_t total_;
	int width_ = 0;
};

// The inflated stream of a model or dictionary file. A damaged container
// fails the file: an export of part of a model would pass for the whole.
std::optional<std::vector<std::uint8_t>> load_stream(const std::string& path, std::string& error)
{
	LoadedFile loaded;
	if (!load_file(path, loaded, error))
		return std::nullopt;
	if (loaded.container && loaded.inflated.problem != ContainerProblem::none) {
		error = "damaged container: block " + std::to_string(loaded.inflated.block) + ": " +
		        container_problem_name(loaded.inflated.problem);
		return std::nullopt;
	}
	return std::move(loaded.stream);
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

int run_gltf(const GltfOptions& options)
{
	if (options.models.size() > 1 && !options.output.empty() && !names_folder(options.output)) {
		report_error("kestrun-kit gltf", "-o " + options.output +
		                                     " names one file; for several models give a folder ending in /");
		return exit_usage;
	}
	if (names_folder(options.output)) {
		std::error_code ec;
		fs::create_directories(to_path(options.output), ec);
		if (ec) {
			report_error(options.output, "cannot create the folder: " + ec.message());
			return exit_failed;
		}
	}

	bool failed = false;
	gltf::TextureLibrary textures;
	for (const std::string& path : options.dictionaries) {
		std::string error;
		std::optional<std::vector<std::uint8_t>> stream = load_stream(path, error);
		if (!stream || !textures.add_dictionary(std::move(*stream), error)) {
			report_error(path, error);
			failed = true;
		}
	}

	Progress progress(options.models.size());
	std::set<fs::path> written;
	for (std::size_t i = 0; i < options.models.size(); i++) {
		const std::string& path = options.models[i];
		progress.step(i, path);
		const fs::path out = output_of(path, options.output);
		std::string error;
		std::vector<std::string> warnings;
		std::optional<gltf::Export> result;
		if (!written.insert(out.lexically_normal()).second) {
			error = "its export " + to_utf8(out) + " would replace that of an earlier model; not written";
		} else if (is_input(out, options)) {
			error = "its export " + to_utf8(out) + " would replace an input file; not written";
		} else if (std::optional<std::vector<std::uint8_t>> stream = load_stream(path, error)) {
			if ((stream = gltf::pc_model_stream(std::move(*stream), warnings, error)))
				result = gltf::export_model(*stream, to_utf8(to_path(path).stem()), textures, error);
		}
		if (result)
			warnings.insert(warnings.end(), result->warnings.begin(), result->warnings.end());
		progress.clear();
		std::fflush(stdout);
		for (const std::string& warning : warnings)
			std::fprintf(stderr, "%s: warning: %s\n", path.c_str(), warning.c_str());
		std::string subject = path; // the file a failure is about
		if (result && !replace_file(to_utf8(out), result->glb, error)) {
			subject = to_utf8(out);
			result.reset();
		}
		if (!result) {
			report_error(subject, error);
			failed = true;
			continue;
		}
		std::printf("%s -> %s: %s, %s, %s\n", path.c_str(), to_utf8(out).c_str(),
		            counted(result->nodes, "node", "nodes").c_str(), counted(result->meshes, "mesh", "meshes").c_str(),
		            counted(result->textures, "texture", "textures").c_str());
		std::fflush(stdout);
	}
	progress.clear();
	return failed ? exit_failed : exit_ok;
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
	command->callback([options, &status] { status = run_gltf(*options); });
}

} // namespace kestrun::kit
