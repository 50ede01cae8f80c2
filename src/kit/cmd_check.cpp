// `kestrun-kit check FILE...`: one line per finding, a summary, and an exit
// status that says whether any file has an error.
#include "kit/check.h"
#include "kestrun_version.h"
#include "kit/commands.h"
#include "kit/load.h"

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
	if (f.container && f.inflated.problem != ContainerProblem::none) {
		std::string text = "damaged container: block " + std::to_string(f.inflated.block) + ": " +
		                   container_problem_name(f.inflated.problem);
		if (f.inflated.damaged_blocks > 1)
			text += " (" + std::to_string(f.inflated.damaged_blocks) + " blocks damaged in all)";
		report.findings.insert(report.findings.begin(), {Severity::error, "container", f.inflated.offset, text});
	}
	return report;
}

int run_check(const CheckOptions& options)
{
	std::uint64_t errors = 0, warnings = 0, failed_files = 0, chunks = 0, unknown = 0;
	json files = json::array();
	for (const std::string& name : options.files) {
		LoadedFile f;
		std::string error;
		CheckReport report;
		if (!load_file(name, f, error))
			report.findings.push_back({Severity::error, "", 0, error});
		else
			report = check_file(f);

		std::uint64_t file_errors = 0, file_warnings = 0;
		json findings = json::array();
		for (const Finding& finding : report.findings) {
			(finding.severity == Severity::error ? file_errors : file_warnings)++;
			if (options.json)
				findings.push_back({{"severity", severity_name(finding.severity)},
				                    {"path", finding.path},
				                    {"offset", finding.offset},
				                    {"text", finding.text}});
			else if (finding.path.empty() && finding.offset == 0)
				std::printf("%s: %s: %s\n", name.c_str(), severity_name(finding.severity), finding.text.c_str());
			else
				std::printf("%s: %s (offset %llu): %s: %s\n", name.c_str(),
				            finding.path.empty() ? "stream" : finding.path.c_str(),
				            static_cast<unsigned long long>(finding.offset), severity_name(finding.severity),
				            finding.text.c_str());
		}
		chunks += report.chunks;
		unknown += report.unknown_chunks;
		errors += file_errors;
		warnings += file_warnings;
		const bool failed = file_errors > 0 || (options.strict && file_warnings > 0);
		failed_files += failed ? 1 : 0;
		if (options.json)
			files.push_back({{"file", name},
			                 {"container", f.container},
			                 {"chunks", report.chunks},
			                 {"unknown_chunks", report.unknown_chunks},
			                 {"errors", file_errors},
			                 {"warnings", file_warnings},
			                 {"passed", !failed},
			                 {"findings", findings}});
	}
	if (options.json) {
		std::cout << json{{"program", "kestrun-kit"},
		                  {"version", KESTRUN_VERSION},
		                  {"strict", options.strict},
		                  {"files", files},
		                  {"errors", errors},
		                  {"warnings", warnings},
		                  {"failed_files", failed_files}}
		                 .dump(1, '\t', false, json::error_handler_t::replace)
		          << std::endl;
	} else {
		std::printf("checked %zu file(s), %llu chunk(s), %llu of unknown type: %llu error(s), %llu warning(s); "
		            "%llu file(s) %s\n",
		            options.files.size(), static_cast<unsigned long long>(chunks),
		            static_cast<unsigned long long>(unknown), static_cast<unsigned long long>(errors),
		            static_cast<unsigned long long>(warnings),
		            static_cast<unsigned long long>(failed_files),
		            options.strict ? "failed (warnings count as errors)" : "failed");
	}
	return failed_files > 0 ? exit_failed : exit_ok;
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
	sub->callback([options, &status] { status = run_check(*options); });
}

} // namespace kestrun::kit
