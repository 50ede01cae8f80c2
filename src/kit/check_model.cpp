// Checks of the model's lists: the Clump's Struct and its atomics, and the
// counts and records of the frame, geometry and material lists.
#include "kit/check_parts.h"

namespace kestrun::kit::checks {

using namespace stream;

namespace {

// The Clump Struct's size against what readers of its stamp read.
void check_clump_struct(Findings& findings, const Chunk& s, const std::string& path, std::uint64_t struct_size)
{
	if (clump_struct_outruns_its_stamp(s))
		findings.add(Severity::warning, path, s.offset,
		             "12-byte Struct (light and camera counts) under stamp " + stamp_text(s.stamp) +
		                 ", whose readers read 4 bytes here; `kestrun-kit fix` shrinks it");
	else if (struct_size == format::clump_struct_short && format::decode_stamp(s.stamp).version >= format::version_3_3)
		// The mirror case: from 3.3 on, readers read the light and camera
		// counts too, 8 bytes past this Struct.
		findings.add(Severity::warning, path, s.offset,
		             "4-byte Struct under stamp " + stamp_text(s.stamp) +
		                 ", whose readers read 12 bytes here (atomic, light and camera counts)");
	else if (struct_size != format::clump_struct_short && struct_size != format::clump_struct_long)
		findings.add(Severity::warning, path, s.offset,
		             "Struct of " + n(struct_size) + " bytes; 4 or 12 expected");
}

// Each atomic's frame and geometry against the lists' counts.
void check_atomics(Findings& findings, const Chunk& clump, const std::string& path)
{
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
			findings.add(Severity::error, at, a.offset, "no Struct with the frame and geometry indices");
			continue;
		}
		if (!frame_count || atomic->frame >= *frame_count)
			findings.add(Severity::error, at, a.offset,
			             "frame " + n(atomic->frame) + " outside the " + n(frame_count.value_or(0)) + " frames");
		if (!geometry_count || atomic->geometry >= *geometry_count)
			findings.add(Severity::error, at, a.offset,
			             "geometry " + n(atomic->geometry) + " outside the " + n(geometry_count.value_or(0)) +
			                 " geometries");
	}
}

// Every frame's chain of parents must end at a root (parent -1); a reader
// walking one that comes back to a frame on it never ends. Each frame is
// walked once: a chain stops at a frame already known to end at a root.
// Parents outside the frames are reported on their own and end a chain.
void check_parent_chains(Findings& findings, const Chunk& s, const std::string& path, std::uint32_t count)
{
	enum : std::uint8_t { unseen, on_chain, ends };
	const auto parent_at = [&](std::uint32_t i) {
		return format::frame_records_at + std::size_t(i) * format::frame_record_size + format::frame_parent_at;
	};
	std::vector<std::uint8_t> state(count, unseen);
	std::vector<std::uint32_t> chain;
	for (std::uint32_t i = 0; i < count; i++) {
		chain.clear();
		std::int64_t f = i;
		while (f >= 0 && f < std::int64_t(count) && state[std::size_t(f)] == unseen) {
			state[std::size_t(f)] = on_chain;
			chain.push_back(std::uint32_t(f));
			f = std::int32_t(load_u32(s.body, parent_at(std::uint32_t(f))));
		}
		if (f >= 0 && f < std::int64_t(count) && state[std::size_t(f)] == on_chain)
			findings.add(Severity::error, path + "/Struct", offset_in(findings.stream, s.body) + parent_at(std::uint32_t(f)),
			             "frame " + n(std::uint64_t(f)) + ": its parent chain loops");
		for (std::uint32_t c : chain)
			state[c] = ends;
	}
}

} // namespace

void check_clump(Findings& findings, const Chunk& clump, const std::string& path)
{
	const auto info = decode_clump(clump);
	if (!info) {
		findings.add(Severity::error, path, clump.offset, "no Struct with the atomic count");
		return;
	}
	check_clump_struct(findings, *find_child(clump, format::type_struct), path + "/Struct", info->struct_size);
	check_list_count(findings, clump, path, format::type_atomic, "atomic");
	check_atomics(findings, clump, path);
}

void check_list_count(Findings& findings, const Chunk& parent, const std::string& path, std::uint32_t type,
                      const char* what)
{
	const auto count = struct_count(parent);
	if (!count) {
		findings.add(Severity::error, path, parent.offset, std::string("no Struct with the ") + what + " count");
		return;
	}
	const std::size_t found = children_of_type(parent, type).size();
	if (found != *count)
		findings.add(Severity::error, path, parent.offset,
		             std::string(what) + " count " + n(*count) + " but " + n(found) + " " +
		                 format::chunk_type_label(type) + " chunks");
}

void check_frame_list(Findings& findings, const Chunk& list, const std::string& path)
{
	const Chunk* s = find_child(list, format::type_struct);
	const auto count = struct_count(list);
	if (!count) {
		findings.add(Severity::error, path, list.offset, "no Struct with the frame count");
		return;
	}
	const std::uint64_t need = format::frame_records_at + format::frame_record_size * std::uint64_t(*count);
	if (s->body.size() != need) {
		findings.add(Severity::error, path + "/Struct", s->offset,
		             "frame count " + n(*count) + " asks for a Struct of " + n(need) + " bytes, not " +
		                 n(s->body.size()));
		return;
	}
	const std::size_t extensions = children_of_type(list, format::type_extension).size();
	if (extensions != *count)
		findings.add(Severity::error, path, list.offset,
		             "frame count " + n(*count) + " but " + n(extensions) + " Extension chunks");
	for (std::uint32_t i = 0; i < *count; i++) {
		const std::size_t at = format::frame_records_at + std::size_t(i) * format::frame_record_size +
		                       format::frame_parent_at;
		const std::int32_t parent = std::int32_t(load_u32(s->body, at));
		if (parent < -1 || parent >= std::int32_t(*count))
			findings.add(Severity::error, path + "/Struct", offset_in(findings.stream, s->body) + at,
			             "frame " + n(i) + ": parent " + std::to_string(parent) + " outside the frames");
	}
	check_parent_chains(findings, *s, path, *count);
}

void check_material_list(Findings& findings, const Chunk& list, const std::string& path)
{
	const Chunk* s = find_child(list, format::type_struct);
	const auto count = struct_count(list);
	if (!count) {
		findings.add(Severity::error, path, list.offset, "no Struct with the material count");
		return;
	}
	const std::uint64_t need = format::material_slots_at + format::material_slot_size * std::uint64_t(*count);
	if (s->body.size() < need) {
		findings.add(Severity::error, path + "/Struct", s->offset,
		             "material count " + n(*count) + " asks for a Struct of " + n(need) + " bytes, not " +
		                 n(s->body.size()));
		return;
	}
	// Slots of their own stand for a material each; others reuse one.
	std::size_t own = 0;
	for (std::uint32_t i = 0; i < *count; i++)
		if (load_u32(s->body, format::material_slots_at + std::size_t(i) * format::material_slot_size) ==
		    format::own_material)
			own++;
	const std::size_t found = children_of_type(list, format::type_material).size();
	if (found != own)
		findings.add(Severity::error, path, list.offset,
		             "material count " + n(*count) + " with " + n(own) + " of their own but " + n(found) +
		                 " Material chunks");
}

} // namespace kestrun::kit::checks
