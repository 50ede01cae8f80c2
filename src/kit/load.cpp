#include "kit/load.h"

#include "platform/platform.h"
#include "stream/stream.h"

#include <filesystem>
#include <memory>

#include <lzo/lzoconf.h>

namespace kestrun::kit {

namespace fs = std::filesystem;

bool looks_like_stream(bytes file)
{
	if (file.size() < 12)
		return false;
	// The size is not asked to fit: a cut-off stream is still a stream.
	const std::uint32_t type = load_u32(file, format::chunk_type_at), stamp = load_u32(file, format::chunk_stamp_at);
	const std::uint32_t version = format::decode_stamp(stamp).version;
	return format::chunk_type_name(type) != nullptr && version >= format::version_3 && version < format::version_4;
}

bool read_file(const std::string& path, FileBytes& file, std::string& error)
{
	// A missing file and a folder in words of our own, the same on every
	// system (Windows calls a name with a wildcard, which no file there
	// has, invalid rather than missing); anything else, a path too long for
	// std::filesystem on Windows say, is left to the read.
	std::error_code ec;
	const fs::file_status status = fs::status(to_path(path), ec);
	if (status.type() == fs::file_type::not_found || (ec && path.find_first_of("*?") != std::string::npos)) {
		error = "cannot open: No such file or directory";
		return false;
	}
	if (!ec && !fs::is_regular_file(status)) {
		error = "not a regular file";
		return false;
	}
	return read_whole_file(path, file, error);
}

bool load_bytes(const std::string& name, bytes file, LoadedFile& loaded, std::string& error, bool list_blocks)
{
	static const bool lzo_started = lzo_init() == LZO_E_OK;
	loaded = {};
	loaded.name = name;
	loaded.file_size = file.size();
	// Too short for a block header: not a container whatever it holds.
	if (looks_like_stream(file) || file.size() < 24) {
		loaded.stream.assign(file.begin(), file.end());
		return true;
	}
	if (!lzo_started) {
		error = "the LZO library failed to start";
		return false;
	}
	loaded.container = true;
	// One buffer of the driver's capacity serves the blocks one by one, when
	// asked for, then the whole inflate; the decompressor writes before
	// anything is read.
	const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(stream_capacity);
	const mut_bytes scratch(buffer.get(), stream_capacity);
	if (list_blocks)
		loaded.blocks = list_container_blocks(file, scratch);
	loaded.inflated = decompress_container(file, scratch);
	loaded.stream.assign(buffer.get(), buffer.get() + loaded.inflated.length);
	return true;
}

bool load_file(const std::string& path, LoadedFile& loaded, std::string& error, bool list_blocks)
{
	FileBytes file;
	return read_file(path, file, error) && load_bytes(path, file.view(), loaded, error, list_blocks);
}

bool replace_file(const std::string& path, bytes data, std::string& error)
{
	fs::path target = to_path(path);
	std::error_code ec;
	// A link stays a link: the file it points to is the one replaced, through
	// a temporary file in that file's folder.
	if (fs::is_symlink(fs::symlink_status(target, ec))) {
		const fs::path resolved = fs::weakly_canonical(target, ec);
		if (!ec)
			target = resolved;
	}
	const fs::perms mode = fs::status(target, ec).permissions();
	const std::string directory = target.has_parent_path() ? to_utf8(target.parent_path()) : std::string(".");
	if (!write_file_atomically(directory, to_utf8(target.filename()), data, error))
		return false;
	// Keep the file's own permissions rather than the temporary's.
	if (!ec)
		fs::permissions(target, mode, ec);
	return true;
}

bool make_folders(const std::string& path, std::string& error)
{
	std::error_code ec;
	const fs::path folder = to_path(path);
	fs::create_directories(folder, ec);
	if (!ec && !fs::is_directory(folder, ec) && !ec)
		ec = std::make_error_code(std::errc::not_a_directory);
	if (ec)
		error = ec.message();
	return !ec;
}

} // namespace kestrun::kit
