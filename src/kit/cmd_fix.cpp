// `kestrun-kit fix FILE...`: rewrites each file in place, atomically, with
// what PC readers misread mended (kit/fix.h); prints what it changed.
#include "kit/commands.h"
#include "kit/fix.h"
#include "kit/load.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace kestrun::kit {

namespace {

struct FixOptions {
	std::vector<std::string> files;
};

// False when the file could not be fixed; the reason has been reported.
bool fix_file(const std::string& name)
{
	LoadedFile f;
	std::string error;
	if (!load_file(name, f, error)) {
		report_error(name, error);
		return false;
	}
	const FixResult result = fix_stream(f.stream, stream::parse_tree(f.stream));
	if (f.container && result.changed()) {
		// Rewriting would mean compressing anew; fix works on what kestrun writes.
		report_error(name, "a block container; fix rewrites inflated or converted streams; left untouched");
		return false;
	}
	for (const FixNote& note : result.notes)
		std::printf("%s: %s (offset %llu): %s\n", name.c_str(), format::chunk_type_label(note.type).c_str(),
		            static_cast<unsigned long long>(note.offset), note.text.c_str());
	if (!result.changed()) {
		std::printf("%s: nothing changed\n", name.c_str());
		return true;
	}
	if (!replace_file(name, result.stream, error)) {
		report_error(name, error + "; left untouched");
		return false;
	}
	std::printf("%s: written, %zu bytes (was %zu)\n", name.c_str(), result.stream.size(), f.stream.size());
	return true;
}

int run_fix(const FixOptions& options)
{
	int status = exit_ok;
	for (const std::string& name : options.files)
		if (!fix_file(name))
			status = exit_failed;
	return status;
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
	sub->callback([options, &status] { status = run_fix(*options); });
}

} // namespace kestrun::kit
