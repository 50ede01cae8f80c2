#include "kit/fix.h"

#include "kit/check.h"

#include <algorithm>
#include <map>

namespace kestrun::kit {

namespace {

using namespace stream;

struct Plan {
	std::map<std::uint64_t, std::uint32_t> shrink; // size field offset -> bytes to take off
	std::vector<std::uint64_t> removals;           // 8 bytes each, in stream order
	std::vector<FixNote> notes;
};

void plan_clump(const Chunk& clump, const std::vector<const Chunk*>& ancestors, Plan& plan)
{
	const Chunk* s = find_child(clump, type_struct);
	if (!s || !clump_struct_outruns_its_stamp(*s))
		return;
	const std::uint32_t lights = load_u32(s->body, 4), cameras = load_u32(s->body, 8);
	if (lights != 0 || cameras != 0) {
		plan.notes.push_back({clump.offset, false,
		                      "left as it is: the clump has " + std::to_string(lights) + " light(s) and " +
		                          std::to_string(cameras) + " camera(s), which the 4-byte form cannot hold"});
		return;
	}
	// A size that runs past its parent cannot be corrected with confidence.
	for (const Chunk* a : ancestors)
		if (a->cut_off) {
			plan.notes.push_back({clump.offset, false, "left as it is: an enclosing chunk runs past its parent"});
			return;
		}
	plan.shrink[s->offset + 4] += 8;
	for (const Chunk* a : ancestors)
		plan.shrink[a->offset + 4] += 8;
	plan.removals.push_back(s->offset + 12 + 4);
	plan.notes.push_back({clump.offset, true,
	                      "Struct at offset " + std::to_string(s->offset) +
	                          " shrunk from 12 to 4 bytes (no lights or cameras); " +
	                          std::to_string(ancestors.size()) + " enclosing size(s) corrected"});
}

void plan_chunks(const std::vector<Chunk>& chunks, std::vector<const Chunk*>& ancestors, Plan& plan)
{
	for (const Chunk& c : chunks) {
		ancestors.push_back(&c);
		if (c.type == type_clump)
			plan_clump(c, ancestors, plan);
		plan_chunks(c.children, ancestors, plan);
		ancestors.pop_back();
	}
}

} // namespace

FixResult fix_clump_structs(bytes stream, const Tree& tree)
{
	Plan plan;
	std::vector<const Chunk*> ancestors;
	plan_chunks(tree.top, ancestors, plan);
	FixResult result;
	result.notes = std::move(plan.notes);
	if (plan.removals.empty())
		return result;

	std::sort(plan.removals.begin(), plan.removals.end());
	std::vector<std::uint8_t> work(stream.begin(), stream.end());
	for (const auto& [at, minus] : plan.shrink)
		store_u32(work, std::size_t(at), load_u32(work, std::size_t(at)) - minus);
	result.stream.reserve(work.size() - 8 * plan.removals.size());
	std::uint64_t from = 0;
	for (std::uint64_t at : plan.removals) {
		result.stream.insert(result.stream.end(), work.begin() + std::ptrdiff_t(from), work.begin() + std::ptrdiff_t(at));
		from = at + 8;
	}
	result.stream.insert(result.stream.end(), work.begin() + std::ptrdiff_t(from), work.end());
	return result;
}

} // namespace kestrun::kit
