// Console texture dictionaries to PC ones.
#include "texture/native_chunk.h"
#include "texture/swizzle.h"
#include "texture/texture.h"

#include <map>

namespace kestrun::texture {

namespace {

using buffer = std::vector<std::uint8_t>;

std::uint8_t pc_compression(Encoding encoding)
{
	switch (encoding) {
	case Encoding::dxt1: return pc_dxt1;
	case Encoding::dxt3: return pc_dxt3;
	case Encoding::dxt5: return pc_dxt5;
	default: return 0;
	}
}

void append(buffer& out, bytes b)
{
	out.insert(out.end(), b.begin(), b.end());
}

void append_u32(buffer& out, std::uint32_t v)
{
	const std::size_t at = out.size();
	out.resize(at + 4);
	store_u32(out, at, v);
}

// The console packs the first texel of a PAL4 pair in the low nibble, the
// PC in the high one.
buffer swap_nibbles(buffer pairs)
{
	for (std::uint8_t& pair : pairs)
		pair = std::uint8_t(pair << 4 | pair >> 4);
	return pairs;
}

// The PC Struct body of a console texture read by read_native.
buffer pc_struct_body(const NativeTexture& t)
{
	buffer out;
	append_u32(out, platform_pc);
	append_u32(out, t.filter_word);
	append(out, t.name_field);
	append(out, t.mask_field);
	append_u32(out, t.raster_format);
	append_u32(out, t.alpha);
	out.resize(out.size() + 4);
	store_u16(out, out.size() - 4, t.width);
	store_u16(out, out.size() - 2, t.height);
	out.push_back(t.depth);
	out.push_back(t.level_count);
	out.push_back(t.raster_type);
	out.push_back(pc_compression(t.encoding));
	// Console palette entries are B, G, R, A; the PC's are R, G, B, A.
	for (std::size_t i = 0; i + 4 <= t.palette.size(); i += 4) {
		out.push_back(t.palette[i + 2]);
		out.push_back(t.palette[i + 1]);
		out.push_back(t.palette[i]);
		out.push_back(t.palette[i + 3]);
	}
	const bool compressed = t.encoding == Encoding::dxt1 || t.encoding == Encoding::dxt3 || t.encoding == Encoding::dxt5;
	for (std::uint32_t i = 0; i < t.levels.size(); i++) {
		append_u32(out, std::uint32_t(t.levels[i].size()));
		if (compressed)
			append(out, t.levels[i]);
		else if (t.encoding == Encoding::pal4)
			append(out, swap_nibbles(unswizzle(t.levels[i], level_side(t.width, i), level_side(t.height, i), t.depth)));
		else
			append(out, unswizzle(t.levels[i], level_side(t.width, i), level_side(t.height, i), t.depth));
	}
	return out;
}

std::string at(const stream::Chunk& c)
{
	return format::chunk_type_label(c.type) + " at offset " + std::to_string(c.offset);
}

// The first damage in the chunk structure under `c`, or empty. A container
// chunk with a body but no children is either all trailing bytes or past
// the reader's depth limit; either way it cannot be rebuilt.
std::string structure_damage(const stream::Chunk& c)
{
	if (c.cut_off)
		return at(c) + ": size " + std::to_string(c.size) + " reaches past its parent or the file";
	if (c.depth_limited)
		return at(c) + ": nesting deeper than " + std::to_string(stream::max_depth) + " levels";
	if (!format::holds_children(c.type))
		return {};
	if (c.trailing != 0 || (c.children.empty() && !c.body.empty()))
		return at(c) + ": " + std::to_string(c.trailing != 0 ? c.trailing : c.body.size()) +
		       " bytes at the end of its body are not a whole chunk";
	for (const stream::Chunk& child : c.children)
		if (std::string d = structure_damage(child); !d.empty())
			return d;
	return {};
}

// Writes `c` with the PC stamp and its size recomputed; a Struct listed in
// `replaced` gets the new body. False when a size no longer fits 32 bits.
bool emit(const stream::Chunk& c, const std::map<const stream::Chunk*, buffer>& replaced, buffer& out)
{
	const std::size_t start = out.size();
	append_u32(out, c.type);
	append_u32(out, 0);
	append_u32(out, format::pc_stamp);
	if (auto r = replaced.find(&c); r != replaced.end())
		append(out, r->second);
	else if (format::holds_children(c.type)) {
		for (const stream::Chunk& child : c.children)
			if (!emit(child, replaced, out))
				return false;
	} else
		append(out, c.body);
	const std::uint64_t size = out.size() - start - format::chunk_header_size;
	if (size > 0xFFFFFFFFu)
		return false;
	store_u32(out, start + format::chunk_size_at, std::uint32_t(size));
	return true;
}

DictionaryResult failed(std::string error)
{
	DictionaryResult r;
	r.error = std::move(error);
	return r;
}

} // namespace

std::string texture_native_problem(const stream::Chunk& native)
{
	std::string error;
	const stream::Chunk* s = native_struct(native, error);
	if (s == nullptr)
		return error;
	NativeTexture t;
	ReadResult r = read_native(s->body, t);
	return r.problem == NativeProblem::none ? std::string() : native_problem_text(native, t, r);
}

// Plans the PC Struct of every console texture of `dictionary` and its
// device id into `replaced`; the texture count is added to `textures`.
// Empty, or what stops the conversion.
std::string plan_dictionary(const stream::Chunk& dictionary, std::map<const stream::Chunk*, buffer>& replaced,
                            std::uint32_t& textures)
{
	for (const stream::Chunk* native : stream::children_of_type(dictionary, format::type_texture_native)) {
		textures++;
		std::string error;
		const stream::Chunk* s = native_struct(*native, error);
		if (s == nullptr)
			return error;
		NativeTexture t;
		if (ReadResult r = read_native(s->body, t); r.problem != NativeProblem::none)
			return native_problem_text(*native, t, r);
		if (t.platform == platform_console)
			replaced.emplace(s, pc_struct_body(t));
	}
	return {};
}

// The console's device id makes PC readers look for a console decoder; 0
// lets them go by each texture's platform. The rest of the Struct stays.
void plan_device_id(const stream::Chunk& dictionary, std::map<const stream::Chunk*, buffer>& replaced)
{
	if (const stream::Chunk* head = stream::find_child(dictionary, format::type_struct); head && fits(head->body.size(), format::dictionary_device_at, 2)) {
		buffer body(head->body.begin(), head->body.end());
		store_u16(body, format::dictionary_device_at, pc_device_id);
		replaced.emplace(head, std::move(body));
	}
}

std::string dictionary_damage(const stream::Tree& tree)
{
	for (const stream::Chunk& c : tree.top)
		if (std::string d = structure_damage(c); !d.empty())
			return d;
	if (tree.trailing != 0)
		return std::to_string(tree.trailing) + " bytes after the last chunk";
	for (const stream::Chunk& c : tree.top)
		if (c.type == format::type_texture_dictionary)
			if (std::string problem = stream::dictionary_count_problem(c); !problem.empty())
				return at(c) + ": " + problem;
	return {};
}

DictionaryResult convert_dictionary(bytes input)
{
	const stream::Tree tree = stream::parse_tree(input);
	if (tree.top.empty() || tree.top[0].type != format::type_texture_dictionary)
		return failed("not a texture dictionary");
	if (std::string d = dictionary_damage(tree); !d.empty())
		return failed(d);

	// A stream may hold several dictionaries; each is converted.
	std::map<const stream::Chunk*, buffer> replaced;
	DictionaryResult result;
	bool console_stamp = false;
	for (const stream::Chunk& dictionary : tree.top) {
		if (dictionary.type != format::type_texture_dictionary)
			continue;
		if (std::string problem = plan_dictionary(dictionary, replaced, result.textures); !problem.empty())
			return failed(problem);
		console_stamp = console_stamp || dictionary.stamp == format::console_stamp;
	}
	// A dictionary without console textures is a PC one unless it carries the
	// console stamp (an empty console dictionary still needs its stamps).
	if (replaced.empty() && !console_stamp) {
		result.status = DictionaryResult::Status::already_pc;
		return result;
	}
	for (const stream::Chunk& dictionary : tree.top)
		if (dictionary.type == format::type_texture_dictionary)
			plan_device_id(dictionary, replaced);
	for (const stream::Chunk& c : tree.top)
		if (!emit(c, replaced, result.stream))
			return failed("the converted dictionary would be larger than 4 GiB");
	result.status = DictionaryResult::Status::converted;
	return result;
}

} // namespace kestrun::texture
