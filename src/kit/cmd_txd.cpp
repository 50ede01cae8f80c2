// `kestrun-kit txd FILE... [-o DIR]`: console texture dictionaries to PC
// ones, in place or into DIR; each file converted whole or not written.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"
#include "kit/file_names.h"
#include "texture/texture.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

struct TxdOptions {
	std::vector<std::string> files;
	std::string out_dir;
};

struct Run {
	const TxdOptions& options;
	Batch batch;
	NameSet written; // with -o: file names written into DIR this run
};

// Where the PC form of `name` goes, or nothing when an earlier file of the
// run took that name (it has been reported).
std::optional<std::string> target_of(const std::string& name, Run& run)
{
	if (run.options.out_dir.empty())
		return name;
	// Two inputs of the same name from different folders would land on one
	// output; the second would silently replace the first.
	const std::string file_name = to_utf8(to_path(name).filename());
	const std::string target = to_utf8(to_path(run.options.out_dir) / to_path(file_name));
	if (!run.written.take(file_name)) {
		run.batch.error(name, target + " was already written in this run; nothing written");
		return std::nullopt;
	}
	return target;
}

void convert_file(const std::string& name, Run& run)
{
	const std::optional<LoadedFile> f = run.batch.load(name, Damage::fails, "nothing written");
	if (!f)
		return;
	const texture::DictionaryResult r = texture::convert_dictionary(f->stream);
	switch (r.status) {
	case texture::DictionaryResult::Status::failed: run.batch.error(name, r.error + "; nothing written"); return;
	case texture::DictionaryResult::Status::already_pc:
		run.batch.say(name + ": already a PC dictionary; left alone");
		return;
	case texture::DictionaryResult::Status::converted: break;
	}
	const std::optional<std::string> target = target_of(name, run);
	std::string error;
	if (!target)
		return;
	if (!replace_file(*target, r.stream, error)) {
		run.batch.error(name, "cannot write " + *target + ": " + error + "; nothing written");
		return;
	}
	run.batch.say(name + ": " + std::to_string(r.textures) + " texture" + (r.textures == 1 ? "" : "s") +
	              " converted, " + std::to_string(r.stream.size()) + " bytes written to " + *target);
}

int run_txd(const TxdOptions& options)
{
	if (!options.out_dir.empty()) {
		std::error_code ec;
		fs::create_directories(to_path(options.out_dir), ec);
		if (ec || !fs::is_directory(to_path(options.out_dir))) {
			report_error(options.out_dir, "cannot create the output folder" + (ec ? ": " + ec.message() : std::string()));
			return exit_failed;
		}
	}
	Run run{options, Batch(options.files.size()), {}};
	for (const std::string& name : options.files) {
		convert_file(name, run);
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
	sub->add_option("-o,--output", options->out_dir, "write DIR/<file name> instead of converting in place");
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::dictionaries, options->out_dir);
		status = with_unlisted(run_txd(*options), listed);
	});
}

} // namespace kestrun::kit
