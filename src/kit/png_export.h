// The textures of a model's dictionaries as PNG files: what `png` writes for
// each file, and `convert --png` beside its conversion.
#pragma once

#include "common/bytes.h"
#include "kit/batch.h"
#include "kit/file_names.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace kestrun::kit {

struct PngCount {
	bool read = false; // the stream held dictionaries and the folder is there
	std::size_t written = 0, textures = 0;
};

// Writes every texture of every top-level dictionary in `stream` (the file
// `name`'s) into `folder`, created when missing: <texture>.png, or with
// `every_level` <texture>.<level>.png; names made safe, a name taken before
// (without case) getting ~2, ~3... Each failure is reported through `batch`:
// a folder that cannot be made once for the dictionary, a texture that
// cannot be read or written once for that texture, a stream that is no
// whole dictionary once.
PngCount write_dictionary_pngs(const std::string& name, bytes stream, const std::filesystem::path& folder,
                               bool every_level, Batch& batch);

// The folder for the textures of the dictionary file `name` inside `parent`:
// parent/<safe stem of name>, or <stem>~2, <stem>~3... when `folders` (the
// folders of the run, whole paths compared without case) has it; the one
// returned is taken.
std::filesystem::path dictionary_folder(const std::string& name, const std::filesystem::path& parent,
                                        NameSet& folders);

// write_dictionary_pngs(), then, when the stream was read, the file's line
// "NAME: W of N textures written to FOLDER" through `batch`.
void export_dictionary_pngs(const std::string& name, bytes stream, const std::filesystem::path& folder,
                            bool every_level, Batch& batch);

} // namespace kestrun::kit
