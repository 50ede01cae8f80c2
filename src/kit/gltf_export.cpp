#include "kit/gltf_export.h"

#include "texture/texture.h"

#include <optional>

namespace kestrun::kit {

namespace {

std::string counted(std::uint32_t n, const char* one, const char* many)
{
	return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The model exported, its warnings said; nothing when it failed, which has
// been reported.
std::optional<gltf::Export> export_glb(const std::string& path, std::vector<std::uint8_t> stream,
                                       gltf::TextureLibrary& textures, Batch& batch)
{
	std::string error;
	std::vector<std::string> warnings;
	std::optional<gltf::Export> result;
	std::optional<std::vector<std::uint8_t>> pc = gltf::pc_model_stream(std::move(stream), warnings, error);
	if (pc)
		result = gltf::export_model(*pc, to_utf8(to_path(path).stem()), textures, error);
	if (result)
		warnings.insert(warnings.end(), result->warnings.begin(), result->warnings.end());
	for (const std::string& warning : warnings)
		batch.warning(path, warning);
	if (!result)
		batch.error(path, error);
	return result;
}

} // namespace

void add_dictionary_file(const std::string& path, std::vector<std::uint8_t> stream, gltf::TextureLibrary& textures,
                         Batch& batch)
{
	const std::string damage = texture::dictionary_damage(stream::parse_tree(stream));
	std::string error;
	if (!textures.add_dictionary(std::move(stream), error, path))
		batch.error(path, error);
	else if (!damage.empty())
		batch.error(path, damage + "; the textures that could be read are used");
}

bool write_model_glb(const std::string& path, std::vector<std::uint8_t> stream, const std::string& out,
                     gltf::TextureLibrary& textures, Batch& batch, bool same_folder_next)
{
	textures.prefer_for(path, same_folder_next);
	const std::optional<gltf::Export> result = export_glb(path, std::move(stream), textures, batch);
	if (!result)
		return false;
	const std::string folder = to_utf8(to_path(out).parent_path());
	std::string error;
	if (!folder.empty() && !make_folders(folder, error)) {
		batch.error(out, "cannot create its folder: " + error);
		return false;
	}
	if (!replace_file(out, result->glb, error)) {
		batch.error(out, error);
		return false;
	}
	batch.say(path + " -> " + out + ": " + counted(result->nodes, "node", "nodes") + ", " +
	          counted(result->meshes, "mesh", "meshes") + ", " + counted(result->textures, "texture", "textures"));
	return true;
}

} // namespace kestrun::kit
