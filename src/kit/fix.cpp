#include "kit/fix.h"

#include "kit/check.h"

#include <algorithm>
#include <map>

namespace kestrun::kit {

namespace {

using namespace stream;

// What a 12-byte clump Struct loses to become the 4-byte form: the light
// and camera counts.
constexpr std::uint32_t clump_counts_size = std::uint32_t(format::clump_struct_long - format::clump_struct_short);

struct Plan {
	std::map<std::uint64_t, std::uint32_t> shrink;  // size field offset -> bytes to take off
	std::vector<std::uint64_t> removals;            // clump_counts_size bytes each, in stream order
	std::map<std::uint64_t, std::uint16_t> patches; // u16 fields rewritten in place
	std::vector<FixNote> notes;
};

void plan_clump(const Chunk& clump, const std::vector<const Chunk*>& ancestors, Plan& plan)
{
	const Chunk* s = find_child(clump, format::type_struct);
	if (!s || !clump_struct_outruns_its_stamp(*s))
		return;
	const std::uint32_t lights = load_u32(s->body, format::clump_lights_at),
	                    cameras = load_u32(s->body, format::clump_cameras_at);
	if (lights != 0 || cameras != 0) {
		plan.notes.push_back({clump.offset, format::type_clump, false, 0,
		                      "left as it is: the clump has " + std::to_string(lights) + " light(s) and " +
		                          std::to_string(cameras) + " camera(s), which the 4-byte form cannot hold"});
		return;
	}
	// A size that runs past its parent cannot be corrected with confidence.
	for (const Chunk* a : ancestors)
		if (a->cut_off) {
			plan.notes.push_back({clump.offset, format::type_clump, false, 0, "left as it is: an enclosing chunk runs past its parent"});
			return;
		}
	plan.shrink[s->offset + format::chunk_size_at] += clump_counts_size;
	for (const Chunk* a : ancestors)
		plan.shrink[a->offset + format::chunk_size_at] += clump_counts_size;
	plan.removals.push_back(s->offset + format::chunk_header_size + format::clump_lights_at);
	plan.notes.push_back({clump.offset, format::type_clump, true, clump_counts_size,
	                      "Struct at offset " + std::to_string(s->offset) +
	                          " shrunk from 12 to 4 bytes (no lights or cameras); " +
	                          std::to_string(ancestors.size()) + " enclosing size(s) corrected"});
}

void plan_geometry(const Chunk& geometry, bytes stream, Plan& plan)
{
	const std::optional<TriangleMaterialRepair> repair = plan_triangle_materials(geometry);
	if (!repair)
		return;
	if (!repair->problem.empty()) {
		plan.notes.push_back({geometry.offset, format::type_geometry, false, 0,
		                      "triangle materials left as they are: " + repair->problem});
		return;
	}
	const std::uint64_t records = offset_in(stream, repair->records);
	for (std::size_t k = 0; k < repair->materials.size(); k++)
		plan.patches[records + format::triangle_record_size * k + format::triangle_material_at] = repair->materials[k];
	plan.notes.push_back({geometry.offset, format::type_geometry, true, 0,
	                      std::to_string(repair->materials.size()) +
	                          " triangle material(s) taken from the Bin Mesh"});
}

void plan_dictionary(const Chunk& dictionary, Plan& plan)
{
	const std::optional<std::uint32_t> device = stray_device_id(dictionary);
	if (!device)
		return;
	const Chunk* s = find_child(dictionary, format::type_struct);
	plan.patches[s->offset + format::chunk_header_size + format::dictionary_device_at] = format::device_by_platform;
	plan.notes.push_back({dictionary.offset, format::type_texture_dictionary, true, 0,
	                      "device id " + std::to_string(*device) + " set to 0 (by each texture's platform)"});
}

void plan_chunks(const std::vector<Chunk>& chunks, bytes stream, std::vector<const Chunk*>& ancestors, Plan& plan)
{
	for (const Chunk& c : chunks) {
		ancestors.push_back(&c);
		if (c.type == format::type_clump)
			plan_clump(c, ancestors, plan);
		else if (c.type == format::type_geometry)
			plan_geometry(c, stream, plan);
		else if (c.type == format::type_texture_dictionary)
			plan_dictionary(c, plan);
		plan_chunks(c.children, stream, ancestors, plan);
		ancestors.pop_back();
	}
}

Plan plan_fix(bytes stream, const Tree& tree)
{
	Plan plan;
	std::vector<const Chunk*> ancestors;
	plan_chunks(tree.top, stream, ancestors, plan);
	std::sort(plan.removals.begin(), plan.removals.end());
	return plan;
}

bool changes(const Plan& plan)
{
	return !plan.removals.empty() || !plan.patches.empty();
}

// Patches and size corrections land at their planned offsets first; then
// the removed counts are closed up, each run of kept bytes moving forward.
void apply_fix(const Plan& plan, std::vector<std::uint8_t>& stream)
{
	for (const auto& [at, value] : plan.patches)
		store_u16(stream, std::size_t(at), value);
	for (const auto& [at, minus] : plan.shrink)
		store_u32(stream, std::size_t(at), load_u32(stream, std::size_t(at)) - minus);
	if (plan.removals.empty())
		return;
	// Bytes before the first removal stay where they are; each later run
	// moves to a place before its own start.
	const auto at = [&](std::uint64_t offset) { return stream.begin() + std::ptrdiff_t(offset); };
	auto to = at(plan.removals.front());
	for (std::size_t k = 0; k < plan.removals.size(); k++) {
		const std::uint64_t end = k + 1 < plan.removals.size() ? plan.removals[k + 1] : stream.size();
		to = std::copy(at(plan.removals[k] + clump_counts_size), at(end), to);
	}
	stream.erase(to, stream.end());
}

} // namespace

FixResult fix_stream(bytes stream, const Tree& tree)
{
	Plan plan = plan_fix(stream, tree);
	FixResult result;
	result.notes = std::move(plan.notes);
	if (!changes(plan))
		return result;
	result.stream.assign(stream.begin(), stream.end());
	apply_fix(plan, result.stream);
	return result;
}

std::vector<FixNote> fix_stream_in_place(std::vector<std::uint8_t>& stream, const Tree& tree)
{
	Plan plan = plan_fix(stream, tree);
	if (changes(plan))
		apply_fix(plan, stream);
	return std::move(plan.notes);
}

} // namespace kestrun::kit
