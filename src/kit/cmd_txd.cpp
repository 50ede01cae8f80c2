// `kestrun-kit txd FILE... [-o DIR]`: console texture dictionaries to PC
// ones, in place or into DIR; each file converted whole or not written.
#include "kit/batch_output.h"
#include "kit/commands.h"
#include "kit/load.h"
#include "texture/texture.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

struct TxdOptions {
	std::vector<std::string> files;
	std::string out_dir;
};

struct Run {
	const TxdOptions& options;
	NameSet written; // with -o: file names written into DIR this run
};

std::string container_damage(const LoadedFile& f)
{
	return "damaged container: block " + std::to_string(f.inflated.block) + " at offset " +
	       std::to_string(f.inflated.offset) + ": " + container_problem_name(f.inflated.problem);
}

// False when the file failed; the reason has been reported.
bool convert_file(const std::string& name, Run& run, Progress& progress)
{
	LoadedFile f;
	std::string error;
	if (!load_file(name, f, error)) {
		progress.clear();
		report_error(name, error + "; nothing written");
		return false;
	}
	if (f.container && f.inflated.problem != ContainerProblem::none) {
		progress.clear();
		report_error(name, container_damage(f) + "; nothing written");
		return false;
	}
	const texture::DictionaryResult r = texture::convert_dictionary(f.stream);
	progress.clear();
	switch (r.status) {
	case texture::DictionaryResult::Status::failed:
		report_error(name, r.error + "; nothing written");
		return false;
	case texture::DictionaryResult::Status::already_pc:
		std::printf("%s: already a PC dictionary; left alone\n", name.c_str());
		return true;
	case texture::DictionaryResult::Status::converted: break;
	}
	std::string target = name;
	if (!run.options.out_dir.empty()) {
		// Two inputs of the same name from different folders would land on
		// one output; the second would silently replace the first.
		const std::string file_name = to_utf8(to_path(name).filename());
		target = to_utf8(to_path(run.options.out_dir) / to_path(file_name));
		if (!run.written.take(file_name)) {
			report_error(name, target + " was already written in this run; nothing written");
			return false;
		}
	}
	if (!replace_file(target, r.stream, error)) {
		report_error(name, "cannot write " + target + ": " + error + "; nothing written");
		return false;
	}
	std::printf("%s: %u texture%s converted, %zu bytes written to %s\n", name.c_str(), r.textures,
	            r.textures == 1 ? "" : "s", r.stream.size(), target.c_str());
	return true;
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
	int status = exit_ok;
	Run run{options, {}};
	Progress progress(options.files.size());
	for (std::size_t i = 0; i < options.files.size(); i++) {
		if (!convert_file(options.files[i], run, progress))
			status = exit_failed;
		progress.show(i + 1);
	}
	return status;
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
	sub->callback([options, &status] { status = run_txd(*options); });
}

} // namespace kestrun::kit
