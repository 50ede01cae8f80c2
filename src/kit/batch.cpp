#include "kit/batch.h"

#include "kit/file_names.h"

#include <cstdio>
#include <filesystem>
#include <map>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestrun::kit {

void report_error(const std::string& name, const std::string& what)
{
	std::fflush(stdout);
	std::fprintf(stderr, "%s: %s\n", name.c_str(), what.c_str());
}

namespace {

namespace fs = std::filesystem;

// The file a path names, as one spelling: links and ".." resolved as far
// as the path exists, and without case, so that two names one file system
// would take for one file are never both written. A batch names thousands
// of files in a few folders, so each folder is resolved once.
class FileIdentities {
public:
	std::string of(const std::string& path)
	{
		const fs::path p = to_path(path);
		std::error_code ec;
		if (p.filename().empty() || fs::is_symlink(p, ec))
			return spelled(resolved(p));
		const auto [folder, fresh] = folders_.try_emplace(p.parent_path());
		if (fresh)
			folder->second = resolved(p.parent_path().empty() ? fs::path(".") : p.parent_path());
		return spelled(folder->second / p.filename());
	}

private:
	std::map<fs::path, fs::path> folders_;

	// Absolute even where nothing of it exists yet.
	static fs::path resolved(const fs::path& p)
	{
		std::error_code ec;
		const fs::path absolute = fs::absolute(p, ec);
		const fs::path full = fs::weakly_canonical(absolute, ec);
		return ec ? absolute : full;
	}
	static std::string spelled(const fs::path& p) { return ascii_lowered(to_utf8(p.lexically_normal())); }
};

} // namespace

bool outputs_are_safe(const std::vector<PlannedOutput>& plan, const std::vector<std::string>& inputs, bool in_place)
{
	FileIdentities identity;
	std::map<std::string, const std::string*> input_of, writer_of;
	for (const std::string& input : inputs)
		input_of.emplace(identity.of(input), &input);
	bool safe = true;
	for (const PlannedOutput& p : plan) {
		const std::string id = identity.of(p.output);
		const auto input = input_of.find(id);
		if (input != input_of.end() && !(in_place && input->first == identity.of(p.input))) {
			report_error(p.input, "its output " + p.output + " is the input " + *input->second + "; nothing written");
			safe = false;
		}
		const auto [earlier, fresh] = writer_of.emplace(id, &p.input);
		if (!fresh) {
			report_error(p.input, "its output " + p.output + " is also the output of " + *earlier->second +
			                          "; nothing written");
			safe = false;
		}
	}
	return safe;
}

bool make_output_folder(const std::string& path)
{
	std::string why;
	if (make_folders(path, why))
		return true;
	report_error(path, "cannot create the output folder: " + why);
	return false;
}

bool stderr_is_terminal()
{
#ifdef _WIN32
	return _isatty(_fileno(stderr)) != 0;
#else
	return isatty(STDERR_FILENO) != 0;
#endif
}

Progress::Progress(std::size_t total, std::uint64_t total_bytes)
    : total_(total), total_bytes_(total_bytes), start_(std::chrono::steady_clock::now()),
      enabled_(total > 1 && stderr_is_terminal())
{
}

Progress::~Progress()
{
	clear();
}

void Progress::clear()
{
	if (!shown_)
		return;
	// Spaces rather than an escape sequence: every console understands them.
	std::fprintf(stderr, "\r%*s\r", 60, "");
	std::fflush(stderr);
	shown_ = false;
}

void Progress::show(std::size_t done, std::uint64_t bytes_done)
{
	if (!enabled_)
		return;
	std::fflush(stdout);
	std::fprintf(stderr, "\r%zu/%zu files", done, total_);
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
	if (total_bytes_ > 0 && bytes_done > 0 && seconds > 0) {
		const double rate = double(bytes_done) / seconds;
		std::fprintf(stderr, ", %.1f MB/s, %.0f s left", rate / 1e6, double(total_bytes_ - bytes_done) / rate);
	}
	std::fflush(stderr);
	shown_ = true;
}

std::optional<LoadedFile> Batch::load(const std::string& path, Damage damage, const std::string& consequence)
{
	const std::string after = consequence.empty() ? "" : "; " + consequence;
	LoadedFile f;
	std::string error;
	if (!load_file(path, f, error)) {
		this->error(path, error + (damage == Damage::fails ? after : ""));
		return std::nullopt;
	}
	if (damage == Damage::ignored || !f.container || f.inflated.problem == ContainerProblem::none)
		return f;
	this->error(path, damaged_container_text(f.inflated, true) + after);
	if (damage == Damage::fails)
		return std::nullopt;
	return f;
}

void Batch::say(const std::string& line)
{
	progress_.clear();
	std::printf("%s\n", line.c_str());
}

void Batch::error(const std::string& subject, const std::string& what)
{
	progress_.clear();
	report_error(subject, what);
	failed_ = true;
}

void Batch::warning(const std::string& subject, const std::string& what)
{
	progress_.clear();
	report_error(subject, "warning: " + what);
}

void Batch::next(std::uint64_t file_bytes)
{
	bytes_done_ += file_bytes;
	progress_.show(++done_, bytes_done_);
}

} // namespace kestrun::kit
