// libFuzzer harness for the whole per-file path (inflate, then convert). The work is
// in file_entry() (harness.cpp), which the replay test runs on every saved input.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	return kestrun::fuzz::file_entry(data, size);
}
