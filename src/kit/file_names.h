// File names every file system takes, for what the kit writes.
#pragma once

#include "common/ascii.h"

#include <cstddef>
#include <set>
#include <string>

namespace kestrun::kit {

// Whether `name` ends in `extension` (given in lower case), in any case.
bool has_extension(const std::string& name, const std::string& extension);

// `raw` as a name safe on every file system: only ASCII letters, digits, '-',
// '_' and '.'; no leading dot, no trailing dot; never empty, never a device
// name Windows reserves (CON, NUL, COM1, ...).
std::string safe_file_name(const std::string& raw);

// Names already taken in one folder, compared without case, so that names
// differing only in case stay apart on file systems that ignore it.
class NameSet {
public:
	// True when `name` was free; it is taken now.
	bool take(const std::string& name);
	bool taken(const std::string& name) const;

private:
	std::set<std::string> lowered_;
};

} // namespace kestrun::kit
