#include "geometry/geometry.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace kestrun {

namespace {

// The walk assembles its output as it goes instead of copying the whole
// stream at every geometry. The working stream it walks is, at every moment,
// `out` (finished bytes, the rebuilt geometries among them) followed by the
// part of `in` from `rest` on (the restamped input not yet passed). Positions
// are those of that joined stream, as if every rebuild had copied it whole.
struct Assembly {
	mut_bytes in;
	std::vector<std::uint8_t> out;
	std::uint64_t rest = 0;
	std::vector<std::uint8_t> joined; // holds `in` after a join()

	std::uint64_t done() const { return out.size(); }
	std::uint64_t length() const { return out.size() + (in.size() - rest); }
	// Position in `in` of a position at or after done().
	std::uint64_t in_position(std::uint64_t p) const { return rest + (p - out.size()); }

	std::uint8_t& byte(std::uint64_t p) { return p < out.size() ? out[p] : in[in_position(p)]; }

	std::uint32_t load(std::uint64_t p)
	{
		std::uint8_t word[4] = {byte(p), byte(p + 1), byte(p + 2), byte(p + 3)};
		return load_u32(word, 0);
	}

	void store(std::uint64_t p, std::uint32_t v)
	{
		std::uint8_t word[4];
		store_u32(word, 0, v);
		for (std::uint64_t k = 0; k < 4; k++)
			byte(p + k) = word[k];
	}

	// Moves the bytes of `in` up to (not including) its position `end` to
	// the output.
	void pass(std::uint64_t end)
	{
		out.insert(out.end(), in.begin() + std::ptrdiff_t(rest), in.begin() + std::ptrdiff_t(end));
		rest = end;
	}

	// Moves the output's bytes from position `p` on back in front of the
	// rest of the input, into input bytes already passed. Cheap for the few
	// bytes of a header that begins just before the seam.
	void unpass(std::uint64_t p)
	{
		const std::uint64_t count = out.size() - p;
		assert(count <= rest);
		std::copy(out.begin() + std::ptrdiff_t(p), out.end(), in.begin() + std::ptrdiff_t(rest - count));
		out.resize(p);
		rest -= count;
	}

	// Joins the two parts into one again. Needed only when the walk turns
	// back into bytes it has already written out, which a well-formed stream
	// never makes it do.
	void join()
	{
		pass(in.size());
		joined = std::move(out);
		out = {};
		in = joined;
		rest = 0;
	}

	std::vector<std::uint8_t> finish()
	{
		pass(in.size());
		return std::move(out);
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

// Rebuilds the geometry whose header stands at `in` position `header`,
// appending it to the output. Returns the problem; on an unconverting one
// nothing has changed.
GeometryProblem rebuild_in_place(Assembly& a, std::uint64_t header, std::optional<std::uint64_t> list_size_at)
{
	const std::uint64_t geometry = a.done() + (header - a.rest);
	GeometryLayout g;
	if (GeometryProblem problem = plan_geometry(a.in, header, a.length(), g); problem != GeometryProblem::none)
		return problem;

	// Same corrections, in the same order, as a rebuild that copies the
	// whole stream, so damaged streams whose fields overlap come out alike.
	correct_geometry_sizes(a.in, g);
	const EnclosingSizes enclosing = enclosing_sizes(geometry, list_size_at);
	if (enclosing.list)
		a.store(*enclosing.list, a.load(*enclosing.list) + g.growth);
	if (enclosing.first)
		a.store(4, a.load(4) + g.growth);

	a.pass(header + 24);
	const std::uint64_t region = rebuilt_region_length(g);
	a.out.resize(a.out.size() + region);
	const std::uint64_t produced =
	    write_rebuilt_region(a.in, g, mut_bytes(a.out).subspan(a.out.size() - region, region));
	a.rest = g.native_data + g.removed;
	return produced > g.triangles ? GeometryProblem::records_dropped : GeometryProblem::none;
}

} // namespace

std::vector<std::uint8_t> walk_chunks(mut_bytes work, std::uint32_t target, std::vector<GeometryReport>& problems)
{
	Assembly a;
	a.in = work;
	// Converted models run to about 1.3 times their input; room for twice
	// that spares a reallocation, and untouched room costs no memory.
	a.out.reserve(2 * a.in.size());
	std::optional<std::uint64_t> list_size_at;
	// Rebuilds before the scan position shift everything after them; this
	// keeps reported offsets in the inflated stream's own terms.
	std::int64_t shift = 0;

	// A match at positions 0 to 7 has no room for a header in front of it.
	std::uint64_t i = 8;
	while (fits(a.length(), i, 4)) {
		if (i < a.done())
			a.join(); // a damaged size sent the walk back into finished bytes
		// Near the seam the header in front of a match may begin in the
		// output; elsewhere search the input directly.
		if (i >= a.done() + 8) {
			const std::uint64_t found = find_stamp(a.in, a.in_position(i), target);
			if (found == a.in.size())
				break;
			i = a.done() + (found - a.rest);
		} else if (a.load(i) != target) {
			i++;
			continue;
		}

		const std::uint64_t header = i - 8;
		const std::uint32_t type = a.load(header);
		if (type == chunk_geometry_list) {
			list_size_at = header + 4;
		} else if (type == chunk_geometry) {
			// A header that begins in the output: at most 8 of its bytes
			// lie there, after a rebuild that passed far more.
			if (header < a.done())
				a.unpass(header);
			const std::uint64_t before = a.length();
			const GeometryProblem problem = rebuild_in_place(a, a.in_position(header), list_size_at);
			if (problem != GeometryProblem::none)
				problems.push_back({std::uint64_t(std::int64_t(header) - shift), problem});
			if (!leaves_geometry_unconverted(problem)) {
				shift += std::int64_t(a.length()) - std::int64_t(before);
				// Go on after the rebuilt Geometry; its own bytes are not
				// examined again. In 64 bits, so the walk always moves on.
				i = header + 12 + a.load(header + 4);
				continue;
			}
		}
		i++;
	}
	return a.finish();
}

} // namespace kestrun
