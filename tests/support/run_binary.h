// Running the real kestrun binary in a scratch folder.
#pragma once

#include "support/scratch_dir.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::testing {

struct RunResult {
	int status = -1; // exit status, or -1 when the process did not exit normally
	std::string out;
	std::string err;
};

struct RunOptions {
	std::optional<std::uint64_t> file_size_limit; // RLIMIT_FSIZE for the child
	bool terminal = false; // standard error on a pseudo-terminal, as a user sees progress
	std::filesystem::path stdout_path; // when set, standard output goes there (such as /dev/full), not captured
};

// What kestrun prints first, and last when `count` files failed.
inline const std::string kestrun_banner = "kestrun starting...\n";
std::string kestrun_failed(unsigned count);

// Whether the binary under test is a Windows build (KESTRUN_TEST_WINDOWS=1):
// it has no resource limits, and it gives paths in its own form.
bool testing_windows_binary();

// `path` as the binary under test names it: itself, or for a Windows build
// under wine the drive Z: form, Z:\tmp\x for /tmp/x.
std::string path_as_the_binary_names_it(const std::filesystem::path& path);

// Runs the binary with `args` (program name not included) inside `dir`. The
// binary is the one built beside the tests, or the program that the
// environment variable KESTRUN_TEST_BINARY names (such as a wrapper that runs
// a Windows build under wine). A Windows build's CRLF line ends are turned
// into LF in `out` and `err`.
RunResult run_kestrun(const std::filesystem::path& dir, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// The same for the kestrun-kit binary: the one built beside the tests, or
// the program KESTRUN_TEST_KIT_BINARY names. The paths a Windows build
// makes (out\a.txd) come back with slashes, as the Linux build shows them.
RunResult run_kestrun_kit(const std::filesystem::path& dir, const std::vector<std::string>& args,
                          const RunOptions& options = {});
std::string kit_binary_under_test();

} // namespace kestrun::testing
