// libFuzzer harness for the container reader. The work is
// in container_entry() (harness.cpp), which the replay test runs on every saved input.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	return kestrun::fuzz::container_entry(data, size);
}
