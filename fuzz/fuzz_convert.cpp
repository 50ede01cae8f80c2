// libFuzzer harness for the model conversion. The work is
// in convert_entry() (harness.cpp), which the replay test runs on every saved input.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	return kestrun::fuzz::convert_entry(data, size);
}
