// The chunk tree: the bounds-safe parse.
#include "stream/stream.h"

#include <cstdio>

namespace kestrun::stream {

namespace {

struct Header {
	std::uint32_t type, size, stamp;
};

Header load_header(bytes stream, std::uint64_t pos)
{
	return {load_u32(stream, pos + format::chunk_type_at), load_u32(stream, pos + format::chunk_size_at),
	        load_u32(stream, pos + format::chunk_stamp_at)};
}

// A whole chunk with `stamp` starts at `pos` and ends by `end`.
bool plausible_chunk_at(bytes stream, std::uint64_t pos, std::uint64_t end, std::uint32_t stamp)
{
	if (!fits(end, pos, format::chunk_header_size))
		return false;
	const Header h = load_header(stream, pos);
	return h.stamp == stamp && fits(end, pos + format::chunk_header_size, h.size);
}

// The console keeps 16 bytes after a geometry's Native Data chunk that are
// not a chunk. They are stepped over only when what stands there is not a
// chunk and what follows them is the end of the body or a chunk.
bool console_gap_at(bytes stream, std::uint64_t pos, std::uint64_t end, std::uint32_t stamp)
{
	constexpr std::uint64_t gap = format::native_data_tail;
	if (!fits(end, pos, gap) || plausible_chunk_at(stream, pos, end, stamp))
		return false;
	return end - pos == gap || plausible_chunk_at(stream, pos + gap, end, stamp);
}

void parse_body(bytes stream, Chunk& parent, std::uint32_t grandparent, int depth);

// Parses the chunks from `begin` to `end` into `out`; returns the bytes
// left at the end that do not make a whole header.
std::uint64_t parse_chain(bytes stream, std::uint64_t begin, std::uint64_t end, std::uint32_t parent_type,
                          std::uint32_t grandparent_type, int depth, std::vector<Chunk>& out,
                          std::optional<std::uint64_t>* gap)
{
	std::uint64_t pos = begin;
	while (end - pos >= 12) {
		const Header h = load_header(stream, pos);
		Chunk c;
		c.offset = pos;
		c.type = h.type;
		c.size = h.size;
		c.stamp = h.stamp;
		const std::uint64_t body = pos + 12;
		const std::uint64_t available = end - body;
		c.cut_off = h.size > available;
		c.body = stream.subspan(body, c.cut_off ? available : h.size);
		parse_body(stream, c, parent_type, depth + 1);
		pos = body + c.body.size();
		const bool native_data = c.type == format::type_native_data && !c.cut_off;
		const std::uint32_t stamp = c.stamp;
		out.push_back(std::move(c));
		if (gap && native_data && parent_type == format::type_extension && grandparent_type == format::type_geometry &&
		    !*gap && console_gap_at(stream, pos, end, stamp)) {
			*gap = pos;
			pos += 16;
		}
	}
	return end - pos;
}

void parse_body(bytes stream, Chunk& parent, std::uint32_t grandparent, int depth)
{
	if (!format::holds_children(parent.type))
		return;
	if (depth >= max_depth) {
		parent.depth_limited = true;
		return;
	}
	const std::uint64_t begin = parent.offset + 12;
	parent.trailing = parse_chain(stream, begin, begin + parent.body.size(), parent.type, grandparent, depth,
	                              parent.children, &parent.console_gap);
}

} // namespace

Tree parse_tree(bytes stream)
{
	Tree tree;
	tree.trailing = parse_chain(stream, 0, stream.size(), 0, 0, 0, tree.top, nullptr);
	return tree;
}

const Chunk* find_child(const Chunk& parent, std::uint32_t type)
{
	for (const Chunk& c : parent.children)
		if (c.type == type)
			return &c;
	return nullptr;
}

std::vector<const Chunk*> children_of_type(const Chunk& parent, std::uint32_t type)
{
	std::vector<const Chunk*> found;
	for (const Chunk& c : parent.children)
		if (c.type == type)
			found.push_back(&c);
	return found;
}

} // namespace kestrun::stream
