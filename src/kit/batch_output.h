// What the txd and png commands share: progress on a terminal and file names
// every file system takes.
#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace kestrun::kit {

// Whether standard error is a terminal (a console on Windows): progress is
// shown only there.
bool stderr_is_terminal();

// "files done out of all" on standard error, only when it is a terminal and
// the run has more than one file. Each file's line on standard output first
// clears the progress, so the two never share a line.
class Progress {
public:
	explicit Progress(std::size_t total);
	~Progress();
	Progress(const Progress&) = delete;
	Progress& operator=(const Progress&) = delete;
	void clear();           // before a line is printed
	void show(std::size_t done);

private:
	std::size_t total_;
	bool shown_ = false;
	bool enabled_ = false;
};

// `raw` as a name safe on every file system: only ASCII letters, digits, '-',
// '_' and '.'; no leading dot, no trailing dot; never empty, never a device
// name Windows reserves (CON, NUL, COM1, ...).
std::string safe_file_name(const std::string& raw);

// Names already taken in one folder, compared without case, so that names
// differing only in case stay apart on file systems that ignore it.
class NameSet {
public:
	// True when `name` was free; it is taken now.
	bool take(const std::string& name);
	bool taken(const std::string& name) const;

private:
	std::set<std::string> lowered_;
};

} // namespace kestrun::kit
