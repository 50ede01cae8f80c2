// A model file as binary glTF: what `gltf` writes for each model, and
// `convert --gltf` beside its conversion.
#pragma once

#include "gltf/gltf.h"
#include "kit/batch.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::kit {

// Adds the dictionary file `path` (its inflated `stream`) to `textures`.
// Damage is reported through `batch` (the run fails) and the textures that
// can be read are still added, so that an export goes on with them.
void add_dictionary_file(const std::string& path, std::vector<std::uint8_t> stream, gltf::TextureLibrary& textures,
                         Batch& batch);

// Exports the model file `path` (its inflated `stream`, console or PC) and
// writes it to `out`, creating its folder; textures are looked up as
// `textures` prefers them for `path` (prefer_for(), with `same_folder_next`). Warnings, failures and the file's line
// ("PATH -> OUT: N nodes, ...") go through `batch`. False when nothing was
// written.
bool write_model_glb(const std::string& path, std::vector<std::uint8_t> stream, const std::string& out,
                     gltf::TextureLibrary& textures, Batch& batch, bool same_folder_next = false);

} // namespace kestrun::kit
