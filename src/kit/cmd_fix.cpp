// `kestrun-kit fix FILE...`: rewrites each file in place, atomically, with
// what PC readers misread mended (kit/fix.h); prints what it changed.
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"
#include "kit/fix.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>

namespace kestrun::kit {

namespace {

struct FixOptions {
	std::vector<std::string> files;
};

void fix_file(const std::string& name, Batch& batch)
{
	const std::optional<LoadedFile> f = batch.load(name, Damage::ignored);
	if (!f)
		return;
	const FixResult result = fix_stream(f->stream, stream::parse_tree(f->stream));
	if (f->container && result.changed()) {
		// Rewriting would mean compressing anew; fix works on what kestrun writes.
		batch.error(name, "a block container; fix rewrites inflated or converted streams; left untouched");
		return;
	}
	for (const FixNote& note : result.notes)
		batch.say(name + ": " + format::chunk_type_label(note.type) + " (offset " + std::to_string(note.offset) +
		          "): " + note.text);
	if (!result.changed()) {
		batch.say(name + ": nothing changed");
		return;
	}
	std::string error;
	if (!replace_file(name, result.stream, error)) {
		batch.error(name, error + "; left untouched");
		return;
	}
	batch.say(name + ": written, " + std::to_string(result.stream.size()) + " bytes (was " +
	          std::to_string(f->stream.size()) + ")");
}

int run_fix(const FixOptions& options)
{
	Batch batch(options.files.size());
	for (const std::string& name : options.files) {
		fix_file(name, batch);
		batch.next();
	}
	return batch.status();
}

} // namespace

void add_fix_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<FixOptions>();
	CLI::App* sub = app.add_subcommand("fix", "Mend, in place, what PC readers misread: a clump Struct that outruns its "
	                                          "stamp, triangle materials all 0, a console device id in a PC dictionary");
	sub->footer("A clump Struct of 12 bytes under a stamp older than 3.3 becomes 4 bytes when the clump has no\n"
	            "lights or cameras; the enclosing sizes are corrected. A generic geometry whose triangles all carry\n"
	            "material 0 while its Bin Mesh names others takes each triangle's material from the Bin Mesh. A PC\n"
	            "dictionary whose device id is not 0, 1 or 2 gets 0. Every other byte stays. Each file is written\n"
	            "through a temporary file. Exit status: 0, or 1 when a file could not be fixed.");
	sub->add_option("FILE", options->files, "converted model and dictionary files (plain streams)")->required();
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::models_and_dictionaries);
		status = with_unlisted(run_fix(*options), listed);
	});
}

} // namespace kestrun::kit
