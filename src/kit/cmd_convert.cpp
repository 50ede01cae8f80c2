// `kestrun-kit convert [-o DIR] [-j N] [--png DIR2] [--gltf DIR3] PATH...`:
// console model and dictionary files, and folders of them, into a folder of
// PC files, in parallel. Each file is made as kestrun, fix and txd would make
// it; the extras are made from the PC files as png and gltf would make them.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/convert.h"
#include "kit/gltf_export.h"
#include "kit/inputs.h"
#include "kit/parallel.h"
#include "kit/png_export.h"

#include <CLI/CLI.hpp>

#include <lzo/lzoconf.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

struct ConvertOptions {
	std::vector<std::string> paths;
	std::string out_dir = "pc";
	unsigned jobs = 0; // 0: the machine's hardware threads
	std::string png_dir, gltf_dir; // empty: not wanted
};

// Every input's output path: DIR/<relative path>.
std::vector<PlannedOutput> plan_outputs(const Inputs& inputs, const std::string& out_dir)
{
	std::vector<PlannedOutput> plan;
	for (const Input& input : inputs.files)
		plan.push_back({input.path, to_utf8(to_path(out_dir) / to_path(input.relative))});
	return plan;
}

// Where --gltf writes the model `input`: DIR3/<relative path, .glb for its
// extension>.
std::string glb_of(const Input& input, const std::string& gltf_dir)
{
	return to_utf8(to_path(gltf_dir) / to_path(input.relative).replace_extension(".glb"));
}

// Every .glb that --gltf may write, checked with the conversions' outputs
// before anything is written. A file not named as a dictionary may be a
// model; if it turns out not to be, its .glb is simply not written.
void plan_glbs(const Inputs& inputs, const std::string& gltf_dir, std::vector<PlannedOutput>& plan)
{
	for (const Input& input : inputs.files)
		if (!named_as_dictionary(input.path))
			plan.push_back({input.path, glb_of(input, gltf_dir)});
}

struct Totals {
	std::size_t models = 0, dictionaries = 0, failed = 0;
};

// What the run made of each input, for the extras.
enum class Made { nothing, model, dictionary };

struct Run {
	const ConvertOptions& options;
	const Inputs& inputs;
	const std::vector<PlannedOutput>& plan; // the conversions, one per input
	Batch batch;
	Totals totals;
	std::vector<Made> made;
	NameSet png_folders; // the dictionary folders --png has taken
};

// --png for the dictionary `i` just converted: the textures of the PC file
// written, into DIR2/<relative folder>/<stem>, as png -o would write them.
// Read back from the file, so that they are what png would be given.
void write_pngs(std::size_t i, Run& run)
{
	const Input& input = run.inputs.files[i];
	const std::optional<LoadedFile> f = run.batch.load(run.plan[i].output, Damage::fails);
	if (!f)
		return;
	const fs::path parent = to_path(run.options.png_dir) / to_path(input.relative).parent_path();
	export_dictionary_pngs(input.path, f->stream, dictionary_folder(input.path, parent, run.png_folders), false,
	                       run.batch);
}

// Says file `i`'s outcome through the batch, in input order, with its PNGs.
void deliver(std::size_t i, const FileOutcome& outcome, Run& run)
{
	for (const Message& m : outcome.messages) {
		switch (m.kind) {
		case Message::Kind::line: run.batch.say(m.subject); break;
		case Message::Kind::error: run.batch.error(m.subject, m.text); break;
		case Message::Kind::warning: run.batch.warning(m.subject, m.text); break;
		}
	}
	if (!outcome.written) {
		run.totals.failed++;
	} else {
		(outcome.model ? run.totals.models : run.totals.dictionaries)++;
		run.made[i] = outcome.model ? Made::model : Made::dictionary;
	}
	if (run.made[i] == Made::dictionary && !run.options.png_dir.empty())
		write_pngs(i, run);
	run.batch.next(outcome.input_bytes);
}

// --gltf, once every file is converted: the run's dictionaries, read back
// in input order into one library (it holds them all until the end), then
// each model with its textures looked up by its stem, then its folder, then
// in the rest.
void write_glbs(Run& run)
{
	gltf::TextureLibrary textures;
	for (std::size_t i = 0; i < run.made.size(); i++)
		if (run.made[i] == Made::dictionary)
			if (std::optional<LoadedFile> f = run.batch.load(run.plan[i].output, Damage::fails))
				add_dictionary_file(run.inputs.files[i].path, std::move(f->stream), textures, run.batch);
	for (std::size_t i = 0; i < run.made.size(); i++)
		if (run.made[i] == Made::model)
			if (std::optional<LoadedFile> f = run.batch.load(run.plan[i].output, Damage::fails))
				write_model_glb(run.inputs.files[i].path, std::move(f->stream),
				                glb_of(run.inputs.files[i], run.options.gltf_dir), textures, run.batch, true);
}

std::string summary(const Totals& t, double seconds)
{
	char text[160];
	std::snprintf(text, sizeof text, "converted %zu model%s and %zu dictionar%s, %zu failed, in %.1f s", t.models,
	              t.models == 1 ? "" : "s", t.dictionaries, t.dictionaries == 1 ? "y" : "ies", t.failed, seconds);
	return text;
}

std::uint64_t total_bytes(const Inputs& inputs)
{
	std::uint64_t total = 0;
	for (const Input& input : inputs.files)
		total += input.size;
	return total;
}

int convert_all(const ConvertOptions& options, const Inputs& inputs, const std::vector<PlannedOutput>& plan)
{
	const auto start = std::chrono::steady_clock::now();
	Run run{options, inputs, plan, Batch(inputs.files.size(), total_bytes(inputs)), {},
	        std::vector<Made>(plan.size(), Made::nothing), {}};
	if (!inputs.complete)
		run.batch.fail();
	std::vector<FileOutcome> outcomes(plan.size());
	run_in_order(
	    plan.size(), options.jobs == 0 ? hardware_threads() : options.jobs,
	    [&](std::size_t i) {
		    // On a worker thread an escaping exception would end the process
		    // without a word.
		    const auto failed = [&](const std::string& why) {
			    outcomes[i] = {};
			    outcomes[i].messages.push_back({Message::Kind::error, plan[i].input, why + "; nothing written"});
		    };
		    try {
			    outcomes[i] = convert_file(plan[i].input, plan[i].output);
		    } catch (const std::bad_alloc&) {
			    failed("out of memory");
		    } catch (const std::exception& e) {
			    failed(e.what());
		    }
	    },
	    [&](std::size_t i) {
		    deliver(i, outcomes[i], run);
		    outcomes[i] = {};
	    });
	if (!options.gltf_dir.empty())
		write_glbs(run);
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	run.batch.say(summary(run.totals, seconds));
	return run.batch.status();
}

int run_convert(const ConvertOptions& options)
{
	if (lzo_init() != LZO_E_OK) {
		report_error("kestrun-kit convert", "the LZO library failed to start");
		return exit_failed;
	}
	const Inputs inputs = gather_inputs(options.paths, Wanted::models_and_dictionaries, options.out_dir);
	const std::vector<PlannedOutput> plan = plan_outputs(inputs, options.out_dir);
	// A PC file never goes over its console original, nor a .glb over either.
	std::vector<PlannedOutput> every_output = plan;
	if (!options.gltf_dir.empty())
		plan_glbs(inputs, options.gltf_dir, every_output);
	if (!outputs_are_safe(every_output, input_paths(inputs)))
		return exit_usage;
	if (!make_output_folder(options.out_dir))
		return exit_failed;
	return convert_all(options, inputs, plan);
}

} // namespace

void add_convert_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<ConvertOptions>();
	CLI::App* sub = app.add_subcommand("convert", "Convert console models and dictionaries, files and folders, into "
	                                              "a folder of PC files, in parallel");
	sub->footer("A folder stands for every .dff and .txd file below it (any case; links to folders not followed).\n"
	            "F/a/b.dff under a folder F is written to DIR/a/b.dff, a file argument to DIR/NAME. A model is\n"
	            "converted as kestrun converts it and mended as fix mends it; a dictionary is converted as txd\n"
	            "converts it; a file already PC is written as it is. A file that fails is reported and nothing is\n"
	            "written for it; the others go on. Exit status: 0 when every file converted, 1 when one failed,\n"
	            "2 for a usage error (two inputs with one output, an output that is an input).\n"
	            "--png and --gltf are made from the PC files written, as png -o and gltf would make them; a model's\n"
	            "textures come from the run's dictionaries: the one named as the model, then those of its folder,\n"
	            "then the rest, in input order. A failed extra is reported and makes the status 1; the PC files stand.");
	sub->add_option("PATH", options->paths, "model files, texture dictionaries and folders of them")->required();
	path_option(sub->add_option("-o,--output", options->out_dir, "the folder to write into"))->capture_default_str();
	path_option(sub->add_option("--png", options->png_dir,
	                            "also write each dictionary's textures as PNGs, DIR2/<relative folder>/<name>/"));
	path_option(sub->add_option("--gltf", options->gltf_dir,
	                            "also write each model as binary glTF, DIR3/<relative path with .glb>"));
	sub->add_option("-j,--jobs", options->jobs, "files converted at once (default: the machine's hardware threads)")
	    ->check(CLI::Range(1, 1024));
	sub->callback([options, &status] { status = run_convert(*options); });
}

} // namespace kestrun::kit
