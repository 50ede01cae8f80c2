// kestrun-kit gltf MODEL... [--txd DICTIONARY]... [-o OUT]: exports models
// with their textures as binary glTF.
#pragma once

#include <CLI/CLI.hpp>

namespace kestrun::kit {

// Adds the `gltf` subcommand to `app`; when it runs, its exit status goes
// into `status`: 0 every model written, 1 a model or dictionary failed, 2 a
// usage error.
void add_gltf_command(CLI::App& app, int& status);

} // namespace kestrun::kit
