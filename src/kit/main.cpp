// kestrun-kit: looks inside console and converted model files and texture
// dictionaries, checks them, and fixes what readers stumble on.
#include "kestrun_version.h"
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/file_arguments.h"
#include "platform/platform.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace kestrun::kit;

// The first argument when it is no option and no command: CLI11 would only
// say that a command is required.
bool unknown_command(const CLI::App& app, const std::vector<std::string>& arguments)
{
	if (arguments.size() < 2 || arguments[1].empty() || arguments[1][0] == '-')
		return false;
	std::string names;
	for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
		if (sub->get_name() == arguments[1])
			return false;
		names += (names.empty() ? "" : ", ") + sub->get_name();
	}
	report_error("kestrun-kit", "unknown command '" + arguments[1] + "'; the commands are " + names);
	return true;
}

// A run whose results never reached standard output (a full disk, a closed
// pipe) did not succeed, whatever it wrote to files.
int with_output_checked(int status)
{
	if (std::fflush(stdout) == 0 && !std::ferror(stdout))
		return status;
	const int error = errno != 0 ? errno : EIO;
	report_error("kestrun-kit", std::string("cannot write standard output: ") + std::strerror(error));
	return exit_failed;
}

// The program on its arguments in UTF-8, the program's name first.
int run_kit(const std::vector<std::string>& arguments)
{
	CLI::App app{"kestrun-kit: inspect, check and fix model files (.dff) and texture dictionaries (.txd),\n"
	             "console containers, inflated streams and converted outputs alike; convert dictionaries to PC,\n"
	             "export their textures as PNG and models as binary glTF."};
	app.set_version_flag("--version", "kestrun-kit " KESTRUN_VERSION);
	app.require_subcommand(1);
	app.footer("Run kestrun-kit COMMAND --help for a command's options and exit status.");
	int status = exit_ok;
	add_inspect_command(app, status);
	add_check_command(app, status);
	add_fix_command(app, status);
	add_txd_command(app, status);
	add_png_command(app, status);
	add_gltf_command(app, status);
	add_convert_command(app, status);
	if (unknown_command(app, arguments))
		return exit_usage;
	kestrun::prepare_batch_process();
	std::vector<const char*> argv;
	for (const std::string& argument : arguments)
		argv.push_back(argument.c_str());
	try {
		app.parse(int(argv.size()), argv.data());
	} catch (const CLI::ParseError& e) {
		// --help and --version end here too, with status 0.
		return app.exit(e) == 0 ? with_output_checked(exit_ok) : exit_usage;
	} catch (const std::bad_alloc&) {
		report_error("kestrun-kit", "out of memory");
		return exit_failed;
	}
	return with_output_checked(status);
}

} // namespace

namespace kestrun::kit {

CLI::Option* path_option(CLI::Option* option)
{
	// An unset shell variable gives "": taken as no -o at all, it would
	// write in place or beside the input.
	return option->check(CLI::Validator(
	    [](std::string& value) { return value.empty() ? std::string("an empty path names no file or folder") : std::string(); },
	    "PATH"));
}

} // namespace kestrun::kit

#ifdef _WIN32

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
