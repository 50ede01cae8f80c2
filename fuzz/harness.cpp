#include "harness.h"

#include "container/container.h"
#include "geometry/geometry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <lzo/lzoconf.h>

namespace kestrun::fuzz {

namespace {

// The driver's stream buffer, allocated once at its real size so that
// AddressSanitizer sees a write past its end.
mut_bytes stream_buffer()
{
	static const std::unique_ptr<std::uint8_t[]> buffer = std::make_unique<std::uint8_t[]>(stream_capacity);
	return mut_bytes(buffer.get(), stream_capacity);
}

void start_lzo()
{
	static const bool started = lzo_init() == LZO_E_OK;
	require(started, "lzo_init failed");
}

ContainerResult inflate(bytes input, mut_bytes stream)
{
	const ContainerResult result = decompress_container(input, stream);
	require(result.length <= stream.size(), "stream length past the stream buffer");
	require((result.problem == ContainerProblem::none) == (result.damaged_blocks == 0),
	        "problem and damaged block count disagree");
	if (result.problem != ContainerProblem::none)
		require(result.offset <= input.size(), "problem offset past the end of the file");
	return result;
}

void check_reports(std::uint64_t length, const std::vector<std::uint8_t>& converted,
                   const std::vector<GeometryReport>& problems)
{
	std::uint64_t previous = 0;
	for (const GeometryReport& problem : problems) {
		require(problem.problem != GeometryProblem::none, "a report without a problem");
		require(fits(length, problem.offset, 12), "reported geometry header outside the stream");
		require(problem.offset >= previous, "geometries reported out of order");
		previous = problem.offset;
	}
	require(converted.size() <= 0xFFFFFFFFu, "converted stream longer than 32 bits can state");
}

bool same_reports(const std::vector<GeometryReport>& a, const std::vector<GeometryReport>& b)
{
	if (a.size() != b.size())
		return false;
	for (std::size_t k = 0; k < a.size(); k++)
		if (a[k].offset != b[k].offset || a[k].problem != b[k].problem || a[k].value != b[k].value)
			return false;
	return true;
}

} // namespace

void require(bool condition, const char* what)
{
	if (!condition) {
		std::fprintf(stderr, "broken promise: %s\n", what);
		std::abort();
	}
}

int container_entry(const std::uint8_t* data, std::size_t size)
{
	start_lzo();
	const bytes input(data, size);
	const ContainerResult full = inflate(input, stream_buffer());

	// Again into a buffer one byte short of what the first pass produced: the
	// reader must notice that the stream no longer fits, and stay inside the
	// smaller buffer, which is a heap block of exactly that size.
	if (full.length > 0 && full.problem == ContainerProblem::none) {
		std::vector<std::uint8_t> tight(full.length - 1);
		const ContainerResult cut = inflate(input, tight);
		require(cut.problem != ContainerProblem::none, "an inflated stream that does not fit went unreported");
	}
	return 0;
}

int convert_entry(const std::uint8_t* data, std::size_t size)
{
	if (size > 0xFFFFFFFFu)
		return 0;
	// Both ways in: a view of a heap copy, and a buffer handed over. Each is
	// a heap block of exactly the stream's size, so a read past the end of
	// the stream is a read past the block.
	const std::vector<std::uint8_t> stream(data, data + size);
	std::vector<GeometryReport> problems;
	const std::vector<std::uint8_t> converted = convert_stream(stream, problems);
	check_reports(stream.size(), converted, problems);

	auto handed = std::make_unique_for_overwrite<std::uint8_t[]>(size);
	std::copy(data, data + size, handed.get());
	std::vector<GeometryReport> again;
	const std::vector<std::uint8_t> in_place = convert_stream(std::move(handed), std::uint32_t(size), again);
	require(in_place == converted, "the two ways in convert differently");
	require(same_reports(again, problems), "the two ways in report differently");
	return 0;
}

int file_entry(const std::uint8_t* data, std::size_t size)
{
	start_lzo();
	// As the driver does it: a fresh stream buffer, inflated into, then
	// handed to the converter.
	const std::vector<std::uint8_t> input(data, data + size);
	auto stream = std::make_unique_for_overwrite<std::uint8_t[]>(stream_capacity);
	const ContainerResult inflated = inflate(input, mut_bytes(stream.get(), stream_capacity));
	std::vector<GeometryReport> problems;
	const std::vector<std::uint8_t> converted = convert_stream(std::move(stream), inflated.length, problems);
	check_reports(inflated.length, converted, problems);
	return 0;
}

} // namespace kestrun::fuzz
