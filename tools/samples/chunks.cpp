#include "samples/samples.h"

#include <bit>

namespace kestrun::samples {

void put_u8(buffer& out, std::uint8_t v)
{
	out.push_back(v);
}

void put_u16(buffer& out, std::uint16_t v)
{
	out.resize(out.size() + 2);
	store_u16(out, out.size() - 2, v);
}

void put_u32(buffer& out, std::uint32_t v)
{
	out.resize(out.size() + 4);
	store_u32(out, out.size() - 4, v);
}

void put_f32(buffer& out, float v)
{
	put_u32(out, std::bit_cast<std::uint32_t>(v));
}

void put_bytes(buffer& out, bytes b)
{
	out.insert(out.end(), b.begin(), b.end());
}

buffer chunk(std::uint32_t type, bytes body, std::uint32_t stamp)
{
	buffer out;
	out.reserve(12 + body.size());
	put_u32(out, type);
	put_u32(out, std::uint32_t(body.size()));
	put_u32(out, stamp);
	put_bytes(out, body);
	return out;
}

buffer parent_chunk(std::uint32_t type, const std::vector<buffer>& children, std::uint32_t stamp)
{
	buffer body;
	for (const buffer& child : children)
		put_bytes(body, child);
	return chunk(type, body, stamp);
}

std::uint32_t converted_stamp(std::uint32_t stamp)
{
	return stamp == format::console_stamp || stamp == target_stamp ? target_stamp : stamp;
}

buffer restamped(bytes b)
{
	buffer out(b.begin(), b.end());
	for (std::size_t i = 0; i + 4 <= out.size(); i++) {
		if (load_u32(out, i) == format::console_stamp)
			store_u32(out, i, target_stamp);
	}
	return out;
}

buffer string_chunk(const std::string& text, std::uint32_t stamp)
{
	buffer body(text.begin(), text.end());
	body.resize((text.size() / 4 + 1) * 4, 0); // at least one NUL
	return chunk(format::type_string, body, stamp);
}

buffer words(std::initializer_list<std::uint32_t> values)
{
	buffer out;
	for (std::uint32_t v : values)
		put_u32(out, v);
	return out;
}

buffer cat(std::initializer_list<buffer> parts)
{
	buffer out;
	for (const buffer& p : parts)
		put_bytes(out, p);
	return out;
}

} // namespace kestrun::samples
