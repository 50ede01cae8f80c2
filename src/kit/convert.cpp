#include "kit/convert.h"

#include "geometry/geometry.h"
#include "kit/batch.h"
#include "kit/fix.h"
#include "kit/file_names.h"
#include "kit/load.h"
#include "texture/texture.h"

#include <algorithm>
#include <optional>

namespace kestrun::kit {

namespace {

// The outcome as it is built, with the file's name for its messages.
struct Work {
	const std::string& path;
	FileOutcome outcome;
	std::string done; // what was made of the file, for its line

	void error(const std::string& what) { outcome.messages.push_back({Message::Kind::error, path, what}); }
	void warning(const std::string& what) { outcome.messages.push_back({Message::Kind::warning, path, what}); }
};

bool is_model(const std::string& path, bytes stream)
{
	if (has_extension(path, ".dff") || has_extension(path, ".txd"))
		return has_extension(path, ".dff");
	return !fits(stream.size(), format::chunk_type_at, 4) ||
	       load_u32(stream, format::chunk_type_at) != format::type_texture_dictionary;
}

bool has_console_stamp(bytes stream)
{
	return fits(stream.size(), 0, format::chunk_header_size) &&
	       load_u32(stream, format::chunk_stamp_at) == format::console_stamp;
}

// The stream after kestrun's conversion, or nothing when kestrun reports a
// geometry. A plain PC stream is not kestrun's to convert; a container is,
// whatever it holds, as kestrun would take it.
std::optional<std::vector<std::uint8_t>> converted_model(InflatedFile inflated, bool plain, Work& work)
{
	if (plain && !has_console_stamp(inflated.stream())) {
		work.done = "PC model";
		return std::vector<std::uint8_t>(inflated.stream().begin(), inflated.stream().end());
	}
	work.done = "model converted";
	ConvertedModel model = convert_model_file(std::move(inflated));
	for (const GeometryReport& problem : model.problems)
		work.error("geometry at stream offset " + std::to_string(problem.offset) + ": " +
		           geometry_report_text(problem) + "; nothing written");
	if (!model.problems.empty())
		return std::nullopt;
	return std::move(model.stream);
}

// The model's PC stream, mended as `fix` mends it.
std::optional<std::vector<std::uint8_t>> pc_model(InflatedFile inflated, bool plain, Work& work)
{
	std::optional<std::vector<std::uint8_t>> stream = converted_model(std::move(inflated), plain, work);
	if (!stream)
		return std::nullopt;
	const stream::Tree tree = stream::parse_tree(*stream);
	if (std::none_of(tree.top.begin(), tree.top.end(),
	                 [](const stream::Chunk& c) { return c.type == format::type_clump; })) {
		work.error("holds no Clump: not a model; nothing written");
		return std::nullopt;
	}
	for (const FixNote& note : fix_stream_in_place(*stream, tree))
		if (!note.changed)
			work.warning(format::chunk_type_label(note.type) + " (offset " + std::to_string(note.offset) +
			             "): " + note.text);
		else if (work.done == "PC model")
			work.done = "PC model, mended";
	return stream;
}

std::optional<std::vector<std::uint8_t>> pc_dictionary(bytes stream, Work& work)
{
	texture::DictionaryResult r = texture::convert_dictionary(stream);
	switch (r.status) {
	case texture::DictionaryResult::Status::failed: work.error(r.error + "; nothing written"); return std::nullopt;
	case texture::DictionaryResult::Status::already_pc:
		work.done = "PC dictionary";
		return std::vector<std::uint8_t>(stream.begin(), stream.end());
	case texture::DictionaryResult::Status::converted: break;
	}
	work.done = "dictionary converted, " + std::to_string(r.textures) + " texture" + (r.textures == 1 ? "" : "s");
	return std::move(r.stream);
}

// The file's stream, inflated when it is a container; nothing when it
// cannot be read or is damaged (reported).
std::optional<InflatedFile> inflated_input(Work& work, bool& plain)
{
	// The stream buffer is taken before the file is read, so that the file's
	// memory, given back once inflated, lies where the converted stream is
	// then taken: the heap does not grow by the input beside the output.
	std::unique_ptr<std::uint8_t[]> buffer = new_stream_buffer();
	FileBytes file;
	std::string error;
	if (!read_file(work.path, file, error)) {
		work.error(error + "; nothing written");
		return std::nullopt;
	}
	work.outcome.input_bytes = file.size;
	plain = looks_like_stream(file.view());
	InflatedFile inflated = inflate_file(file.view(), plain, std::move(buffer));
	if (inflated.container.problem == ContainerProblem::none)
		return inflated;
	work.error(plain ? "a stream of " + std::to_string(file.size) + " bytes, more than the " +
	                       std::to_string(stream_capacity) + " a stream may hold; nothing written"
	                 : damaged_container_text(inflated.container, true) + "; nothing written");
	return std::nullopt;
}

bool write_output(const std::string& output, bytes data, Work& work)
{
	const std::string folder = to_utf8(to_path(output).parent_path());
	std::string error;
	if (!folder.empty() && !make_folders(folder, error))
		error = "cannot create its folder: " + error;
	else if (replace_file(output, data, error))
		return true;
	work.error("cannot write " + output + ": " + error + "; nothing written");
	return false;
}

} // namespace

FileOutcome convert_file(const std::string& path, const std::string& output)
{
	Work work{path, {}, {}};
	bool plain = false;
	std::optional<InflatedFile> inflated = inflated_input(work, plain);
	if (!inflated)
		return std::move(work.outcome);
	work.outcome.model = is_model(path, inflated->stream());
	const std::optional<std::vector<std::uint8_t>> pc =
	    work.outcome.model ? pc_model(std::move(*inflated), plain, work) : pc_dictionary(inflated->stream(), work);
	inflated.reset();
	if (!pc || !write_output(output, *pc, work))
		return std::move(work.outcome);
	work.outcome.written = true;
	work.outcome.messages.push_back(
	    {Message::Kind::line, path + " -> " + output + ": " + work.done + ", " + std::to_string(pc->size()) + " bytes", {}});
	return std::move(work.outcome);
}

bool named_as_dictionary(const std::string& path)
{
	return has_extension(path, ".txd");
}

} // namespace kestrun::kit
