#include "driver/driver.h"

#include <algorithm>

namespace kestrun {

bool is_model_name(std::string_view name)
{
	return name.size() >= 3 && name.substr(name.size() - 3) == "dff";
}

const std::string& select_named_file(const std::vector<std::string>& matches, std::string_view argument)
{
	const auto exact = std::find(matches.begin(), matches.end(), argument);
	return exact != matches.end() ? *exact : matches.front();
}

} // namespace kestrun
