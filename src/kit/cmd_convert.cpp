// `kestrun-kit convert [-o DIR] [-j N] PATH...`: console model and
// dictionary files, and folders of them, into a folder of PC files, in
// parallel. Each file is made as kestrun, fix and txd would make it.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/convert.h"
#include "kit/inputs.h"
#include "kit/parallel.h"

#include <CLI/CLI.hpp>

#include <lzo/lzoconf.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

struct ConvertOptions {
	std::vector<std::string> paths;
	std::string out_dir = "pc";
	unsigned jobs = 0; // 0: the machine's hardware threads
};

// Every input's output path: DIR/<relative path>.
std::vector<PlannedOutput> plan_outputs(const Inputs& inputs, const std::string& out_dir)
{
	std::vector<PlannedOutput> plan;
	for (const Input& input : inputs.files)
		plan.push_back({input.path, to_utf8(to_path(out_dir) / to_path(input.relative))});
	return plan;
}

struct Totals {
	std::size_t models = 0, dictionaries = 0, failed = 0;
};

// Says one file's outcome through the batch, in input order.
void deliver(const FileOutcome& outcome, Batch& batch, Totals& totals)
{
	for (const Message& m : outcome.messages) {
		switch (m.kind) {
		case Message::Kind::line: batch.say(m.subject); break;
		case Message::Kind::error: batch.error(m.subject, m.text); break;
		case Message::Kind::warning: batch.warning(m.subject, m.text); break;
		}
	}
	if (!outcome.written)
		totals.failed++;
	else
		(outcome.model ? totals.models : totals.dictionaries)++;
	batch.next(outcome.input_bytes);
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

int convert_all(const Inputs& inputs, const std::vector<PlannedOutput>& plan, unsigned jobs)
{
	const auto start = std::chrono::steady_clock::now();
	Batch batch(inputs.files.size(), total_bytes(inputs));
	if (!inputs.complete)
		batch.fail();
	std::vector<FileOutcome> outcomes(plan.size());
	Totals totals;
	run_in_order(
	    plan.size(), jobs,
	    [&](std::size_t i) {
		    try {
			    outcomes[i] = convert_file(plan[i].input, plan[i].output);
		    } catch (const std::bad_alloc&) {
			    outcomes[i] = {};
			    outcomes[i].messages.push_back({Message::Kind::error, plan[i].input, "out of memory; nothing written"});
		    }
	    },
	    [&](std::size_t i) {
		    deliver(outcomes[i], batch, totals);
		    outcomes[i] = {};
	    });
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	batch.say(summary(totals, seconds));
	return batch.status();
}

int run_convert(const ConvertOptions& options)
{
	if (lzo_init() != LZO_E_OK) {
		report_error("kestrun-kit convert", "the LZO library failed to start");
		return exit_failed;
	}
	const Inputs inputs = gather_inputs(options.paths, Wanted::models_and_dictionaries, options.out_dir);
	const std::vector<PlannedOutput> plan = plan_outputs(inputs, options.out_dir);
	// A PC file never goes over its console original.
	if (!outputs_are_safe(plan, input_paths(inputs)))
		return exit_usage;
	if (!make_output_folder(options.out_dir))
		return exit_failed;
	return convert_all(inputs, plan, options.jobs == 0 ? hardware_threads() : options.jobs);
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
	            "2 for a usage error (two inputs with one output, an output that is an input).");
	sub->add_option("PATH", options->paths, "model files, texture dictionaries and folders of them")->required();
	path_option(sub->add_option("-o,--output", options->out_dir, "the folder to write into"))->capture_default_str();
	sub->add_option("-j,--jobs", options->jobs, "files converted at once (default: the machine's hardware threads)")
	    ->check(CLI::Range(1, 1024));
	sub->callback([options, &status] { status = run_convert(*options); });
}

} // namespace kestrun::kit
