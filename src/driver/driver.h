// The batch driver: command line, the output folder, the search for input
// files, and one pass over them, reading, inflating, converting models and
// writing each result. Every console message of the program comes from here.
// The file-system calls it makes are in platform/platform.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

// Exit codes.
inline constexpr int exit_done = 0;
inline constexpr int exit_failed = 1; // some file failed, or no output folder
inline constexpr int exit_out_of_memory = 3;
inline constexpr int exit_lzo_failed = 4;
inline constexpr int exit_no_input = 5;

// The whole program: `arguments` are the command-line arguments after the
// program name, in UTF-8. Works in the current folder and returns the exit
// code.
int run_command_line(const std::vector<std::string>& arguments);

// The program on its one argument in `folder` (empty: the current folder by
// relative names): the banner, the output folder, the search, every file and
// the closing line. Running out of memory ends it with exit_out_of_memory.
int run_in_folder(const std::string& folder, const std::string& argument);

// A model file is one whose name ends in the lower-case letters "dff"; the
// test looks at nothing else of the name.
bool is_model_name(std::string_view name);

// The one file a name or pattern selects from `matches` (sorted, not empty):
// the match that is byte for byte `argument` when there is one, so that
// `car.dff` is never shadowed by a `car.DFF` sorted before it; otherwise the
// first.
const std::string& select_named_file(const std::vector<std::string>& matches, std::string_view argument);

} // namespace kestrun
