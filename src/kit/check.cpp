#include "kit/check.h"
#include "kit/check_parts.h"

#include <cstdio>
#include <map>

namespace kestrun::kit {

using namespace stream;

const char* severity_name(Severity severity)
{
	return severity == Severity::error ? "error" : "warning";
}

std::uint64_t offset_in(bytes stream, bytes part)
{
	return part.empty() && part.data() == nullptr ? 0 : std::uint64_t(part.data() - stream.data());
}

bool clump_struct_outruns_its_stamp(const Chunk& clump_struct)
{
	return clump_struct.type == format::type_struct && clump_struct.size == format::clump_struct_long &&
	       !clump_struct.cut_off && format::decode_stamp(clump_struct.stamp).version < format::version_3_3;
}

namespace checks {

void Findings::add(Severity severity, const std::string& path, std::uint64_t offset, std::string text)
{
	list.push_back({severity, path, offset, std::move(text)});
}

std::string hex(std::uint32_t v)
{
	char text[16];
	std::snprintf(text, sizeof text, "0x%08X", unsigned(v));
	return text;
}

std::string stamp_text(std::uint32_t stamp)
{
	return hex(stamp) + " (" + format::version_text(format::decode_stamp(stamp).version) + ")";
}

std::string n(std::uint64_t v)
{
	return std::to_string(v);
}

// One pass, however many siblings.
std::vector<std::string> child_paths(const std::string& parent, const std::vector<Chunk>& siblings)
{
	std::map<std::uint32_t, std::size_t> total, seen;
	for (const Chunk& c : siblings)
		total[c.type]++;
	std::vector<std::string> paths;
	paths.reserve(siblings.size());
	for (const Chunk& c : siblings) {
		std::string label = format::chunk_type_label(c.type);
		const std::size_t place = seen[c.type]++;
		if (total[c.type] > 1)
			label += "[" + n(place) + "]";
		paths.push_back(parent.empty() ? label : parent + "/" + label);
	}
	return paths;
}

std::optional<std::uint32_t> struct_count(const Chunk& parent)
{
	const Chunk* s = find_child(parent, format::type_struct);
	if (!s || !fits(s->body.size(), format::list_count_at, 4))
		return std::nullopt;
	return load_u32(s->body, format::list_count_at);
}

} // namespace checks

namespace {

using namespace checks;

// Where the chunks whose stamp differs from the stream's were first met.
struct StampSeen {
	std::string path;
	std::uint64_t offset = 0;
	std::uint64_t count = 0;
};

// Sizes that disagree with the parent or the children.
void check_sizes(Findings& findings, const Chunk& c, const std::string& path, const Chunk* parent)
{
	// Inside a chunk that is itself cut off, the end of the data is
	// already reported.
	if (c.cut_off && !(parent && parent->cut_off))
		findings.add(Severity::error, path, c.offset,
		             "size " + n(c.size) + " reaches " + n(std::uint64_t(c.size) - c.body.size()) +
		                 " bytes past the end of " +
		                 (parent ? "its " + format::chunk_type_label(parent->type) : "the stream"));
	if (c.trailing > 0)
		findings.add(Severity::error, path, c.offset + format::chunk_header_size + c.body.size() - c.trailing,
		             "the last " + n(c.trailing) + " bytes of the body are not a chunk: the children take " +
		                 n(c.body.size() - c.trailing) + " of its " + n(c.body.size()) + " bytes");
	if (c.depth_limited)
		findings.add(Severity::warning, path, c.offset,
		             "nested more than " + n(max_depth) + " chunks deep; not looked into");
}

// The checks of a chunk's own type.
void check_by_type(Findings& findings, const Chunk& c, const std::string& path)
{
	switch (c.type) {
	case format::type_clump: check_clump(findings, c, path); break;
	case format::type_frame_list: check_frame_list(findings, c, path); break;
	case format::type_geometry_list: check_list_count(findings, c, path, format::type_geometry, "geometry"); break;
	case format::type_material_list: check_material_list(findings, c, path); break;
	case format::type_geometry: check_geometry(findings, c, path); break;
	case format::type_texture_dictionary: check_dictionary(findings, c, path); break;
	case format::type_texture_native: check_texture_native(findings, c, path); break;
	default: break;
	}
}

// The walk: every chunk, parents before children, each checked for its
// type, sizes and stamp; the stamps that differ are told once each at the end.
class Walk {
public:
	Walk(bytes stream, CheckReport& report) : report_(report), findings_{stream, report.findings} {}

	void run(const Tree& tree)
	{
		if (findings_.stream.empty()) {
			findings_.add(Severity::error, "", 0, "the stream is empty");
			return;
		}
		if (!tree.top.empty())
			report_.stamp = tree.top[0].stamp;
		const std::vector<std::string> paths = child_paths("", tree.top);
		for (std::size_t i = 0; i < tree.top.size(); i++)
			visit(tree.top[i], paths[i], nullptr);
		if (tree.trailing > 0)
			findings_.add(Severity::error, "", findings_.stream.size() - tree.trailing,
			              n(tree.trailing) + " bytes after the last chunk are not a chunk");
		report_stamps();
	}

private:
	void visit(const Chunk& c, const std::string& path, const Chunk* parent)
	{
		report_.chunks++;
		check_type(c, path, parent);
		note_stamp(c, path);
		check_sizes(findings_, c, path, parent);
		check_by_type(findings_, c, path);
		const std::vector<std::string> paths = child_paths(path, c.children);
		for (std::size_t i = 0; i < c.children.size(); i++)
			visit(c.children[i], paths[i], &c);
	}

	// Unknown types are plugin data inside an Extension; anywhere else a
	// reader meets them where it expects one of its own chunks.
	void check_type(const Chunk& c, const std::string& path, const Chunk* parent)
	{
		if (format::chunk_type_name(c.type))
			return;
		report_.unknown_chunks++;
		if (!parent)
			findings_.add(Severity::warning, path, c.offset, "unknown chunk type at the top of the stream");
		else if (parent->type != format::type_extension)
			findings_.add(Severity::warning, path, c.offset,
			              "unknown chunk type directly in a " + format::chunk_type_label(parent->type));
	}

	void note_stamp(const Chunk& c, const std::string& path)
	{
		if (c.stamp == report_.stamp)
			return;
		StampSeen& seen = stamps_[c.stamp];
		if (seen.count++ == 0) {
			seen.path = path;
			seen.offset = c.offset;
		}
	}

	void report_stamps()
	{
		for (const auto& [stamp, seen] : stamps_)
			findings_.add(Severity::warning, seen.path, seen.offset,
			              "stamp " + stamp_text(stamp) + " differs from the stream's " + stamp_text(report_.stamp) +
			                  " (" + n(seen.count) + " chunk" + (seen.count == 1 ? "" : "s") + ", the first here)");
	}

	CheckReport& report_;
	Findings findings_;
	std::map<std::uint32_t, StampSeen> stamps_;
};

} // namespace

CheckReport check_stream(bytes stream, const Tree& tree)
{
	CheckReport report;
	Walk(stream, report).run(tree);
	return report;
}

} // namespace kestrun::kit
