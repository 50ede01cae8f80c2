// The parts of the platform layer that are the same on every system.
#include "platform/platform.h"

#include "platform/system.h"

namespace kestrun {

namespace platform_system {

bool input_size_allowed(std::uint64_t size, std::string& error)
{
	constexpr std::uint64_t four_gib = std::uint64_t(1) << 32;
	if (size >= four_gib) {
		error = "file is 4 GiB or larger";
		return false;
	}
	return true;
}

} // namespace platform_system

bool read_input(InputFile& file, FileBytes& bytes_read, std::string& error)
{
	// Every byte is read before it is used, so the buffer is not cleared.
	bytes_read.size = std::size_t(file.size_);
	bytes_read.data = std::make_unique_for_overwrite<std::uint8_t[]>(bytes_read.size);
	std::size_t done = 0;
	while (done < bytes_read.size) {
		const std::optional<std::size_t> got =
		    platform_system::read_some(file.handle_, bytes_read.data.get() + done, bytes_read.size - done, error);
		if (!got)
			return false;
		if (*got == 0) {
			error = "file shrank while being read: got " + std::to_string(done) + " of " +
			        std::to_string(bytes_read.size) + " bytes";
			return false;
		}
		done += *got;
	}
	return true;
}

void prepare_batch_process()
{
	platform_system::report_file_size_limit_as_error();
	platform_system::remove_temporary_files_on_interrupt();
	platform_system::keep_freed_buffers_for_reuse();
}

bool read_whole_file(const std::string& path, FileBytes& file, std::string& error)
{
	InputFile input;
	return open_input(path, input, error) && read_input(input, file, error);
}

} // namespace kestrun
