#include "kit/file_arguments.h"

#include "platform/platform.h"
#include "kit/load.h"

namespace kestrun::kit {

std::vector<std::string> expand_file_arguments(const std::vector<std::string>& arguments)
{
	std::vector<std::string> out;
	for (const std::string& argument : arguments) {
		std::error_code ec;
		if (argument.find_first_of("*?") == std::string::npos || std::filesystem::exists(to_path(argument), ec)) {
			out.push_back(argument);
			continue;
		}
		const std::size_t cut = argument.find_last_of("/\\");
		const std::string folder = cut == std::string::npos ? std::string() : argument.substr(0, cut + 1);
		const std::string pattern = argument.substr(folder.size());
		const std::vector<std::string> names = folder.find_first_of("*?") == std::string::npos
		                                           ? find_files(folder, pattern)
		                                           : std::vector<std::string>();
		if (names.empty())
			out.push_back(argument);
		for (const std::string& name : names)
			out.push_back(folder + name);
	}
	return out;
}

} // namespace kestrun::kit
