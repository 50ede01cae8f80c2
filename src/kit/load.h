// Loading a file for the kit's commands: a block container is inflated with
// the converter's own reader, anything else is taken as a plain chunk
// stream. Shared by every command that reads models or dictionaries.
#pragma once

#include "common/bytes.h"
#include "container/container.h"
#include "platform/platform.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrun::kit {

// Names are UTF-8 inside the kit. A std::filesystem::path made from a plain
// string would take it in the machine's code page on Windows, so paths are
// made and read back through these two.
inline std::filesystem::path to_path(const std::string& utf8)
{
	return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string to_utf8(const std::filesystem::path& path)
{
	const std::u8string text = path.u8string();
	return std::string(text.begin(), text.end());
}

// One block of a container as its header states it, inflated on its own.
using BlockInfo = ContainerBlockInfo;

struct LoadedFile {
	std::string name;                  // as given on the command line
	std::uint64_t file_size = 0;
	bool container = false;
	std::vector<BlockInfo> blocks;     // container only, when asked for
	ContainerResult inflated;          // container only: the whole inflate, first problem and all
	std::vector<std::uint8_t> stream;  // the inflated stream, or the file itself
};

// True when `file` begins with a chunk header of a known type whose stamp
// names a 3.x version: then it is a plain stream, cut off or not. Containers have no magic number, so this is what tells them
// apart; a container's 12-byte file header is not a chunk header.
bool looks_like_stream(bytes file);

// Takes `file` (the bytes of the file `name`) as a container or a stream;
// with `list_blocks`, a container's blocks are also inflated one by one for
// `blocks`. False with `error` set only when LZO cannot start. Throws
// std::bad_alloc.
bool load_bytes(const std::string& name, bytes file, LoadedFile& loaded, std::string& error, bool list_blocks = false);

// Reads `path` whole and inflates it when it is a container, as load_bytes.
// False with `error` set when the file cannot be read. Throws
// std::bad_alloc.
bool load_file(const std::string& path, LoadedFile& loaded, std::string& error, bool list_blocks = false);

// Reads `path` whole into `file`; false with `error` set when it cannot be
// opened or read, is not a regular file, or is 4 GiB or larger.
bool read_file(const std::string& path, FileBytes& file, std::string& error);

// Writes `data` over `path` through a temporary file beside it, renamed
// into place only when complete; on failure `path` is untouched. When
// `path` is a symbolic link, the file it points to is replaced and the link
// stays.
bool replace_file(const std::string& path, bytes data, std::string& error);

// Creates the folder `path` and those above it, as far as they are missing;
// false with `error` set to the system's reason when it is no folder then.
bool make_folders(const std::string& path, std::string& error);

} // namespace kestrun::kit
