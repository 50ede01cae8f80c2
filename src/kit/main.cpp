// kestrun-kit: the companion program of kestrun. One file per command.
#include "kit/gltf_command.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv)
{
	CLI::App app{"kestrun-kit: companion tools for kestrun's models and texture dictionaries"};
	app.set_version_flag("--version", "kestrun-kit 1.0");
	app.require_subcommand(1);
	int status = 0;
	kestrun::kit::add_gltf_command(app, status);
	try {
		app.parse(argc, argv);
	} catch (const CLI::ParseError& e) {
		const int code = app.exit(e);
		return code == 0 ? 0 : 2;
	}
	return status;
}
