// Wildcards in the kit's file arguments, for the systems whose shells pass
// them as typed (Windows).
#pragma once

#include <string>
#include <vector>

namespace kestrun::kit {

// `arguments` with each one that holds '*' or '?' and names no existing file
// or folder replaced by the files it matches, as kestrun matches and sorts
// them (wildcard_match(), sort_names()). The wildcards count in the last
// part of a path only; the folder part is kept as typed. An argument that
// matches nothing stays as it is, so that the command reports it by name as
// it reports any file it cannot open.
std::vector<std::string> expand_file_arguments(const std::vector<std::string>& arguments);

} // namespace kestrun::kit
