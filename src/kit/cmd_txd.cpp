// `kestrun-kit txd FILE... [-o DIR]`: console texture dictionaries to PC
// ones, in place or into DIR; each file converted whole or not written.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"
#include "texture/texture.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>

namespace kestrun::kit {

namespace {

struct TxdOptions {
	std::vector<std::string> files;
	std::string out_dir;
};

struct Run {
	const TxdOptions& options;
	Batch batch;
};

// Where the PC form of `name` goes: DIR/NAME with -o, else the file itself.
std::string target_of(const std::string& name, const TxdOptions& options)
{
	if (options.out_dir.empty())
		return name;
	return to_utf8(to_path(options.out_dir) / to_path(name).filename());
}

// A PC dictionary needs no conversion; with -o its copy still goes into DIR,
// so that DIR holds the whole set. (An output that is its input was refused
// with the plan.)
void pass_pc_dictionary(const std::string& name, const LoadedFile& f, const std::string& target, Run& run)
{
	std::string error;
	if (run.options.out_dir.empty())
		run.batch.say(name + ": already a PC dictionary; left alone");
	else if (!replace_file(target, f.stream, error))
		run.batch.error(name, "cannot write " + target + ": " + error + "; nothing written");
	else
		run.batch.say(name + ": already a PC dictionary; copied to " + target);
}

void convert_file(const std::string& name, const std::string& target, Run& run)
{
	const std::optional<LoadedFile> f = run.batch.load(name, Damage::fails, "nothing written");
	if (!f)
		return;
	// In place is for the streams kestrun inflates: replacing a console
	// original would lose what the PC form cannot give back.
	if (f->container && run.options.out_dir.empty()) {
		run.batch.error(name, "a console container: write its PC form elsewhere with -o DIR");
		return;
	}
	const texture::DictionaryResult r = texture::convert_dictionary(f->stream);
	std::string error;
	switch (r.status) {
	case texture::DictionaryResult::Status::failed: run.batch.error(name, r.error + "; nothing written"); return;
	case texture::DictionaryResult::Status::already_pc: pass_pc_dictionary(name, *f, target, run); return;
	case texture::DictionaryResult::Status::converted: break;
	}
	if (!replace_file(target, r.stream, error)) {
		run.batch.error(name, "cannot write " + target + ": " + error + "; nothing written");
		return;
	}
	run.batch.say(name + ": " + std::to_string(r.textures) + " texture" + (r.textures == 1 ? "" : "s") +
	              " converted, " + std::to_string(r.stream.size()) + " bytes written to " + target);
}

int run_txd(const TxdOptions& options)
{
	// Every output is known before anything is written: one that is another
	// input would be lost before it was read.
	std::vector<PlannedOutput> plan;
	for (const std::string& name : options.files)
		plan.push_back({name, target_of(name, options)});
	if (!outputs_are_safe(plan, options.files, options.out_dir.empty()))
		return exit_usage;
	if (!options.out_dir.empty() && !make_output_folder(options.out_dir))
		return exit_failed;
	Run run{options, Batch(options.files.size())};
	for (const PlannedOutput& p : plan) {
		convert_file(p.input, p.output, run);
		run.batch.next();
	}
	return run.batch.status();
}

} // namespace

void add_txd_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<TxdOptions>();
	CLI::App* sub = app.add_subcommand("txd", "Convert console texture dictionaries into PC dictionaries, in place or into DIR");
	sub->footer("Takes containers or the streams kestrun inflated and writes plain streams, atomically. A dictionary\n"
	            "with any texture that cannot be converted is reported and not written; a PC dictionary is left alone.\n"
	            "Exit status: 0 when every file converted (or was already PC), 1 when one failed, 2 for a usage error.");
	sub->add_option("FILE", options->files, "texture dictionaries")->required();
	path_option(sub->add_option("-o,--output", options->out_dir, "write DIR/<file name> instead of converting in place"));
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::dictionaries, options->out_dir);
		status = with_unlisted(run_txd(*options), listed);
	});
}

} // namespace kestrun::kit
