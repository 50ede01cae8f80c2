#include "driver/driver.h"

#include "platform/platform.h"

#include "container/container.h"
#include "geometry/geometry.h"

#include <cstdio>
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
	report(name, damaged_container_text(result, true) + "; the stream decoded so far is written");
}

void report_geometry(const std::string& name, const GeometryReport& problem)
{
	std::string what = "geometry at stream offset " + std::to_string(problem.offset) + ": " +
	                   geometry_report_text(problem);
	if (leaves_geometry_unconverted(problem.problem))
		what += "; left unconverted";
	report(name, what);
}

// Writes one result into the output folder; false when it failed, which has
// been reported.
bool write_result(const std::string& output_folder, const std::string& name, bytes data)
{
	std::string error;
	if (write_file_atomically(output_folder, name, data, error))
		return true;
	report(name, error);
	return false;
}

// Reads, inflates, converts and writes the file `name` of `folder`. Returns
// false when anything about it failed; the reason has been reported.
bool convert_file(const std::string& folder, const std::string& name, const std::string& output_folder)
{
	std::printf("Processing file %s...\n", name.c_str());

	FileBytes input;
	std::string error;
	if (!read_whole_file(join_path(folder, name), input, error)) {
		report(name, error + "; skipped");
		return false;
	}

	InflatedFile inflated = inflate_file(input.view(), false);
	const bool inflated_whole = inflated.container.problem == ContainerProblem::none;
	if (!inflated_whole)
		report_container(name, inflated.container);
	input = {}; // release it now, not at the end of the file

	if (!is_model_name(name))
		return write_result(output_folder, name, inflated.stream()) && inflated_whole;

	const ConvertedModel converted = convert_model_file(std::move(inflated));
	for (const GeometryReport& problem : converted.problems)
		report_geometry(name, problem);
	return write_result(output_folder, name, converted.stream) && inflated_whole && converted.problems.empty();
}

// Converts every file of `names` and prints the closing line.
int convert_files(const std::string& folder, const std::vector<std::string>& names, const std::string& output_folder)
{
	unsigned failed = 0;
	for (const std::string& name : names)
		if (!convert_file(folder, name, output_folder))
			failed++;
	if (failed > 0) {
		std::printf("conversion finished with errors in %u file(s)...\n", failed);
		return exit_failed;
	}
	std::printf("conversion successfully finished...\n");
	return exit_done;
}

// Everything the argument asks for, from the banner to the closing line.
int convert_argument(const std::string& folder, const std::string& argument)
{
	std::printf("kestrun starting...\n");
	if (lzo_init() != LZO_E_OK) {
		std::printf("internal error - lzo_init() failed !!!\n");
		return exit_lzo_failed;
	}

	const std::string output_folder = join_path(folder, "output");
	std::string error;
	if (!make_directory(output_folder, error)) {
		std::printf("Cannot create output directory %s...\n", output_folder.c_str());
		return exit_failed;
	}

	if (argument == "*") {
		std::vector<std::string> names = find_files(folder, "*.dff");
		std::vector<std::string> textures = find_files(folder, "*.txd");
		names.insert(names.end(), textures.begin(), textures.end());
		if (names.empty()) {
			std::printf("Neither .DFF nor .TXD files found in current directory...\n");
			return exit_no_input;
		}
		return convert_files(folder, names, output_folder);
	}

	// Any other argument names one file.
	const std::vector<std::string> matches = find_files(folder, argument);
	if (matches.empty()) {
		std::printf("No file matching %s found in current directory...\n", argument.c_str());
		return exit_no_input;
	}
	return convert_files(folder, {select_named_file(matches, argument)}, output_folder);
}

} // namespace

int run_in_folder(const std::string& folder, const std::string& argument)
{
	int status;
	try {
		status = convert_argument(folder, argument);
	} catch (const std::bad_alloc&) {
		std::printf("out of memory\n");
		status = exit_out_of_memory;
	}
	// Progress that never reached its reader is a failure to say so.
	if (std::fflush(stdout) != 0 && status == exit_done)
		status = exit_failed;
	return status;
}

int run_command_line(const std::vector<std::string>& arguments)
{
	if (arguments.size() != 1)
		return exit_done;
	prepare_batch_process();
	return run_in_folder(current_directory().value_or(""), arguments[0]);
}

} // namespace kestrun
