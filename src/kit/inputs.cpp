#include "kit/inputs.h"

#include "kit/batch.h"
#include "kit/file_names.h"
#include "kit/load.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace kestrun::kit {

namespace {

namespace fs = std::filesystem;

bool is_wanted(const std::string& name, Wanted wanted)
{
	const bool model = has_extension(name, ".dff"), dictionary = has_extension(name, ".txd");
	switch (wanted) {
	case Wanted::models: return model;
	case Wanted::dictionaries: return dictionary;
	case Wanted::models_and_dictionaries: break;
	}
	return model || dictionary;
}

struct Walk {
	fs::path root;
	Wanted wanted;
	const fs::path* skip; // nullptr: nothing to skip
	std::vector<Input> found;
	bool complete = true;
};

bool is_skipped(const fs::path& folder, const Walk& walk)
{
	std::error_code ec;
	return walk.skip && fs::equivalent(folder, *walk.skip, ec);
}

// Adds the wanted files below `folder` to `walk`; folders reached through
// links are not entered.
void walk_folder(const fs::path& folder, Walk& walk)
{
	std::error_code ec;
	fs::directory_iterator it(folder, ec), end;
	for (; !ec && it != end; it.increment(ec)) {
		const fs::directory_entry& entry = *it;
		std::error_code type_ec;
		if (entry.is_symlink(type_ec) && entry.is_directory(type_ec))
			continue;
		if (entry.is_directory(type_ec)) {
			if (!is_skipped(entry.path(), walk))
				walk_folder(entry.path(), walk);
			continue;
		}
		if (!entry.is_regular_file(type_ec) || !is_wanted(to_utf8(entry.path().filename()), walk.wanted))
			continue;
		std::error_code size_ec;
		const std::uintmax_t size = entry.file_size(size_ec);
		const std::u8string relative = entry.path().lexically_relative(walk.root).generic_u8string();
		walk.found.push_back({to_utf8(entry.path()), std::string(relative.begin(), relative.end()),
		                      size_ec ? 0 : std::uint64_t(size)});
	}
	if (ec) {
		report_error(to_utf8(folder), "cannot list the folder: " + ec.message());
		walk.complete = false;
	}
}

// Relative paths compared after ASCII lower-casing, ties by the bytes.
void sort_by_relative_path(std::vector<Input>& files)
{
	std::vector<std::pair<std::string, Input>> keyed;
	for (Input& file : files)
		keyed.emplace_back(ascii_lowered(file.relative), std::move(file));
	std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
		return a.first != b.first ? a.first < b.first : a.second.relative < b.second.relative;
	});
	files.clear();
	for (auto& [key, file] : keyed)
		files.push_back(std::move(file));
}

} // namespace

Inputs gather_inputs(const std::vector<std::string>& arguments, Wanted wanted, const std::string& skip_below)
{
	Inputs inputs;
	std::error_code ec;
	const fs::path skip = skip_below.empty() ? fs::path() : fs::absolute(to_path(skip_below), ec);
	for (const std::string& argument : arguments) {
		const fs::path path = to_path(argument);
		if (!fs::is_directory(path, ec)) {
			const std::uintmax_t size = fs::is_regular_file(path, ec) ? fs::file_size(path, ec) : 0;
			inputs.files.push_back({argument, to_utf8(path.filename()), ec ? 0 : std::uint64_t(size)});
			continue;
		}
		Walk walk{path, wanted, skip.empty() ? nullptr : &skip, {}, true};
		walk_folder(path, walk);
		sort_by_relative_path(walk.found);
		inputs.files.insert(inputs.files.end(), walk.found.begin(), walk.found.end());
		inputs.complete = inputs.complete && walk.complete;
	}
	return inputs;
}

std::vector<std::string> input_paths(const Inputs& inputs)
{
	std::vector<std::string> paths;
	for (const Input& input : inputs.files)
		paths.push_back(input.path);
	return paths;
}

bool gather_in_place(std::vector<std::string>& arguments, Wanted wanted, const std::string& skip_below)
{
	const Inputs inputs = gather_inputs(arguments, wanted, skip_below);
	arguments = input_paths(inputs);
	return inputs.complete;
}

int with_unlisted(int status, bool listed)
{
	return listed || status != exit_ok ? status : exit_failed;
}

} // namespace kestrun::kit
