// The loop every kit command runs over its files: loading each one, the
// wording of read errors and container damage, progress on a terminal, the
// per-file lines and the exit status. A command keeps only what is its own.
#pragma once

#include "kit/load.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::kit {

// Exit statuses every command shares.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1; // a file had an error, or could not be read or written
inline constexpr int exit_usage = 2;

// "NAME: what" on standard error, after flushing standard output so that
// the two stay in order on a terminal.
void report_error(const std::string& name, const std::string& what);

// One file a command is to write, and the input it is made from.
struct PlannedOutput {
	std::string input;
	std::string output;
};

// Whether a run may write what it plans: no two outputs are one file, and
// no output is an input of the run (writing it would lose that input),
// unless it is its own source and `in_place` allows that. Paths are
// compared as files, through links and ".." parts, without case. When not,
// each clash is reported naming both files.
bool outputs_are_safe(const std::vector<PlannedOutput>& plan, const std::vector<std::string>& inputs,
                      bool in_place = false);

// Creates the run's output folder `path` unless it is there; false, said
// as "PATH: cannot create the output folder: why", when it cannot be.
bool make_output_folder(const std::string& path);

// Whether standard error is a terminal (a console on Windows): progress is
// shown only there.
bool stderr_is_terminal();

// "files done out of all" on standard error, only when it is a terminal and
// the run has more than one file; with the bytes of the files given, also
// their rate and the time left. Each line on standard output or standard
// error first clears it, so that no two share a line.
class Progress {
public:
	explicit Progress(std::size_t total, std::uint64_t total_bytes = 0);
	~Progress();
	Progress(const Progress&) = delete;
	Progress& operator=(const Progress&) = delete;
	void clear();
	void show(std::size_t done, std::uint64_t bytes_done = 0);

private:
	std::size_t total_;
	std::uint64_t total_bytes_;
	std::chrono::steady_clock::time_point start_;
	bool shown_ = false;
	bool enabled_ = false;
};

// What a command makes of a container that is damaged.
enum class Damage {
	ignored,  // the command reads the stream as it is (inspect, fix, check)
	reported, // reported with the consequence given, and the file goes on
	fails,    // reported with the consequence given, and the file fails
};

// One run of a command over its files.
class Batch {
public:
	explicit Batch(std::size_t files, std::uint64_t total_bytes = 0) : progress_(files, total_bytes) {}

	// Loads `path` as load_file() does. A read error is reported and gives
	// nothing, with `consequence` after it when damage `fails`; a damaged
	// container is reported with `consequence` unless `damage` is ignored,
	// and then gives nothing when it `fails`.
	std::optional<LoadedFile> load(const std::string& path, Damage damage, const std::string& consequence = {});

	// A line of the file's result on standard output.
	void say(const std::string& line);
	// "SUBJECT: what" on standard error; the run fails.
	void error(const std::string& subject, const std::string& what);
	// "SUBJECT: warning: what" on standard error; the run goes on.
	void warning(const std::string& subject, const std::string& what);
	// The run fails, the reason already said.
	void fail() { failed_ = true; }
	// A file is done: the progress moves on.
	void next(std::uint64_t file_bytes = 0);

	bool failed() const { return failed_; }
	int status() const { return failed_ ? exit_failed : exit_ok; }

private:
	Progress progress_;
	std::size_t done_ = 0;
	std::uint64_t bytes_done_ = 0;
	bool failed_ = false;
};

} // namespace kestrun::kit
