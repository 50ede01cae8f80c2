// `kestrun-kit check FILE...`: one line per finding, a summary, and an exit
// status that says whether any file has an error.
#include "kit/check.h"
#include "kestrun_version.h"
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

namespace kestrun::kit {

namespace {

using json = nlohmann::ordered_json;

struct CheckOptions {
	std::vector<std::string> files;
	bool json = false;
	bool strict = false;
};

// The file's findings: a container's damage first, then the stream's.
CheckReport check_file(const LoadedFile& f)
{
	const stream::Tree tree = stream::parse_tree(f.stream);
	CheckReport report = check_stream(f.stream, tree);
	if (f.container && f.inflated.problem != ContainerProblem::none)
		report.findings.insert(report.findings.begin(), {Severity::error, "container", f.inflated.offset,
		                                                 damaged_container_text(f.inflated, false)});
	return report;
}

std::string finding_line(const std::string& name, const Finding& finding)
{
	if (finding.path.empty() && finding.offset == 0)
		return name + ": " + severity_name(finding.severity) + ": " + finding.text;
	return name + ": " + (finding.path.empty() ? "stream" : finding.path) + " (offset " +
	       std::to_string(finding.offset) + "): " + severity_name(finding.severity) + ": " + finding.text;
}

json finding_json(const Finding& finding)
{
	return {{"severity", severity_name(finding.severity)},
	        {"path", finding.path},
	        {"offset", finding.offset},
	        {"text", finding.text}};
}

struct Totals {
	std::uint64_t errors = 0, warnings = 0, failed_files = 0, chunks = 0, unknown = 0;
	json files = json::array();
};

// Checks one file, prints its findings (or keeps them for the JSON) and
// adds them to the totals.
void check_one(const std::string& name, const CheckOptions& options, Batch& batch, Totals& totals)
{
	LoadedFile f;
	std::string error;
	CheckReport report;
	if (!load_file(name, f, error))
		report.findings.push_back({Severity::error, "", 0, error});
	else
		report = check_file(f);
	std::uint64_t errors = 0, warnings = 0;
	json findings = json::array();
	for (const Finding& finding : report.findings) {
		(finding.severity == Severity::error ? errors : warnings)++;
		if (options.json)
			findings.push_back(finding_json(finding));
		else
			batch.say(finding_line(name, finding));
	}
	const bool failed = errors > 0 || (options.strict && warnings > 0);
	totals.chunks += report.chunks;
	totals.unknown += report.unknown_chunks;
	totals.errors += errors;
	totals.warnings += warnings;
	totals.failed_files += failed ? 1 : 0;
	if (options.json)
		totals.files.push_back({{"file", name}, {"container", f.container}, {"chunks", report.chunks},
		                        {"unknown_chunks", report.unknown_chunks}, {"errors", errors},
		                        {"warnings", warnings}, {"passed", !failed}, {"findings", findings}});
}

void print_totals(const CheckOptions& options, const Totals& t)
{
	if (options.json) {
		std::cout << json{{"program", "kestrun-kit"},  {"version", KESTRUN_VERSION}, {"strict", options.strict},
		                  {"files", t.files},          {"errors", t.errors},         {"warnings", t.warnings},
		                  {"failed_files", t.failed_files}}
		                 .dump(1, '\t', false, json::error_handler_t::replace)
		          << std::endl;
		return;
	}
	std::printf("checked %zu file(s), %llu chunk(s), %llu of unknown type: %llu error(s), %llu warning(s); "
	            "%llu file(s) %s\n",
	            options.files.size(), static_cast<unsigned long long>(t.chunks),
	            static_cast<unsigned long long>(t.unknown), static_cast<unsigned long long>(t.errors),
	            static_cast<unsigned long long>(t.warnings), static_cast<unsigned long long>(t.failed_files),
	            options.strict ? "failed (warnings count as errors)" : "failed");
}

int run_check(const CheckOptions& options)
{
	Totals totals;
	{
		Batch batch(options.files.size());
		for (const std::string& name : options.files) {
			check_one(name, options, batch, totals);
			batch.next();
		}
	}
	print_totals(options, totals);
	return totals.failed_files > 0 ? exit_failed : exit_ok;
}

} // namespace

void add_check_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<CheckOptions>();
	CLI::App* sub = app.add_subcommand("check", "Check that each file is sound: structure, counts, geometry, "
	                                            "Bin Mesh, stamp against layout, texture natives");
	sub->add_option("FILE", options->files, "model files, texture dictionaries, containers or streams")->required();
	sub->add_flag("--json", options->json, "write one JSON document for the whole run");
	sub->add_flag("--strict", options->strict, "count warnings as errors");
	sub->footer("Exit status: 0 when no file has an error, 1 when one has (with --strict, also a warning),\n"
	            "2 for a usage error.");
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::models_and_dictionaries);
		status = with_unlisted(run_check(*options), listed);
	});
}

} // namespace kestrun::kit
