#include "kit/check.h"
#include "kit/fix.h"

#include <map>
#include <optional>

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
	return clump_struct.type == format::type_struct && clump_struct.size == 12 && !clump_struct.cut_off &&
	       format::decode_stamp(clump_struct.stamp).version < format::version_3_3;
}

namespace {

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

// The paths of `siblings`: each one's type, with its place among siblings
// of that type when there are several. One pass, however many siblings.
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

// A count stored at the head of a container's Struct.
std::optional<std::uint32_t> struct_count(const Chunk& parent)
{
	const Chunk* s = find_child(parent, format::type_struct);
	if (!s || s->body.size() < 4)
		return std::nullopt;
	return load_u32(s->body, 0);
}

struct StampSeen {
	std::string path;
	std::uint64_t offset = 0;
	std::uint64_t count = 0;
};

class Checker {
public:
	Checker(bytes stream, CheckReport& report) : stream_(stream), report_(report) {}

	void run(const Tree& tree)
	{
		if (stream_.empty()) {
			add(Severity::error, "", 0, "the stream is empty");
			return;
		}
		if (!tree.top.empty())
			report_.stamp = tree.top[0].stamp;
		const std::vector<std::string> paths = child_paths("", tree.top);
		for (std::size_t i = 0; i < tree.top.size(); i++)
			visit(tree.top[i], paths[i], nullptr);
		if (tree.trailing > 0)
			add(Severity::error, "", stream_.size() - tree.trailing,
			    n(tree.trailing) + " bytes after the last chunk are not a chunk");
		for (const auto& [stamp, seen] : stamps_)
			add(Severity::warning, seen.path, seen.offset,
			    "stamp " + stamp_text(stamp) + " differs from the stream's " + stamp_text(report_.stamp) + " (" +
			        n(seen.count) + " chunk" + (seen.count == 1 ? "" : "s") + ", the first here)");
	}

private:
	void add(Severity severity, const std::string& path, std::uint64_t offset, std::string text)
	{
		report_.findings.push_back({severity, path, offset, std::move(text)});
	}

	void visit(const Chunk& c, const std::string& path, const Chunk* parent)
	{
		report_.chunks++;
		check_type(c, path, parent);
		if (c.stamp != report_.stamp) {
			StampSeen& seen = stamps_[c.stamp];
			if (seen.count++ == 0) {
				seen.path = path;
				seen.offset = c.offset;
			}
		}
		check_sizes(c, path, parent);
		switch (c.type) {
		case format::type_clump: check_clump(c, path); break;
		case format::type_frame_list: check_frame_list(c, path); break;
		case format::type_geometry_list: check_list_count(c, path, format::type_geometry, "geometry"); break;
		case format::type_material_list: check_material_list(c, path); break;
		case format::type_geometry: check_geometry(c, path); break;
		case format::type_texture_dictionary: check_dictionary_count(c, path); break;
		case format::type_texture_native: check_texture_native(stream_, c, path, report_.findings); break;
		default: break;
		}
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
			add(Severity::warning, path, c.offset, "unknown chunk type at the top of the stream");
		else if (parent->type != format::type_extension)
			add(Severity::warning, path, c.offset,
			    "unknown chunk type directly in a " + format::chunk_type_label(parent->type));
	}

	void check_sizes(const Chunk& c, const std::string& path, const Chunk* parent)
	{
		// Inside a chunk that is itself cut off, the end of the data is
		// already reported.
		if (c.cut_off && !(parent && parent->cut_off))
			add(Severity::error, path, c.offset,
			    "size " + n(c.size) + " reaches " + n(std::uint64_t(c.size) - c.body.size()) +
			        " bytes past the end of " + (parent ? "its " + format::chunk_type_label(parent->type) : "the stream"));
		if (c.trailing > 0)
			add(Severity::error, path, c.offset + 12 + c.body.size() - c.trailing,
			    "the last " + n(c.trailing) + " bytes of the body are not a chunk: the children take " +
			        n(c.body.size() - c.trailing) + " of its " + n(c.body.size()) + " bytes");
		if (c.depth_limited)
			add(Severity::warning, path, c.offset,
			    "nested more than " + n(max_depth) + " chunks deep; not looked into");
	}

	void check_clump(const Chunk& clump, const std::string& path)
	{
		const Chunk* s = find_child(clump, format::type_struct);
		const auto info = decode_clump(clump);
		if (!info) {
			add(Severity::error, path, clump.offset, "no Struct with the atomic count");
			return;
		}
		if (clump_struct_outruns_its_stamp(*s))
			add(Severity::warning, path + "/Struct", s->offset,
			    "12-byte Struct (light and camera counts) under stamp " + stamp_text(s->stamp) +
			        ", whose readers read 4 bytes here; `kestrun-kit fix` shrinks it");
		else if (info->struct_size == 4 && format::decode_stamp(s->stamp).version >= format::version_3_3)
			// The mirror case: from 3.3 on, readers read the light and camera
			// counts too, 8 bytes past this Struct.
			add(Severity::warning, path + "/Struct", s->offset,
			    "4-byte Struct under stamp " + stamp_text(s->stamp) +
			        ", whose readers read 12 bytes here (atomic, light and camera counts)");
		else if (info->struct_size != 4 && info->struct_size != 12)
			add(Severity::warning, path + "/Struct", s->offset,
			    "Struct of " + n(info->struct_size) + " bytes; 4 or 12 expected");
		check_list_count(clump, path, format::type_atomic, "atomic");

		const Chunk* frames = find_child(clump, format::type_frame_list);
		const Chunk* geometries = find_child(clump, format::type_geometry_list);
		const auto frame_count = frames ? struct_count(*frames) : std::nullopt;
		const auto geometry_count = geometries ? struct_count(*geometries) : std::nullopt;
		const std::vector<std::string> paths = child_paths(path, clump.children);
		for (std::size_t i = 0; i < clump.children.size(); i++) {
			const Chunk& a = clump.children[i];
			if (a.type != format::type_atomic)
				continue;
			const auto atomic = decode_atomic(a);
			const std::string& at = paths[i];
			if (!atomic) {
				add(Severity::error, at, a.offset, "no Struct with the frame and geometry indices");
				continue;
			}
			if (!frame_count || atomic->frame >= *frame_count)
				add(Severity::error, at, a.offset,
				    "frame " + n(atomic->frame) + " outside the " + n(frame_count.value_or(0)) + " frames");
			if (!geometry_count || atomic->geometry >= *geometry_count)
				add(Severity::error, at, a.offset,
				    "geometry " + n(atomic->geometry) + " outside the " + n(geometry_count.value_or(0)) +
				        " geometries");
		}
	}

	// The dictionary's texture count is a u16 beside the device id, so the
	// generic u32 count does not serve.
	void check_dictionary_count(const Chunk& dictionary, const std::string& path)
	{
		if (const std::string problem = dictionary_count_problem(dictionary); !problem.empty())
			add(Severity::error, path, dictionary.offset, problem);
		if (const auto device = stray_device_id(dictionary))
			add(Severity::warning, path, dictionary.offset, "device id " + n(*device) + " in a PC dictionary");
		// What a half-made conversion leaves: PC readers take the stamp's word.
		for (const Chunk* native : children_of_type(dictionary, format::type_texture_native))
			if (const auto header = decode_texture_native_header(*native);
			    header && header->platform == format::platform_console && format::is_version_3_1(native->stamp))
				add(Severity::warning, path, native->offset, "console texture in a PC-stamped dictionary");
	}

	// The count in `parent`'s Struct against its children of `type`.
	void check_list_count(const Chunk& parent, const std::string& path, std::uint32_t type, const char* what)
	{
		const auto count = struct_count(parent);
		if (!count) {
			add(Severity::error, path, parent.offset, std::string("no Struct with the ") + what + " count");
			return;
		}
		const std::size_t found = children_of_type(parent, type).size();
		if (found != *count)
			add(Severity::error, path, parent.offset,
			    std::string(what) + " count " + n(*count) + " but " + n(found) + " " + format::chunk_type_label(type) +
			        " chunks");
	}

	void check_frame_list(const Chunk& list, const std::string& path)
	{
		const Chunk* s = find_child(list, format::type_struct);
		const auto count = struct_count(list);
		if (!count) {
			add(Severity::error, path, list.offset, "no Struct with the frame count");
			return;
		}
		const std::uint64_t need = 4 + 56 * std::uint64_t(*count);
		if (s->body.size() != need) {
			add(Severity::error, path + "/Struct", s->offset,
			    "frame count " + n(*count) + " asks for a Struct of " + n(need) + " bytes, not " +
			        n(s->body.size()));
			return;
		}
		const std::size_t extensions = children_of_type(list, format::type_extension).size();
		if (extensions != *count)
			add(Severity::error, path, list.offset,
			    "frame count " + n(*count) + " but " + n(extensions) + " Extension chunks");
		for (std::uint32_t i = 0; i < *count; i++) {
			const std::size_t at = 4 + std::size_t(i) * 56 + 48;
			const std::int32_t parent = std::int32_t(load_u32(s->body, at));
			if (parent < -1 || parent >= std::int32_t(*count))
				add(Severity::error, path + "/Struct", offset_in(stream_, s->body) + at,
				    "frame " + n(i) + ": parent " + std::to_string(parent) + " outside the frames");
		}
	}

	void check_material_list(const Chunk& list, const std::string& path)
	{
		const Chunk* s = find_child(list, format::type_struct);
		const auto count = struct_count(list);
		if (!count) {
			add(Severity::error, path, list.offset, "no Struct with the material count");
			return;
		}
		const std::uint64_t need = 4 + 4 * std::uint64_t(*count);
		if (s->body.size() < need) {
			add(Severity::error, path + "/Struct", s->offset,
			    "material count " + n(*count) + " asks for a Struct of " + n(need) + " bytes, not " +
			        n(s->body.size()));
			return;
		}
		// Entries of -1 stand for a material of their own; others reuse one.
		std::size_t own = 0;
		for (std::uint32_t i = 0; i < *count; i++)
			if (load_u32(s->body, 4 + std::size_t(i) * 4) == 0xFFFFFFFFu)
				own++;
		const std::size_t found = children_of_type(list, format::type_material).size();
		if (found != own)
			add(Severity::error, path, list.offset,
			    "material count " + n(*count) + " with " + n(own) + " of their own but " + n(found) +
			        " Material chunks");
	}

	void check_geometry(const Chunk& geometry, const std::string& path)
	{
		const auto g = decode_geometry(geometry);
		const Chunk* s = find_child(geometry, format::type_struct);
		if (!g) {
			add(Severity::error, path, geometry.offset, "no Struct with the 16-byte geometry header");
			return;
		}
		const std::string struct_path = path + "/Struct";
		const bool native = g->native_flags != 0;
		if (native ? s->body.size() < g->expected_struct_size : s->size != g->expected_struct_size)
			add(Severity::error, struct_path, s->offset,
			    "size " + n(s->size) + (native ? " is less than the " : " but flags, texture sets, T, V and morph targets give ") +
			        n(g->expected_struct_size));

		const Chunk* materials = find_child(geometry, format::type_material_list);
		const auto material_count = materials ? struct_count(*materials) : std::nullopt;
		check_triangles(*g, struct_path, material_count);
		if (plan_triangle_materials(geometry))
			add(Severity::warning, struct_path, s->offset, "triangle materials disagree with the Bin Mesh");

		const Chunk* extension = find_child(geometry, format::type_extension);
		const Chunk* native_data = extension ? find_child(*extension, format::type_native_data) : nullptr;
		if (native != (native_data != nullptr))
			add(Severity::error, path, geometry.offset,
			    native ? "native flag set but no Native Data chunk" : "Native Data chunk but no native flag");
		if (!extension)
			return;
		const std::vector<std::string> paths = child_paths(path + "/Extension", extension->children);
		for (std::size_t i = 0; i < extension->children.size(); i++)
			if (extension->children[i].type == format::type_bin_mesh)
				check_bin_mesh(extension->children[i], paths[i], *g, material_count);
	}

	void check_triangles(const GeometryInfo& g, const std::string& path, std::optional<std::uint32_t> materials)
	{
		const bytes records = g.triangle_records;
		std::uint64_t past_v = 0, past_m = 0, first_v = 0, first_m = 0;
		for (std::size_t at = 0; at + 8 <= records.size(); at += 8) {
			const std::uint16_t v2 = load_u16(records, at), v1 = load_u16(records, at + 2);
			const std::uint16_t material = load_u16(records, at + 4), v3 = load_u16(records, at + 6);
			if ((v1 >= g.vertices || v2 >= g.vertices || v3 >= g.vertices) && past_v++ == 0)
				first_v = offset_in(stream_, records) + at;
			if (materials && material >= *materials && past_m++ == 0)
				first_m = offset_in(stream_, records) + at;
		}
		if (past_v > 0)
			add(Severity::error, path, first_v,
			    n(past_v) + " triangle(s) with a vertex index not below V = " + n(g.vertices) + ", the first here");
		if (past_m > 0)
			add(Severity::error, path, first_m,
			    n(past_m) + " triangle(s) with a material id not below the " + n(*materials) +
			        " materials, the first here");
	}

	void check_bin_mesh(const Chunk& bin, const std::string& path, const GeometryInfo& g,
	                    std::optional<std::uint32_t> materials)
	{
		const bool native = g.native_flags != 0;
		const auto info = decode_bin_mesh(bin, native);
		if (!info) {
			add(Severity::error, path, bin.offset, "body shorter than its 12-byte header");
			return;
		}
		const std::uint32_t flag = info->flag & 0xFF;
		if (flag > 1)
			add(Severity::error, path, bin.offset, "flag " + hex(info->flag) + " is neither list (0) nor strip (1)");
		else if (info->flag != flag)
			add(Severity::warning, path, bin.offset,
			    "flag word " + hex(info->flag) + ": bits above list (0) or strip (1)");
		if (!info->complete)
			add(Severity::error, path, bin.offset,
			    "the body ends inside mesh " + n(info->meshes.size()) + " of " + n(info->mesh_count));
		else if (info->end != bin.body.size())
			add(Severity::warning, path, bin.offset + 12 + info->end,
			    n(bin.body.size() - info->end) + " bytes after the last mesh");

		std::uint64_t total = 0;
		for (std::size_t k = 0; k < info->meshes.size(); k++) {
			const BinMeshMesh& mesh = info->meshes[k];
			total += mesh.index_count;
			const std::string at = "mesh " + n(k) + ": ";
			// The converter reads only the low byte of a console record's material.
			const std::uint32_t material = native ? mesh.material & 0xFF : mesh.material;
			if (materials && material >= *materials)
				add(Severity::error, path, bin.offset,
				    at + "material " + n(mesh.material) + " not below the " + n(*materials) + " materials");
			if (!native && flag == 0 && mesh.index_count % 3 != 0)
				add(Severity::warning, path, bin.offset,
				    at + "list of " + n(mesh.index_count) + " indices, not a multiple of 3");
			std::uint64_t past = 0;
			for (std::uint32_t index : mesh.indices)
				if (index >= g.vertices)
					past++;
			if (past > 0)
				add(Severity::error, path, bin.offset,
				    at + n(past) + " index(es) not below V = " + n(g.vertices));
		}
		if (info->complete && total != info->index_total)
			add(Severity::error, path, bin.offset,
			    "index total " + n(info->index_total) + " but the meshes hold " + n(total));
	}

	bytes stream_;
	CheckReport& report_;
	std::map<std::uint32_t, StampSeen> stamps_;
};

} // namespace

CheckReport check_stream(bytes stream, const Tree& tree)
{
	CheckReport report;
	Checker(stream, report).run(tree);
	return report;
}

} // namespace kestrun::kit
