#include "support/run_binary.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef KESTRUN_BINARY
#define KESTRUN_BINARY "kestrun"
#endif
#ifndef KESTRUN_KIT_BINARY
#define KESTRUN_KIT_BINARY "kestrun-kit"
#endif

namespace fs = std::filesystem;

namespace kestrun::testing {

ScratchDir::ScratchDir()
{
	std::string pattern = (fs::temp_directory_path() / "kestrun-test-XXXXXX").string();
	if (!::mkdtemp(pattern.data()))
		throw std::runtime_error("cannot create a scratch folder");
	path_ = pattern;
}

ScratchDir::~ScratchDir()
{
	std::error_code ignored;
	// Tests may leave folders without write permission behind.
	fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
	fs::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::vector<std::uint8_t>& data) const
{
	std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::vector<std::uint8_t> ScratchDir::read(const std::string& name) const
{
	std::ifstream in(path_ / name, std::ios::binary);
	return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ScratchDir::exists(const std::string& name) const
{
	return fs::exists(path_ / name);
}

std::vector<std::string> ScratchDir::list(const std::string& folder) const
{
	std::vector<std::string> names;
	std::error_code ignored;
	for (const auto& entry : fs::directory_iterator(path_ / folder, ignored))
		names.push_back(entry.path().filename().string());
	std::sort(names.begin(), names.end());
	return names;
}

namespace {

std::string slurp(const fs::path& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RunResult run_program(const char* program, const fs::path& dir, const std::vector<std::string>& args,
                      const RunOptions& options)
{
	// Capture through files beside the scratch folder, not inside it, so the
	// program's own directory listing does not see them.
	ScratchDir capture;
	const fs::path out_path = capture.path() / "stdout", err_path = capture.path() / "stderr";

	std::vector<std::string> argv_strings = {program};
	argv_strings.insert(argv_strings.end(), args.begin(), args.end());
	std::vector<char*> argv;
	for (std::string& s : argv_strings)
		argv.push_back(s.data());
	argv.push_back(nullptr);

	pid_t pid = ::fork();
	if (pid == 0) {
		int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(dir.c_str()) != 0)
			::_exit(127);
		if (options.file_size_limit) {
			rlimit limit{rlim_t(*options.file_size_limit), rlim_t(*options.file_size_limit)};
			::setrlimit(RLIMIT_FSIZE, &limit);
		}
		if (options.address_space_limit) {
			rlimit limit{rlim_t(*options.address_space_limit), rlim_t(*options.address_space_limit)};
			::setrlimit(RLIMIT_AS, &limit);
		}
		::execv(argv[0], argv.data());
		::_exit(127);
	}
	RunResult result;
	int status = 0;
	if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
		result.status = WEXITSTATUS(status);
	result.out = slurp(out_path);
	result.err = slurp(err_path);
	return result;
}

} // namespace

RunResult run_kestrun(const fs::path& dir, const std::vector<std::string>& args, const RunOptions& options)
{
	return run_program(KESTRUN_BINARY, dir, args, options);
}

RunResult run_kestrun_kit(const fs::path& dir, const std::vector<std::string>& args)
{
	return run_program(KESTRUN_KIT_BINARY, dir, args, {});
}

} // namespace kestrun::testing
