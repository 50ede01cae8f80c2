#include "kit/png_export.h"

#include "kit/file_names.h"
#include "stream/stream.h"
#include "texture/texture.h"

#include <map>
#include <optional>
#include <utility>

namespace kestrun::kit {

namespace fs = std::filesystem;

namespace {

// The PNG names of one texture: NAME.png, or NAME.0.png, NAME.1.png, ...
std::vector<std::string> png_names(const std::string& base, std::size_t levels, bool every_level)
{
	if (!every_level)
		return {base + ".png"};
	std::vector<std::string> names;
	for (std::size_t i = 0; i < levels; i++)
		names.push_back(base + "." + std::to_string(i) + ".png");
	return names;
}

// The file names of one folder. Names are only ever taken, so the smallest
// free ~N of a name (with its number of levels) never goes down: each
// search starts where the last one for that name ended, and a thousand
// textures of one name cost a thousand steps, not half a million.
class FolderNames {
public:
	explicit FolderNames(bool every_level) : every_level_(every_level) {}

	// A base name whose files are all free, NAME or NAME~2, NAME~3...; its
	// files are taken.
	std::vector<std::string> claim(const std::string& wanted, std::size_t levels)
	{
		unsigned& n = next_[{ascii_lowered(wanted), levels}];
		for (n = std::max(n, 1u);; n++) {
			const std::string base = n == 1 ? wanted : wanted + "~" + std::to_string(n);
			std::vector<std::string> names = png_names(base, levels, every_level_);
			bool free = true;
			for (const std::string& name : names)
				free = free && !taken_.taken(name);
			if (!free)
				continue;
			for (const std::string& name : names)
				taken_.take(name);
			return names;
		}
	}

private:
	bool every_level_;
	NameSet taken_;
	std::map<std::pair<std::string, std::size_t>, unsigned> next_;
};

// Writes one decoded texture's PNGs; false when one could not be written,
// which has been reported.
bool write_texture(const std::string& name, const texture::DecodedTexture& t, const fs::path& folder,
                   FolderNames& names, Batch& batch)
{
	const std::vector<std::string> files = names.claim(safe_file_name(t.name), t.levels.size());
	for (std::size_t i = 0; i < files.size(); i++) {
		const std::vector<std::uint8_t> png = texture::encode_png(t.levels[i]);
		const std::string path = to_utf8(folder / files[i]);
		std::string error = "cannot encode the PNG";
		if (png.empty() || !replace_file(path, png, error)) {
			batch.error(name, "texture \"" + format::printable(t.name) + "\": cannot write " + path + ": " + error);
			return false;
		}
	}
	return true;
}

// The top-level dictionaries of `tree`; nothing, reported, when the stream
// is not a dictionary or one has no sound texture count.
std::optional<std::vector<const stream::Chunk*>> dictionaries_of(const std::string& name, const stream::Tree& tree,
                                                                  Batch& batch)
{
	if (tree.top.empty() || tree.top[0].type != format::type_texture_dictionary) {
		batch.error(name, "not a texture dictionary");
		return std::nullopt;
	}
	std::vector<const stream::Chunk*> dictionaries;
	for (const stream::Chunk& c : tree.top)
		if (c.type == format::type_texture_dictionary)
			dictionaries.push_back(&c);
	// Without a Struct nothing says how many textures there are; a count
	// other than the natives found means some never came out; a chunk that
	// reaches past the stream was cut. Each is reported; the textures found
	// are still written.
	bool reported = false;
	for (const stream::Chunk* dictionary : dictionaries)
		if (const std::string problem = stream::dictionary_count_problem(*dictionary); !problem.empty()) {
			batch.error(name, format::chunk_type_label(dictionary->type) + " at offset " +
			                      std::to_string(dictionary->offset) + ": " + problem);
			reported = true;
		}
	if (const std::string damage = texture::dictionary_damage(tree); !reported && !damage.empty())
		batch.error(name, damage);
	return dictionaries;
}

} // namespace

PngCount write_dictionary_pngs(const std::string& name, bytes stream, const fs::path& folder, bool every_level,
                               Batch& batch)
{
	PngCount count;
	const stream::Tree tree = stream::parse_tree(stream);
	const std::optional<std::vector<const stream::Chunk*>> dictionaries = dictionaries_of(name, tree, batch);
	if (!dictionaries)
		return count;
	if (std::string why; !make_folders(to_utf8(folder), why)) {
		batch.error(name, "cannot create " + to_utf8(folder) + ": " + why + "; no texture written");
		return count;
	}
	count.read = true;
	FolderNames names(every_level);
	for (const stream::Chunk* dictionary : *dictionaries)
		for (const stream::Chunk* native : stream::children_of_type(*dictionary, format::type_texture_native)) {
			count.textures++;
			std::string error;
			const std::optional<texture::DecodedTexture> t = texture::decode_texture_native(*native, error);
			if (!t)
				batch.error(name, error + "; not written");
			else if (write_texture(name, *t, folder, names, batch))
				count.written++;
		}
	return count;
}

fs::path dictionary_folder(const std::string& name, const fs::path& parent, NameSet& folders)
{
	const std::string stem = safe_file_name(to_utf8(to_path(name).stem()));
	fs::path folder = parent / stem;
	for (unsigned n = 2; !folders.take(to_utf8(folder)); n++)
		folder = parent / (stem + "~" + std::to_string(n));
	return folder;
}

void export_dictionary_pngs(const std::string& name, bytes stream, const fs::path& folder, bool every_level,
                            Batch& batch)
{
	const PngCount count = write_dictionary_pngs(name, stream, folder, every_level, batch);
	if (!count.read)
		return;
	batch.say(name + ": " + std::to_string(count.written) + " of " + std::to_string(count.textures) + " texture" +
	          (count.textures == 1 ? "" : "s") + " written to " + to_utf8(folder));
}

} // namespace kestrun::kit
