// libFuzzer harness for the texture reader and the dictionary conversion. The
// work is in texture_entry() (texture_harness.cpp), which the replay test
// runs on every saved input.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	return kestrun::fuzz::texture_entry(data, size);
}
