// What the shared part of the platform layer (platform.cpp) asks of the
// system's own file (platform_posix.cpp or platform_win32.cpp). Not for
// callers outside src/platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrun::platform_system {

// Reads at most `size` bytes of the open file `handle` into `data`: how many
// were read, 0 at the end of the file, or nothing with `error` set.
std::optional<std::size_t> read_some(std::intptr_t handle, std::uint8_t* data, std::size_t size, std::string& error);

// True when a file of `size` bytes may be read whole; false with `error` set
// when it is 4 GiB or larger, more than a block container or stream can be.
bool input_size_allowed(std::uint64_t size, std::string& error);

// The parts of prepare_batch_process(), each a no-op where the system has
// no such thing.
void report_file_size_limit_as_error();
void remove_temporary_files_on_interrupt();
void keep_freed_buffers_for_reuse();

} // namespace kestrun::platform_system
