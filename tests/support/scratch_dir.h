// A scratch folder for tests that touch the file system.
#pragma once

#include <cstdint>
#include <filesystem>
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

} // namespace kestrun::testing
