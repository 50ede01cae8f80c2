// The wildcard matcher and the name order, the same on every system.
#include "platform/platform.h"

#include "common/ascii.h"

#include <algorithm>

namespace kestrun {

bool wildcard_match(std::string_view pattern, std::string_view name)
{
	if (pattern.find('/') != std::string_view::npos)
		return false;
	// Greedy match with one backtrack point: the last '*' seen. Linear in
	// practice, and never exponential however many stars the pattern has.
	std::size_t p = 0, n = 0;
	std::size_t star = std::string_view::npos, resume = 0;
	while (n < name.size()) {
		if (p < pattern.size() && pattern[p] == '*') {
			star = p++;
			resume = n;
		} else if (p < pattern.size() && (pattern[p] == '?' || ascii_lower(pattern[p]) == ascii_lower(name[n]))) {
			p++;
			n++;
		} else if (star != std::string_view::npos) {
			p = star + 1;
			n = ++resume;
		} else {
			return false;
		}
	}
	while (p < pattern.size() && pattern[p] == '*')
		p++;
	return p == pattern.size();
}

void sort_names(std::vector<std::string>& names)
{
	std::vector<std::pair<std::string, std::string>> keyed;
	keyed.reserve(names.size());
	for (std::string& name : names) {
		std::string key(name);
		std::transform(key.begin(), key.end(), key.begin(), ascii_lower);
		keyed.emplace_back(std::move(key), std::move(name));
	}
	// Pairs compare by the lowered name, then by the plain bytes.
	std::sort(keyed.begin(), keyed.end());
	for (std::size_t k = 0; k < names.size(); k++)
		names[k] = std::move(keyed[k].second);
}

} // namespace kestrun
