// libFuzzer harness for the glTF export. The work is in gltf_entry()
// (gltf_harness.cpp), which the replay test runs on every saved input.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	return kestrun::fuzz::gltf_entry(data, size);
}
