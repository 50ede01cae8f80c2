// libFuzzer harness for kestrun-kit's reader, checks and fix. The work is in
// tree_entry() (harness.cpp), which the replay test runs on every saved input.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	return kestrun::fuzz::tree_entry(data, size);
}
