// kestrun-kit's subcommands. Each command lives in a file of its own and
// adds itself to the program here; main.cpp calls every add_*_command.
#pragma once

#include <string>

namespace CLI {
class App;
class Option;
}

namespace kestrun::kit {

// Each adds its subcommand to `app`. When that subcommand is chosen, its
// callback runs the command and leaves the exit status in `status`.
void add_inspect_command(CLI::App& app, int& status);
void add_check_command(CLI::App& app, int& status);
void add_fix_command(CLI::App& app, int& status);
void add_txd_command(CLI::App& app, int& status);
void add_png_command(CLI::App& app, int& status);
void add_gltf_command(CLI::App& app, int& status);
void add_convert_command(CLI::App& app, int& status);

// `option`, a path, refused when empty (a usage error).
CLI::Option* path_option(CLI::Option* option);

} // namespace kestrun::kit
