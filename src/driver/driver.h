// The batch driver: command line, the output folder, the search for input
// files, and one pass over them, reading, inflating, converting models and
// writing each result. Every console message of the program comes from here.
#pragma once

#include "common/bytes.h"

#include <memory>
#include <optional>
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

// Runs the whole program on its argument vector and returns the exit code.
int run_batch(int argc, char** argv);

// `*` matches any run of characters and `?` one character; letters compare
// ASCII case-insensitively. A pattern holding '/' matches nothing.
bool wildcard_match(std::string_view pattern, std::string_view name);

// A model file is one whose name ends in the lower-case letters "dff"; the
// test looks at nothing else of the name.
bool is_model_name(std::string_view name);

// Sorts names by their ASCII-lowercased form, ties by the plain bytes.
void sort_names(std::vector<std::string>& names);

// ---------------------------------------------------------------------------
// Platform layer: the file-system calls the batch needs, with errors as
// text rather than codes.

// The current directory, or nothing when the system cannot say.
std::optional<std::string> current_directory();

// Creates `path` unless a directory stands there already. False with `error`
// set when neither holds.
bool make_directory(const std::string& path, std::string& error);

// Names of the regular files (or links to them) in the current directory
// that match `pattern`, sorted by sort_names().
std::vector<std::string> find_files(std::string_view pattern);

// A whole file's bytes.
struct FileBytes {
	std::unique_ptr<std::uint8_t[]> data;
	std::size_t size = 0;
	bytes view() const { return bytes(data.get(), size); }
};

// Reads the file `name` of the current directory whole. False with `error`
// set when it cannot be opened, sized or completely read, is not a regular
// file, or is 4 GiB or larger. Throws std::bad_alloc.
bool read_whole_file(const std::string& name, FileBytes& file, std::string& error);

// Writes `data` to `directory`/`name` through a temporary file in
// `directory` that is renamed into place only when complete. On failure no
// partial file remains and an earlier file of that name is untouched.
bool write_file_atomically(const std::string& directory, const std::string& name, bytes data, std::string& error);

// Makes writes past a file-size limit fail with an error instead of ending
// the process.
void prepare_process();

} // namespace kestrun
