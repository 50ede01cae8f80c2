// The entry points the fuzz harnesses share with the replay program. Each
// takes arbitrary bytes, runs one reader on them and checks what the reader
// promises about its result; a broken promise aborts, so libFuzzer records
// the input and the replay test fails on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrun::fuzz {

// decompress_container on the bytes as a file.
int container_entry(const std::uint8_t* data, std::size_t size);

// convert_stream on the bytes as an inflated model stream.
int convert_entry(const std::uint8_t* data, std::size_t size);

// The whole per-file path: inflate the bytes as a file, then convert what
// came out as a model.
int file_entry(const std::uint8_t* data, std::size_t size);

// kestrun-kit's path: the bytes as a file (container or stream), the chunk
// tree, every check, and the fix with the fixed stream checked again.
int tree_entry(const std::uint8_t* data, std::size_t size);

// A texture dictionary conversion and every texture decoded, on the bytes as
// an inflated stream (texture_harness.cpp).
int texture_entry(const std::uint8_t* data, std::size_t size);
// The glTF export on the bytes as a model file; the top-level Texture
// Dictionaries among them are the dictionaries given (gltf_harness.cpp).
int gltf_entry(const std::uint8_t* data, std::size_t size);

// The GLB of the bytes, as gltf_entry() checks it; empty when none is written.
std::vector<std::uint8_t> gltf_export(const std::uint8_t* data, std::size_t size);

// Aborts with `what` on standard error unless `condition` holds.
void require(bool condition, const char* what);

} // namespace kestrun::fuzz
