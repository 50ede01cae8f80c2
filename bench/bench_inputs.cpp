#include "bench_inputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrun::bench {

namespace {

using samples::Model;
using samples::Prng;

// A short chain of named frames; the atomics spread over them.
std::vector<samples::Frame> frame_chain(std::uint32_t geometries)
{
	const std::uint32_t count = std::clamp<std::uint32_t>(geometries, 1, 8);
	std::vector<samples::Frame> frames(count);
	for (std::uint32_t i = 0; i < count; i++) {
		char name[32];
		std::snprintf(name, sizeof name, "node_%02u", unsigned(i));
		frames[i].name = name;
		frames[i].parent = std::int32_t(i) - 1;
		frames[i].matrix[9] = float(i);
	}
	return frames;
}

struct GeometryPlan {
	std::uint16_t flags;
	bool strips;
	double share; // of the model's vertex bytes
};

buffer build_varied(std::uint64_t seed, const std::vector<GeometryPlan>& plans, double vertex_bytes)
{
	Prng rng{seed ^ 0x5EEDF00Dull};
	Model m;
	for (const GeometryPlan& p : plans) {
		const double per_vertex = double(vertex_stride(p.flags)) + 1.0;
		const double wanted = std::round(vertex_bytes * p.share / per_vertex);
		const auto vertices = std::uint32_t(std::clamp(wanted, 3.0, double(max_geometry_vertices)));
		m.geometries.push_back(samples::random_geometry(rng, p.flags, p.strips, vertices));
	}
	m.frames = frame_chain(std::uint32_t(plans.size()));
	return samples::model_stream(m, samples::Form::native);
}

void put_u16_be(buffer& out, std::uint16_t v)
{
	out.push_back(std::uint8_t(v >> 8));
	out.push_back(std::uint8_t(v));
}

void put_u32_be(buffer& out, std::uint32_t v)
{
	put_u16_be(out, std::uint16_t(v >> 16));
	put_u16_be(out, std::uint16_t(v));
}

} // namespace

buffer even_model_stream(std::uint64_t seed, std::uint64_t vertex_total, std::uint32_t geometries)
{
	Prng rng{seed};
	Model m;
	geometries = std::max<std::uint32_t>(geometries, 1);
	for (std::uint32_t i = 0; i < geometries; i++) {
		// Spread the remainder so the total is exact.
		std::uint64_t share = vertex_total / geometries + (i < vertex_total % geometries ? 1 : 0);
		share = std::clamp<std::uint64_t>(share, 3, 1u << 20);
		m.geometries.push_back(samples::random_geometry(rng, all_vertex_flags, false, std::uint32_t(share)));
	}
	m.frames = frame_chain(geometries);
	return samples::model_stream(m, samples::Form::native);
}

std::uint64_t vertices_for_size(std::uint64_t seed, std::uint64_t target)
{
	// About 29 bytes a vertex: the 28-byte record and its share of indices.
	// Two corrections take the stream within a fraction of a percent.
	double vertices = double(target) / 29.0;
	for (int pass = 0; pass < 3; pass++) {
		const auto v = std::uint64_t(std::max(3.0, std::round(vertices)));
		const double size = double(even_model_stream(seed, v, 1).size());
		vertices *= double(target) / size;
	}
	return std::uint64_t(std::max(3.0, std::round(vertices)));
}

buffer varied_model_stream(std::uint64_t seed, std::uint64_t target, std::uint32_t geometries)
{
	Prng rng{seed};
	geometries = std::max<std::uint32_t>(geometries, 1);
	std::vector<GeometryPlan> plans(geometries);
	double weights = 0;
	for (GeometryPlan& p : plans) {
		p.flags = std::uint16_t(rng.below(8) << 2);
		p.strips = rng.below(2) == 0;
		p.share = 0.25 + double(rng.below(1000)) / 500.0; // 0.25 to 2.25
		weights += p.share;
	}
	for (GeometryPlan& p : plans) {
		p.share /= weights;
		// A geometry too big for 16-bit indices with short records gets
		// every section, so it reaches its share with fewer vertices.
		if (double(target) * p.share / double(vertex_stride(p.flags) + 1) > 0.8 * max_geometry_vertices)
			p.flags = all_vertex_flags;
	}

	double vertex_bytes = double(target);
	buffer stream = build_varied(seed, plans, vertex_bytes);
	for (int pass = 0; pass < 6; pass++) {
		const double size = double(stream.size());
		if (std::abs(size - double(target)) <= 0.02 * double(target))
			break;
		vertex_bytes *= double(target) / size;
		stream = build_varied(seed, plans, vertex_bytes);
	}
	return stream;
}

std::uint32_t adler32(bytes data, std::uint32_t adler)
{
	constexpr std::uint32_t base = 65521;
	std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
	std::size_t pos = 0;
	while (pos < data.size()) {
		// 5552 bytes is the most that cannot overflow b before the modulo.
		const std::size_t end = std::min(data.size(), pos + 5552);
		for (; pos < end; pos++) {
			a += data[pos];
			b += a;
		}
		a %= base;
		b %= base;
	}
	return b << 16 | a;
}

buffer lzop_file(bytes stream, const std::vector<samples::ContainerBlock>& blocks, std::size_t block_size,
                 const std::string& name, std::uint32_t& stored)
{
	static constexpr std::uint8_t magic[9] = {0x89, 'L', 'Z', 'O', 0x00, 0x0D, 0x0A, 0x1A, 0x0A};
	buffer out(std::begin(magic), std::end(magic));

	const std::size_t header_start = out.size();
	put_u16_be(out, 0x1040);         // written by version 1.04 of the format
	put_u16_be(out, 0x20A0);         // compression library version 2.10
	put_u16_be(out, 0x0940);         // needed to extract
	out.push_back(1);                // method: LZO1X-1
	out.push_back(5);                // level
	put_u32_be(out, 0x03000000);     // flags: made on Unix, no checksums
	put_u32_be(out, 0100644);        // mode
	put_u32_be(out, 1700000000);     // mtime, low and high words
	put_u32_be(out, 0);
	const std::size_t name_length = std::min<std::size_t>(name.size(), 255);
	out.push_back(std::uint8_t(name_length));
	out.insert(out.end(), name.begin(), name.begin() + std::ptrdiff_t(name_length));
	put_u32_be(out, adler32(bytes(out).subspan(header_start)));

	stored = 0;
	std::size_t pos = 0;
	for (const samples::ContainerBlock& block : blocks) {
		const std::size_t n = std::min(block_size, stream.size() - pos);
		if (n == 0)
			break; // a zero length ends the file
		put_u32_be(out, std::uint32_t(n));
		if (block.data.size() < n) {
			put_u32_be(out, std::uint32_t(block.data.size()));
			out.insert(out.end(), block.data.begin(), block.data.end());
		} else {
			put_u32_be(out, std::uint32_t(n));
			out.insert(out.end(), stream.begin() + std::ptrdiff_t(pos), stream.begin() + std::ptrdiff_t(pos + n));
			stored++;
		}
		pos += n;
	}
	put_u32_be(out, 0);
	return out;
}

} // namespace kestrun::bench
