// Running the real kestrun binary in a scratch folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::testing {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchDir {
public:
	ScratchDir();
	~ScratchDir();
	ScratchDir(const ScratchDir&) = delete;
	ScratchDir& operator=(const ScratchDir&) = delete;
	const std::filesystem::path& path() const { return path_; }

	void write(const std::string& name, const std::vector<std::uint8_t>& data) const;
	std::vector<std::uint8_t> read(const std::string& name) const;
	bool exists(const std::string& name) const;
	// Names of the entries of a subfolder, sorted.
	std::vector<std::string> list(const std::string& folder) const;

private:
	std::filesystem::path path_;
};

struct RunResult {
	int status = -1; // exit status, or -1 when the process did not exit normally
	std::string out;
	std::string err;
};

struct RunOptions {
	std::optional<std::uint64_t> file_size_limit;     // RLIMIT_FSIZE for the child
	std::optional<std::uint64_t> address_space_limit; // RLIMIT_AS for the child
};

// Runs the binary with `args` (program name not included) inside `dir`.
RunResult run_kestrun(const std::filesystem::path& dir, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// The same for the kestrun-kit binary.
RunResult run_kestrun_kit(const std::filesystem::path& dir, const std::vector<std::string>& args);

} // namespace kestrun::testing
