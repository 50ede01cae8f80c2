#include "support/scratch_dir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kestrun::testing {

namespace {

// Names in tests are UTF-8; a plain string would be taken in the code page
// of the machine on Windows.
fs::path utf8_path(const std::string& name)
{
	return fs::path(std::u8string(name.begin(), name.end()));
}

std::string utf8_name(const fs::path& path)
{
	const std::u8string name = path.u8string();
	return std::string(name.begin(), name.end());
}

} // namespace

ScratchDir::ScratchDir()
{
	std::random_device random;
	for (int attempt = 0; attempt < 100; attempt++) {
		const fs::path candidate = fs::temp_directory_path() / ("kestrun-test-" + std::to_string(random()));
		if (fs::create_directory(candidate)) {
			path_ = candidate;
			return;
		}
	}
	throw std::runtime_error("cannot create a scratch folder");
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
	std::ofstream out(path_ / utf8_path(name), std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::vector<std::uint8_t> ScratchDir::read(const std::string& name) const
{
	std::ifstream in(path_ / utf8_path(name), std::ios::binary);
	return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ScratchDir::exists(const std::string& name) const
{
	return fs::exists(path_ / utf8_path(name));
}

std::vector<std::string> ScratchDir::list(const std::string& folder) const
{
	std::vector<std::string> names;
	std::error_code ignored;
	for (const auto& entry : fs::directory_iterator(path_ / utf8_path(folder), ignored))
		names.push_back(utf8_name(entry.path().filename()));
	std::sort(names.begin(), names.end());
	return names;
}

} // namespace kestrun::testing
