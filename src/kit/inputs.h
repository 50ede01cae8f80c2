// The files a kit command works on, from its PATH arguments: a file stands
// for itself, a folder for the model and dictionary files below it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::kit {

struct Input {
	std::string path;      // what the command opens: the argument, or the folder argument joined with `relative`
	std::string relative;  // below the folder argument, '/' between names; a file argument's own name
	std::uint64_t size = 0; // bytes, as listed (0 when not known)
};

// Which files of a folder a command takes, by the end of the name in any
// case.
enum class Wanted { models_and_dictionaries, models, dictionaries };

struct Inputs {
	std::vector<Input> files;
	bool complete = true; // false when a folder could not be listed (reported)
};

// Each argument in turn: a folder gives every regular file below it,
// recursively, whose name ends in ".dff" or ".txd" (as `wanted` says, in any
// case), ordered by relative path compared after ASCII lower-casing, ties by
// the bytes; links to folders below it are not followed, other files are
// left out. Anything else, a missing path included, is taken as it stands,
// so that the command reports what is wrong with it. Nothing at or below
// the folder `skip_below` (when not empty) is taken from a folder argument:
// a command's own output folder inside its input. A folder that cannot be
// listed is reported on standard error and makes the result incomplete.
Inputs gather_inputs(const std::vector<std::string>& arguments, Wanted wanted = Wanted::models_and_dictionaries,
                     const std::string& skip_below = {});

// The paths of `inputs`, in order.
std::vector<std::string> input_paths(const Inputs& inputs);

// For a command that takes its files as a list: `arguments` replaced by the
// paths gather_inputs() gives. False when a folder could not be listed.
bool gather_in_place(std::vector<std::string>& arguments, Wanted wanted, const std::string& skip_below = {});

// A command's exit status with the folders it could not list counted as a
// failed file.
int with_unlisted(int status, bool listed);

} // namespace kestrun::kit
