#include "samples/samples.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <stdexcept>

namespace kestrun::samples {

namespace {

void start_lzo()
{
	static const bool started = lzo_init() == LZO_E_OK;
	if (!started)
		throw std::runtime_error("lzo_init failed");
}

} // namespace

buffer lzo_compress(bytes raw)
{
	start_lzo();
	// Worst-case growth of incompressible input, as the library documents it.
	buffer out(raw.size() + raw.size() / 16 + 64 + 3);
	std::vector<std::uint8_t> work(LZO1X_1_MEM_COMPRESS);
	lzo_uint written = 0;
	if (lzo1x_1_compress(raw.data(), lzo_uint(raw.size()), out.data(), &written, work.data()) != LZO_E_OK)
		throw std::runtime_error("lzo1x_1_compress failed");
	out.resize(written);
	return out;
}

std::vector<ContainerBlock> compress_blocks(bytes stream, std::size_t block_size)
{
	std::vector<ContainerBlock> blocks;
	block_size = std::max<std::size_t>(block_size, 1);
	std::size_t pos = 0;
	do {
		std::size_t n = std::min(block_size, stream.size() - pos);
		ContainerBlock block;
		block.data = lzo_compress(stream.subspan(pos, n));
		block.third = std::uint32_t(n); // the writer's habit; the reader ignores it
		blocks.push_back(std::move(block));
		pos += n;
	} while (pos < stream.size());
	return blocks;
}

buffer assemble_container(const std::vector<ContainerBlock>& blocks, std::array<std::uint8_t, 12> file_header)
{
	buffer out(file_header.begin(), file_header.end());
	for (const ContainerBlock& b : blocks) {
		put_u32(out, b.marker);
		put_u32(out, b.length_set ? b.length : std::uint32_t(b.data.size()));
		put_u32(out, b.third);
		put_bytes(out, b.data);
	}
	return out;
}

buffer pack_container(bytes stream, std::size_t block_size)
{
	return assemble_container(compress_blocks(stream, block_size));
}

} // namespace kestrun::samples
