// kestrun-kit: looks inside console and converted model files and texture
// dictionaries, checks them, and fixes what readers stumble on.
#include "kestrun_version.h"
#include "kit/commands.h"
#include "kit/file_arguments.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace kestrun::kit {

void report_error(const std::string& name, const std::string& what)
{
	std::fflush(stdout);
	std::fprintf(stderr, "%s: %s\n", name.c_str(), what.c_str());
}

} // namespace kestrun::kit

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
#include <windows.h>

// The arguments reach the program as typed: the C runtime must not expand a
// star in them with its own rules; the kit does, as kestrun matches.
extern "C" {
int _dowildcard = 0;
}

namespace {

std::string utf8(const wchar_t* text)
{
	const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
	std::string out(std::size_t(length > 0 ? length : 1), '\0');
	if (length > 0)
		::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
	out.pop_back(); // the terminator
	return out;
}

} // namespace

// The wide command line carries any name; names are UTF-8 inside the program
// and printed as UTF-8, so a console is switched to UTF-8 while it runs.
int wmain(int argc, wchar_t** argv)
{
	std::vector<std::string> arguments;
	for (int k = 1; k < argc; k++)
		arguments.push_back(utf8(argv[k]));
	arguments = kestrun::kit::expand_file_arguments(arguments);
	arguments.insert(arguments.begin(), argc > 0 ? utf8(argv[0]) : std::string("kestrun-kit"));
	const UINT console = ::GetConsoleOutputCP();
	::SetConsoleOutputCP(CP_UTF8);
	const int status = run_kit(arguments);
	if (console != 0)
		::SetConsoleOutputCP(console);
	return status;
}

#else

// The shell has expanded the wildcards already.
int main(int argc, char** argv)
{
	return run_kit(std::vector<std::string>(argv, argv + argc));
}

#endif
