// One file of `kestrun-kit convert`: a console model or dictionary, container
// or inflated stream, made into its PC form and written. Runs on a worker
// thread: it prints nothing, it says what it has to say in its outcome.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::kit {

// A line for the batch to say, in input order.
struct Message {
	enum class Kind { line, error, warning };
	Kind kind = Kind::line;
	std::string subject; // the file; for a line, the whole line
	std::string text;
};

struct FileOutcome {
	bool model = false;   // else a dictionary
	bool written = false; // false: the file failed, its errors among the messages
	std::uint64_t input_bytes = 0;
	std::vector<Message> messages;
};

// Reads `path`, makes its PC form and writes it atomically to `output`,
// creating the folders it needs. A model (a name ending in ".dff" in any
// case) is converted as kestrun converts it and then mended as `fix`
// mends it; a dictionary (".txd") is converted as `txd` converts it; any
// other name goes by its first chunk. A model or dictionary that is already
// PC is written as its stream is; a PC model still gets what `fix` mends.
// Nothing is written for a file that cannot be read, a damaged container, a
// geometry kestrun reports, a model without a Clump or a dictionary that
// cannot be converted. lzo_init() must have succeeded before.
FileOutcome convert_file(const std::string& path, const std::string& output);

// Whether convert_file() takes `path` as a dictionary by its name alone (it
// ends in ".txd" in any case); any other file may turn out to be a model.
bool named_as_dictionary(const std::string& path);

} // namespace kestrun::kit
