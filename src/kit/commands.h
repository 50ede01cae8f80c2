// kestrun-kit's subcommands. Each command lives in a file of its own and
// adds itself to the program here; main.cpp calls every add_*_command.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace kestrun::kit {

// Exit statuses every command shares.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1; // a file had an error, or could not be read or written
inline constexpr int exit_usage = 2;

// Each adds its subcommand to `app`. When that subcommand is chosen, its
// callback runs the command and leaves the exit status in `status`.
void add_inspect_command(CLI::App& app, int& status);
void add_check_command(CLI::App& app, int& status);
void add_fix_command(CLI::App& app, int& status);
void add_txd_command(CLI::App& app, int& status);
void add_png_command(CLI::App& app, int& status);
void add_gltf_command(CLI::App& app, int& status);

// "NAME: what" on standard error, after flushing standard output so that
// the two stay in order on a terminal.
void report_error(const std::string& name, const std::string& what);

} // namespace kestrun::kit
