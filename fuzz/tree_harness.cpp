// The tree harness: kestrun-kit's loader, chunk tree, checks and fix.
#include "harness.h"

#include "kit/check.h"
#include "kit/fix.h"
#include "kit/load.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kestrun::fuzz {

namespace {

// Every finding points inside the stream (or at its end), every chunk
// lies inside its parent.
void check_tree(const std::vector<stream::Chunk>& chunks, std::uint64_t begin, std::uint64_t end)
{
	for (const stream::Chunk& c : chunks) {
		require(c.offset >= begin && fits(end, c.offset, 12 + c.body.size()), "a chunk outside its parent");
		require(c.cut_off == (c.body.size() < c.size), "cut_off disagrees with the body");
		check_tree(c.children, c.offset + 12, c.offset + 12 + c.body.size());
	}
}

kit::CheckReport check_all(bytes s)
{
	const stream::Tree tree = stream::parse_tree(s);
	check_tree(tree.top, 0, s.size());
	kit::CheckReport report = kit::check_stream(s, tree);
	for (const kit::Finding& f : report.findings)
		require(f.offset <= s.size(), "a finding past the end of the stream");
	return report;
}

} // namespace

int tree_entry(const std::uint8_t* data, std::size_t size)
{
	kit::LoadedFile file;
	std::string error;
	if (!kit::load_bytes("fuzz", bytes(data, size), file, error, true))
		return 0;
	const bytes s = file.stream;
	check_all(s);
	const kit::FixResult fixed = kit::fix_stream(s, stream::parse_tree(s));
	if (fixed.changed()) {
		std::size_t removed = 0;
		for (const kit::FixNote& note : fixed.notes)
			removed += note.removed;
		require(fixed.stream.size() + removed == s.size(), "the fix removed other than 8 bytes per shrunk clump");
		check_all(fixed.stream);
		require(!kit::fix_stream(fixed.stream, stream::parse_tree(fixed.stream)).changed(),
		        "a fixed stream needs fixing again");
	}
	// convert's fix, in the stream's own buffer, must make the same bytes.
	std::vector<std::uint8_t> in_place(s.begin(), s.end());
	const stream::Tree tree = stream::parse_tree(in_place);
	kit::fix_stream_in_place(in_place, tree);
	require(fixed.changed() ? in_place == fixed.stream : std::equal(s.begin(), s.end(), in_place.begin(), in_place.end()),
	        "the fix in place differs");
	return 0;
}

} // namespace kestrun::fuzz
