#include "geometry/steps.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace kestrun {

namespace {

// A chunk that may take size changes, and the correction it has taken.
struct Enclosure {
	ChunkExtent extent;
	bool resolved = false;                 // whether `correction` has been decided
	std::optional<std::size_t> correction{}; // index into Walk::corrections; none: not correctable
};

// A size field of the output and the change, summed with 32-bit
// wrap-around, that it takes once the walk is done.
struct Correction {
	std::uint64_t at;
	std::uint32_t change;
};

// The walk's state. `output` holds the converted form of input[0, passed):
// the input copied as it is, with each rebuilt Geometry in place of the
// native one. Positions are input positions throughout; the output is
// appended to (but for the few bytes unpass() takes back), and the size
// corrections of the enclosing chunks wait until the end.
struct Walk {
	mut_bytes input;
	std::vector<std::uint8_t> output;
	std::uint64_t passed = 0;
	std::optional<Enclosure> list; // the Geometry List met last
	std::optional<Enclosure> top;  // the top-level chunk the walk is in, if any
	std::vector<Correction> corrections;
	std::vector<GeometryReport>& problems;

	Walk(mut_bytes in, std::vector<GeometryReport>& reports) : input(in), problems(reports) {}

	void pass(std::uint64_t end)
	{
		output.insert(output.end(), input.begin() + std::ptrdiff_t(passed), input.begin() + std::ptrdiff_t(end));
		passed = end;
	}

	// A header that begins in the last bytes of a rebuilt Geometry: those
	// bytes go back into the input, in place of the native ones they
	// replaced, so that the header is read as the converted stream holds
	// it. Never more than the 8 bytes in front of a match.
	void unpass(std::uint64_t header)
	{
		const std::uint64_t count = passed - header;
		assert(count <= 8 && count <= output.size());
		// The top-level chain is followed through the input as it was.
		advance_top(passed);
		std::copy(output.end() - std::ptrdiff_t(count), output.end(), input.begin() + std::ptrdiff_t(header));
		output.resize(output.size() - count);
		passed = header;
	}

	// The top-level chunks are a chain from offset 0, each next one where
	// the one before ends, while a whole header fits. Moves on to the first
	// that ends after `position`.
	void advance_top(std::uint64_t position)
	{
		while (top && top->extent.end <= position)
			top = chunk_at(top->extent.end);
	}

	std::optional<Enclosure> chunk_at(std::uint64_t header) const
	{
		if (!fits(input.size(), header, format::chunk_header_size))
			return std::nullopt;
		return Enclosure{
		    {header, header + format::chunk_header_size + std::uint64_t(load_u32(input, header + format::chunk_size_at))}};
	}

	// Adds `change` to the size of the chunk, once the walk is done. Its size
	// field can be corrected only while its header is still to be copied as
	// it is; a header that a rebuild has taken is not.
	void correct(Enclosure& chunk, std::uint32_t change)
	{
		if (!chunk.resolved) {
			chunk.resolved = true;
			if (chunk.extent.header >= passed) {
				chunk.correction = corrections.size();
				corrections.push_back({output.size() + (chunk.extent.header + format::chunk_size_at - passed), 0});
			}
		}
		if (chunk.correction)
			corrections[*chunk.correction].change += change;
	}

	// Plans the Geometry at `header` and rebuilds it or reports why not.
	// Returns where the rebuilt Geometry ends in the input, or nothing when
	// it stays as it is.
	std::optional<std::uint64_t> convert_geometry(std::uint64_t header)
	{
		const std::uint64_t stream_length = output.size() + (input.size() - passed);
		GeometryPlan plan;
		const PlanResult result = plan_geometry(input, header, stream_length, plan);
		if (result.outcome == PlanOutcome::unfit)
			problems.push_back({header, result.problem});
		if (result.outcome != PlanOutcome::rebuild)
			return std::nullopt;
		if (plan.morph_targets != 1)
			problems.push_back({header, GeometryProblem::morph_target_count, plan.morph_targets});

		advance_top(header);
		plan.enclosing = enclosing_chunks(header, plan.geometry_end, list ? std::optional(list->extent) : std::nullopt,
		                                  top ? std::optional(top->extent) : std::nullopt);
		if (plan.enclosing.list)
			correct(*list, plan.growth);
		if (plan.enclosing.top)
			correct(*top, plan.growth);

		pass(header);
		const std::uint64_t produced = rebuild_geometry(plan, input, output);
		passed = plan.geometry_end;
		if (produced > plan.triangles)
			problems.push_back({header, GeometryProblem::records_dropped});
		return plan.geometry_end;
	}

	std::vector<std::uint8_t> finish()
	{
		pass(input.size());
		for (const Correction& c : corrections)
			store_u32(output, c.at, load_u32(output, c.at) + c.change);
		return std::move(output);
	}
};

// First position at or after `from` in `in` where the four bytes of `stamp`
// stand, or in.size() when there is none.
std::uint64_t find_stamp(bytes in, std::uint64_t from, std::uint32_t stamp)
{
	std::uint8_t pattern[4];
	store_u32(pattern, 0, stamp);
	const std::uint8_t* base = in.data();
	const std::uint8_t* p = base + from;
	const std::uint8_t* const last = base + in.size() - std::min<std::size_t>(in.size(), 3);
	while (p < last) {
		p = static_cast<const std::uint8_t*>(std::memchr(p, pattern[0], std::size_t(last - p)));
		if (!p)
			break;
		if (std::memcmp(p, pattern, 4) == 0)
			return std::uint64_t(p - base);
		p++;
	}
	return in.size();
}

} // namespace

std::vector<std::uint8_t> walk_chunks(mut_bytes input, std::uint32_t target, std::vector<GeometryReport>& problems)
{
	Walk w(input, problems);
	// Converted models run to about 1.3 times their input; room for twice
	// that spares a reallocation, and untouched room costs no memory.
	w.output.reserve(2 * input.size());
	w.top = w.chunk_at(0);

	// A match at positions 0 to 7 has no room for a header in front of it.
	std::uint64_t i = format::chunk_stamp_at;
	while (fits(input.size(), i, 4)) {
		i = find_stamp(input, i, target);
		if (i == input.size())
			break;
		const std::uint64_t header = i - format::chunk_stamp_at;
		if (header < w.passed)
			w.unpass(header);
		const std::uint32_t type = load_u32(input, header);
		if (type == format::type_geometry_list) {
			w.list = w.chunk_at(header);
		} else if (type == format::type_geometry) {
			// Go on after a rebuilt Geometry; its own bytes are not
			// examined again.
			if (const std::optional<std::uint64_t> end = w.convert_geometry(header)) {
				i = *end;
				continue;
			}
		}
		i++;
	}
	return w.finish();
}

} // namespace kestrun
