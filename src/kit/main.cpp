// kestrun-kit: looks inside console and converted model files and texture
// dictionaries, checks them, and fixes what readers stumble on.
#include "kestrun_version.h"
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/file_arguments.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// The program on its arguments in UTF-8, the program's name first.
int run_kit(const std::vector<std::string>& arguments)
{
	using namespace kestrun::kit;
	CLI::App app{"kestrun-kit: inspect, check and fix model files (.dff) and texture dictionaries (.txd),\n"
	             "console containers, inflated streams and converted outputs alike."};
	app.set_version_flag("--version", "kestrun-kit " KESTRUN_VERSION);
	app.require_subcommand(1);
	int status = exit_ok;
	add_inspect_command(app, status);
	add_check_command(app, status);
	add_fix_command(app, status);
	add_txd_command(app, status);
	add_png_command(app, status);
	add_gltf_command(app, status);
	add_convert_command(app, status);
	std::vector<const char*> argv;
	for (const std::string& argument : arguments)
		argv.push_back(argument.c_str());
	try {
		app.parse(int(argv.size()), argv.data());
	} catch (const CLI::ParseError& e) {
		// --help and --version end here too, with status 0.
		return app.exit(e) == 0 ? exit_ok : exit_usage;
	} catch (const std::bad_alloc&) {
		report_error("kestrun-kit", "out of memory");
		return exit_failed;
	}
	if (std::fflush(stdout) != 0 && status == exit_ok)
		status = exit_failed;
	return status;
}

} // namespace

#ifdef _WIN32
#include "driver/platform.h"

// The arguments reach the program as typed: the C runtime must not expand a
// star in them with its own rules; the kit does, as kestrun matches.
extern "C" {
int _dowildcard = 0;
}

// The wide command line carries any name; see the platform layer.
int wmain(int argc, wchar_t** argv)
{
	std::vector<std::string> line = kestrun::utf8_command_line(argc, argv);
	const std::string program = line.empty() ? std::string("kestrun-kit") : line.front();
	std::vector<std::string> arguments =
	    kestrun::kit::expand_file_arguments(std::vector<std::string>(line.begin() + (line.empty() ? 0 : 1), line.end()));
	arguments.insert(arguments.begin(), program);
	return kestrun::run_with_utf8_console([&] { return run_kit(arguments); });
}

#else

// The shell has expanded the wildcards already.
int main(int argc, char** argv)
{
	return run_kit(std::vector<std::string>(argv, argv + argc));
}

#endif
