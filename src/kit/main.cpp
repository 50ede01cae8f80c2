// kestrun-kit: looks inside console and converted model files and texture
// dictionaries, checks them, and fixes what readers stumble on.
#include "kestrun_version.h"
#include "kit/commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>

namespace kestrun::kit {

void report_error(const std::string& name, const std::string& what)
{
	std::fflush(stdout);
	std::fprintf(stderr, "%s: %s\n", name.c_str(), what.c_str());
}

} // namespace kestrun::kit

int main(int argc, char** argv)
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
	try {
		app.parse(argc, argv);
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
