#include "kit/file_names.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace kestrun::kit {

bool has_extension(const std::string& name, const std::string& extension)
{
	return name.size() >= extension.size() &&
	       ascii_lowered(name.substr(name.size() - extension.size())) == extension;
}

namespace {

bool reserved_on_windows(const std::string& name)
{
	static constexpr std::array<std::string_view, 4> plain{"con", "prn", "aux", "nul"};
	const std::string stem = ascii_lowered(name.substr(0, name.find('.')));
	if (std::find(plain.begin(), plain.end(), stem) != plain.end())
		return true;
	return stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) && stem[3] >= '0' &&
	       stem[3] <= '9';
}

} // namespace

std::string safe_file_name(const std::string& raw)
{
	std::string out;
	for (char c : raw) {
		const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
		                   c == '_' || c == '.';
		out.push_back(plain ? c : '_');
	}
	if (out.empty() || out.front() == '.')
		out.insert(out.begin(), '_');
	if (out.back() == '.')
		out.back() = '_';
	if (reserved_on_windows(out))
		out.insert(out.begin(), '_');
	return out;
}

bool NameSet::take(const std::string& name)
{
	return lowered_.insert(ascii_lowered(name)).second;
}

bool NameSet::taken(const std::string& name) const
{
	return lowered_.count(ascii_lowered(name)) != 0;
}

} // namespace kestrun::kit
