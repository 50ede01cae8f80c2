// Structure-aware damage: one size or count field of one native geometry at a
// time is set to a hostile value, and the model converted. Random bytes
// seldom get past the chunk headers; these reach every check of the rebuild.
//
// What must hold, whatever the value:
// - every reported problem names the damaged geometry, by its offset in the
//   inflated stream;
// - a geometry left unconverted is exactly the restamped input, and the rest
//   of the model is exactly what the undamaged model converts to, with the
//   enclosing sizes short of that geometry's growth;
// - a geometry that converted anyway leaves every other geometry exactly as
//   expected, those after it moved by one common distance;
// - the same stream stored as a block container inflates back unchanged and
//   converts the same way.
// Overreads and overflows are for the sanitizer build to catch.
#include "container/container.h"
#include "geometry/steps.h"
#include "samples/samples.h"

#include <gtest/gtest.h>
#include <lzo/lzoconf.h>

#include <algorithm>
#include <string>

using namespace kestrun;
using namespace kestrun::samples;

namespace {

struct Field {
	std::string name;
	std::uint64_t at; // offset of the 32-bit field in the inflated stream
};

// The fields of the native geometry whose header is at `g`, found by
// following its own sizes through the undamaged stream.
std::vector<Field> geometry_fields(bytes s, std::uint64_t g)
{
	const std::uint64_t list = g + 24 + load_u32(s, g + 16);
	const std::uint64_t extension = list + 12 + load_u32(s, list + 4);
	const std::uint64_t native = extension + 24 + load_u32(s, extension + 16);
	const std::uint32_t materials = load_u32(s, list + 24);
	std::vector<Field> fields = {
		{"Geometry size", g + 4},
		{"Struct size", g + 16},
		{"triangle count", g + 28},
		{"vertex count", g + 32},
		{"Material List size", list + 4},
		{"material count", list + 24},
		{"Extension size", extension + 4},
		{"Bin Mesh size", extension + 16},
		{"Bin Mesh index total", extension + 32},
		{"Native Data size", native + 4},
	};
	for (std::uint32_t k = 0; k < materials; k++)
		fields.push_back({"index count of mesh " + std::to_string(k), native + 64 + 24 * std::uint64_t(k) + 8});
	return fields;
}

// Offsets of the chunk headers of `type` whose stamp is `stamp`.
std::vector<std::uint64_t> headers_of(bytes s, std::uint32_t type, std::uint32_t stamp)
{
	std::vector<std::uint64_t> at;
	for (std::uint64_t i = 0; fits(s.size(), i, 12); i++)
		if (load_u32(s, i) == type && load_u32(s, i + 8) == stamp)
			at.push_back(i);
	return at;
}

bool same_at(bytes whole, std::uint64_t at, bytes part)
{
	return fits(whole.size(), at, part.size()) && std::equal(part.begin(), part.end(), whole.begin() + std::ptrdiff_t(at));
}

struct Subject {
	Model model;
	buffer native;                          // the inflated model stream
	buffer expected;                        // what it converts to
	std::vector<std::uint64_t> geometries;  // Geometry headers in `native`
	std::vector<std::uint64_t> converted;   // and in `expected`
	std::vector<buffer> generic;            // each geometry as converted
	std::uint64_t list_size_at;             // Geometry List size field in `expected`
};

Subject make_subject(std::vector<NativeGeometry> geometries)
{
	Subject s;
	s.model.frames.resize(2);
	s.model.frames[1].parent = 0;
	s.model.geometries = std::move(geometries);
	s.native = model_stream(s.model, Form::native);
	s.expected = model_stream(s.model, Form::generic);
	s.geometries = headers_of(s.native, format::type_geometry, format::console_stamp);
	s.converted = headers_of(s.expected, format::type_geometry, target_stamp);
	for (const NativeGeometry& g : s.model.geometries)
		s.generic.push_back(generic_geometry_chunk(g));
	const std::vector<std::uint64_t> lists = headers_of(s.expected, format::type_geometry_list, target_stamp);
	s.list_size_at = lists.at(0) + 4;
	return s;
}

// What the converter must write when geometry `k` of the damaged stream is
// left unconverted: the undamaged result with that geometry's restamped
// input in place of its conversion, and the enclosing sizes short of its
// growth.
buffer expected_without(const Subject& s, std::size_t k, bytes damaged)
{
	const buffer input = restamped(damaged);
	const std::uint64_t native_length = native_geometry_chunk(s.model.geometries[k]).size();
	const std::uint32_t growth = std::uint32_t(s.generic[k].size() - native_length);
	buffer out(s.expected.begin(), s.expected.begin() + std::ptrdiff_t(s.converted[k]));
	out.insert(out.end(), input.begin() + std::ptrdiff_t(s.geometries[k]),
	           input.begin() + std::ptrdiff_t(s.geometries[k] + native_length));
	out.insert(out.end(), s.expected.begin() + std::ptrdiff_t(s.converted[k] + s.generic[k].size()), s.expected.end());
	store_u32(out, 4, load_u32(out, 4) - growth);
	store_u32(out, s.list_size_at, load_u32(out, s.list_size_at) - growth);
	return out;
}

void check_damaged(const Subject& s, std::size_t k, bytes damaged, const buffer& out,
                   const std::vector<GeometryReport>& problems)
{
	for (const GeometryReport& p : problems)
		EXPECT_EQ(p.offset, s.geometries[k]) << geometry_problem_name(p.problem);
	// The Clump is the whole stream, converted or not.
	ASSERT_TRUE(fits(out.size(), 0, 12));
	EXPECT_EQ(load_u32(out, 4) + std::uint64_t(12), out.size());
	const bool unconverted = std::any_of(problems.begin(), problems.end(), [](const GeometryReport& p) {
		return leaves_geometry_unconverted(p.problem);
	});
	if (unconverted) {
		EXPECT_EQ(problems.size(), 1u);
		EXPECT_TRUE(out == expected_without(s, k, damaged)) << "unconverted geometry or the rest differs";
		return;
	}
	// Converted, perhaps into nonsense: the others must not suffer, and those
	// after it move together.
	const std::int64_t moved = std::int64_t(out.size()) - std::int64_t(s.expected.size());
	for (std::size_t j = 0; j < s.generic.size(); j++) {
		if (j == k)
			continue;
		const std::uint64_t at = j < k ? s.converted[j] : std::uint64_t(std::int64_t(s.converted[j]) + moved);
		EXPECT_TRUE(same_at(out, at, s.generic[j])) << "geometry " << j << " lost or moved";
	}
	ASSERT_TRUE(fits(out.size(), s.list_size_at, 4));
	EXPECT_EQ(load_u32(out, s.list_size_at), std::uint32_t(load_u32(s.expected, s.list_size_at) + moved));
}

std::vector<std::uint32_t> hostile_values(std::uint32_t original, std::uint64_t at, std::uint64_t length)
{
	return {0,
	        1,
	        original - 1,
	        original + 1,
	        original - 4,
	        original + 4,
	        0x7FFFFFFF,
	        0xFFFFFFFF,
	        std::uint32_t(length),
	        std::uint32_t(length - at - 4)}; // exactly to the end of the stream
}

// Eight geometries: lists and strips, every vertex layout, extra chunks in
// some Extensions.
Subject eight_geometries()
{
	Prng rng{2024};
	std::vector<NativeGeometry> geometries;
	const std::uint16_t flags[] = {0x1C, 0x00, 0x14, 0x08, 0x04, 0x18, 0x0C, 0x10};
	for (std::size_t k = 0; k < std::size(flags); k++)
		geometries.push_back(random_geometry(rng, flags[k], k % 2 == 1, 12 + 5 * std::uint32_t(k)));
	return make_subject(std::move(geometries));
}

TEST(Mutation, EverySizeAndCountFieldOfEveryGeometry)
{
	ASSERT_EQ(lzo_init(), LZO_E_OK);
	const Subject s = eight_geometries();
	ASSERT_EQ(s.geometries.size(), s.model.geometries.size());
	ASSERT_EQ(s.converted.size(), s.model.geometries.size());
	{
		std::vector<GeometryReport> problems;
		ASSERT_EQ(convert_stream(s.native, problems), s.expected);
		ASSERT_TRUE(problems.empty());
	}

	std::vector<std::uint8_t> inflated(stream_capacity);
	unsigned runs = 0;
	for (std::size_t k = 0; k < s.geometries.size(); k++) {
		for (const Field& field : geometry_fields(s.native, s.geometries[k])) {
			const std::uint32_t original = load_u32(s.native, field.at);
			for (std::uint32_t value : hostile_values(original, field.at, s.native.size())) {
				if (value == original)
					continue;
				SCOPED_TRACE("geometry " + std::to_string(k) + ", " + field.name + " " + std::to_string(original) +
				             " -> " + std::to_string(value));
				buffer damaged = s.native;
				store_u32(damaged, field.at, value);
				std::vector<GeometryReport> problems;
				const buffer out = convert_stream(damaged, problems);
				check_damaged(s, k, damaged, out, problems);
				runs++;

				// Stored as a file, in blocks small enough to split the geometry.
				const buffer file = pack_container(damaged, 1024);
				const ContainerResult r = decompress_container(file, inflated);
				ASSERT_EQ(r.problem, ContainerProblem::none);
				ASSERT_TRUE(std::equal(damaged.begin(), damaged.end(), inflated.begin(), inflated.begin() + r.length) &&
				            r.length == damaged.size());
				std::vector<GeometryReport> again;
				EXPECT_TRUE(convert_stream(bytes(inflated.data(), r.length), again) == out);
				EXPECT_EQ(again.size(), problems.size());
			}
		}
	}
	EXPECT_GT(runs, 500u);
}

} // namespace
