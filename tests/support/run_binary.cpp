#include "support/run_binary.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef KESTRUN_BINARY
#define KESTRUN_BINARY "kestrun"
#endif

namespace fs = std::filesystem;

namespace kestrun::testing {

namespace {

std::string slurp(const fs::path& path)
{
	std::ifstream in(path, std::ios::binary);
	std::string text(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
	if (testing_windows_binary()) {
		std::string::size_type at = 0;
		while ((at = text.find("\r\n", at)) != std::string::npos)
			text.erase(at, 1);
	}
	return text;
}

std::string binary_under_test()
{
	const char* chosen = std::getenv("KESTRUN_TEST_BINARY");
	return chosen && *chosen ? chosen : KESTRUN_BINARY;
}

} // namespace

bool testing_windows_binary()
{
	const char* windows = std::getenv("KESTRUN_TEST_WINDOWS");
	return windows && std::string(windows) == "1";
}

std::string path_as_the_binary_names_it(const fs::path& path)
{
	if (!testing_windows_binary())
		return path.string();
	std::string windows = "Z:" + fs::absolute(path).string();
	std::replace(windows.begin(), windows.end(), '/', '\\');
	return windows;
}

namespace {

RunResult run_program(const std::string& program, const fs::path& dir, const std::vector<std::string>& args,
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

	int terminal = -1, terminal_end = -1;
	if (options.terminal && ::openpty(&terminal, &terminal_end, nullptr, nullptr, nullptr) != 0)
		return {};
	pid_t pid = ::fork();
	if (pid == 0) {
		const fs::path& out_to = options.stdout_path.empty() ? out_path : options.stdout_path;
		int out = ::open(out_to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		int err = options.terminal ? terminal_end : ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(dir.c_str()) != 0)
			::_exit(127);
		if (options.file_size_limit && !testing_windows_binary()) {
			rlimit limit{rlim_t(*options.file_size_limit), rlim_t(*options.file_size_limit)};
			::setrlimit(RLIMIT_FSIZE, &limit);
		}
		::execv(argv[0], argv.data());
		::_exit(127);
	}
	RunResult result;
	int status = 0;
	if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
		result.status = WEXITSTATUS(status);
	result.out = slurp(out_path);
	if (!options.terminal) {
		result.err = slurp(err_path);
		return result;
	}
	// With the child's end closed, reading the terminal stops at its end.
	::close(terminal_end);
	char buf[4096];
	for (ssize_t n; (n = ::read(terminal, buf, sizeof buf)) > 0;)
		result.err.append(buf, std::size_t(n));
	::close(terminal);
	return result;
}

} // namespace

RunResult run_kestrun(const fs::path& dir, const std::vector<std::string>& args, const RunOptions& options)
{
	return run_program(binary_under_test(), dir, args, options);
}

std::string kestrun_failed(unsigned count)
{
	return "conversion finished with errors in " + std::to_string(count) + " file(s)...\n";
}

std::string kit_binary_under_test()
{
	const char* chosen = std::getenv("KESTRUN_TEST_KIT_BINARY");
	return chosen && *chosen ? chosen : KESTRUN_KIT_BINARY;
}

RunResult run_kestrun_kit(const fs::path& dir, const std::vector<std::string>& args, const RunOptions& options)
{
	RunResult result = run_program(kit_binary_under_test(), dir, args, options);
	if (testing_windows_binary()) {
		std::replace(result.out.begin(), result.out.end(), '\\', '/');
		std::replace(result.err.begin(), result.err.end(), '\\', '/');
	}
	return result;
}

} // namespace kestrun::testing
