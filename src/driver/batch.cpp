#include "driver/driver.h"

#include "container/container.h"
#include "geometry/geometry.h"

#include <cstdio>
#include <memory>
#include <new>

#include <lzo/lzoconf.h>

namespace kestrun {

namespace {

// Per-file problems go to standard error, the file's name first, so a batch
// of thousands can be grepped; progress stays on standard output.
void report(const std::string& name, const std::string& what)
{
	std::fflush(stdout);
	std::fprintf(stderr, "%s: %s\n", name.c_str(), what.c_str());
}

void report_container(const std::string& name, const ContainerResult& result)
{
	std::string what = "damaged container: block " + std::to_string(result.block) + " at offset " +
	                   std::to_string(result.offset) + ": " + container_problem_name(result.problem);
	if (result.damaged_blocks > 1)
		what += " (" + std::to_string(result.damaged_blocks) + " blocks damaged in all)";
	report(name, what + "; the stream decoded so far is written");
}

void report_geometry(const std::string& name, const GeometryReport& problem)
{
	std::string what = "geometry at stream offset " + std::to_string(problem.offset) + ": " +
	                   geometry_problem_name(problem.problem);
	if (leaves_geometry_unconverted(problem.problem))
		what += "; left unconverted";
	report(name, what);
}

// Reads, inflates, converts and writes one file. Returns false when anything
// about it failed; the reason has been reported.
bool process_file(const std::string& name, const std::string& output_directory)
{
	std::printf("Processing file %s...\n", name.c_str());
	const bool model = is_model_name(name);

	FileBytes input;
	std::string error;
	if (!read_whole_file(name, input, error)) {
		report(name, error + "; skipped");
		return false;
	}

	// The stream buffer is written by the decompressor from its first byte;
	// no need to clear it.
	auto stream = std::make_unique_for_overwrite<std::uint8_t[]>(stream_capacity);
	const ContainerResult inflated = decompress_container(input.view(), mut_bytes(stream.get(), stream_capacity));
	bool ok = inflated.problem == ContainerProblem::none;
	if (!ok)
		report_container(name, inflated);
	input = {}; // release it now, not at the end of the file

	bytes result(stream.get(), inflated.length);
	std::vector<std::uint8_t> converted;
	if (model) {
		std::vector<GeometryReport> problems;
		// The converter takes the stream buffer over and works in it, so a
		// file never holds more than that buffer and the converted stream.
		converted = convert_stream(std::move(stream), inflated.length, problems);
		for (const GeometryReport& problem : problems)
			report_geometry(name, problem);
		ok = ok && problems.empty();
		result = converted;
	}

	if (!write_file_atomically(output_directory, name, result, error)) {
		report(name, error);
		return false;
	}
	return ok;
}

int run_files(const std::vector<std::string>& names, const std::string& output_directory)
{
	unsigned failed = 0;
	for (const std::string& name : names)
		if (!process_file(name, output_directory))
			failed++;
	if (failed > 0) {
		std::printf("conversion finished with errors in %u file(s)...\n", failed);
		return exit_failed;
	}
	std::printf("conversion successfully finished...\n");
	return exit_done;
}

int run(const std::string& argument)
{
	std::printf("kestrun starting...\n");
	if (lzo_init() != LZO_E_OK) {
		std::printf("internal error - lzo_init() failed !!!\n");
		return exit_lzo_failed;
	}

	const std::optional<std::string> cwd = current_directory();
	std::string output_directory = cwd.value_or("");
	if (!output_directory.empty() && output_directory.back() != '/')
		output_directory += '/';
	output_directory += "output";
	std::string error;
	if (!make_directory(output_directory, error)) {
		std::printf("Cannot create output directory %s...\n", output_directory.c_str());
		return exit_failed;
	}

	if (argument == "*") {
		std::vector<std::string> names = find_files("*.dff");
		std::vector<std::string> textures = find_files("*.txd");
		names.insert(names.end(), textures.begin(), textures.end());
		if (names.empty()) {
			std::printf("Neither .DFF nor .TXD files found in current directory...\n");
			return exit_no_input;
		}
		return run_files(names, output_directory);
	}

	// Any other argument names one file: the first match of the pattern.
	std::vector<std::string> matches = find_files(argument);
	if (matches.empty()) {
		std::printf("No file matching %s found in current directory...\n", argument.c_str());
		return exit_no_input;
	}
	matches.resize(1);
	return run_files(matches, output_directory);
}

} // namespace

int run_batch(int argc, char** argv)
{
	if (argc != 2)
		return exit_done;
	prepare_process();
	int status;
	try {
		status = run(argv[1]);
	} catch (const std::bad_alloc&) {
		std::printf("out of memory\n");
		status = exit_out_of_memory;
	}
	// Progress that never reached its reader is a failure to say so.
	if (std::fflush(stdout) != 0 && status == exit_done)
		status = exit_failed;
	return status;
}

} // namespace kestrun
