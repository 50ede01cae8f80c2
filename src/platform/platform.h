// The file-system calls kestrun and kestrun-kit make, one interface over
// POSIX (platform_posix.cpp) and Win32 (platform_win32.cpp), with what the
// two share written once (platform.cpp, wildcard.cpp). Names and paths are
// UTF-8 on both; errors come back as text for the per-file lines.
#pragma once

#include "common/bytes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

// `*` matches any run of characters and `?` one character; letters compare
// ASCII case-insensitively. A pattern holding '/' matches nothing.
bool wildcard_match(std::string_view pattern, std::string_view name);

// Sorts names by their ASCII-lowercased form, ties by the plain bytes.
void sort_names(std::vector<std::string>& names);

// The current folder as an absolute path, or nothing when the system cannot
// say.
std::optional<std::string> current_directory();

// `folder` and `name` joined with the platform's separator; `name` alone when
// `folder` is empty.
std::string join_path(const std::string& folder, const std::string& name);

// Creates `path` unless a folder stands there already. False with `error`
// set when neither holds (a file of that name, no permission...).
bool make_directory(const std::string& path, std::string& error);

// Names of the regular files (or links to them) in `folder` (empty: the
// current one) that match `pattern` by wildcard_match(), sorted by
// sort_names(). The system's own matching is never used.
std::vector<std::string> find_files(const std::string& folder, std::string_view pattern);

// A whole file's bytes.
struct FileBytes {
	std::unique_ptr<std::uint8_t[]> data;
	std::size_t size = 0;
	bytes view() const { return bytes(data.get(), size); }
};

// An input file opened for reading, with its size; closed when it goes.
class InputFile {
public:
	InputFile() = default;
	InputFile(const InputFile&) = delete;
	InputFile& operator=(const InputFile&) = delete;
	~InputFile();
	std::uint64_t size() const { return size_; }

private:
	friend bool open_input(const std::string&, InputFile&, std::string&);
	friend bool read_input(InputFile&, FileBytes&, std::string&);
	std::intptr_t handle_ = -1; // a descriptor or a HANDLE
	std::uint64_t size_ = 0;
};

// Opens `path` and takes its size. False with `error` set when it cannot be
// opened or sized, is not a regular file, or is 4 GiB or larger.
bool open_input(const std::string& path, InputFile& file, std::string& error);

// Reads the opened file's size() bytes. False with `error` set when a read
// fails or the file ends early (it shrank since it was sized). Throws
// std::bad_alloc.
bool read_input(InputFile& file, FileBytes& bytes_read, std::string& error);

// open_input() and read_input() in one.
bool read_whole_file(const std::string& path, FileBytes& file, std::string& error);

// Writes `data` to `folder`/`name` through a temporary file in `folder` that
// is renamed into place only when complete, replacing an earlier file of
// that name. On failure no partial file remains and an earlier file of that
// name is untouched.
bool write_file_atomically(const std::string& folder, const std::string& name, bytes data, std::string& error);

// Sets the process up for a batch of files: a write past the file-size
// limit fails with an error the batch reports, instead of a signal that ends
// the process; SIGINT, SIGTERM and SIGHUP remove the temporary files of the
// writes in progress and exit with 128 + the signal's number, so that an
// interrupted run leaves none behind; and the buffers a file frees stay in
// the heap for the next file, where the allocator would otherwise hand large
// ones back to the system. Each part is done where the system has it.
void prepare_batch_process();

#ifdef _WIN32
// The wide command line carries any name; names are UTF-8 inside the
// program. The whole command line, the program's name first, as UTF-8.
std::vector<std::string> utf8_command_line(int argc, wchar_t** argv);

// Runs `run` with a console's output switched to UTF-8, in which the program
// prints names, and switched back after; returns what `run` returns.
int run_with_utf8_console(const std::function<int()>& run);
#endif

} // namespace kestrun
