// Every generated sample converts to exactly what its description says, and
// the result is a consistent chunk tree.
#include "container/container.h"
#include "geometry/steps.h"
#include "samples/samples.h"
#include "support/chunk_tree.h"

#include <gtest/gtest.h>
#include <lzo/lzoconf.h>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

TEST(Samples, EveryModelConvertsToItsExpectedStream)
{
	ASSERT_EQ(lzo_init(), LZO_E_OK);
	for (const SampleFile& file : sample_set(1, 12, 3)) {
		SCOPED_TRACE(file.name);
		std::vector<std::uint8_t> stream(stream_capacity);
		const ContainerResult inflated = decompress_container(file.container, stream);
		ASSERT_EQ(inflated.problem, ContainerProblem::none);
		stream.resize(inflated.length);
		ASSERT_EQ(stream, file.stream);
		if (file.name.ends_with(".txd"))
			continue;
		std::vector<GeometryReport> problems;
		const buffer out = convert_stream(stream, problems);
		EXPECT_TRUE(problems.empty());
		EXPECT_EQ(out, file.expected);
		EXPECT_EQ(check_chunk_tree(out), "");
	}
}

TEST(Samples, EveryFlagCombinationAsListAndStrip)
{
	Prng rng{42};
	for (std::uint16_t flags = 0; flags < 0x20; flags += 4)
		for (bool strips : {false, true}) {
			Model model;
			model.frames.resize(1);
			model.geometries.push_back(random_geometry(rng, flags, strips, 40));
			model.geometries.push_back(random_geometry(rng, std::uint16_t(flags ^ 0x1C), !strips, 7));
			std::vector<GeometryReport> problems;
			const buffer out = convert_stream(model_stream(model, Form::native), problems);
			EXPECT_TRUE(problems.empty());
			EXPECT_EQ(out, model_stream(model, Form::generic)) << flags << " " << strips;
			EXPECT_EQ(check_chunk_tree(out), "");
		}
}

} // namespace
