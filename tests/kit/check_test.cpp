// The checks and the fix: every converted sample is clean, each check is
// caught by one planted fault, and the fix gives the bytes we work out.
#include "geometry/geometry.h"
#include "kit/check.h"
#include "kit/fix.h"
#include "samples/samples.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kestrun;
using namespace kestrun::samples;
namespace st = kestrun::stream;
using kestrun::kit::Severity;

namespace {

kit::CheckReport check(bytes s)
{
	return kit::check_stream(s, st::parse_tree(s));
}

std::string describe(const kit::CheckReport& r)
{
	std::string text;
	for (const kit::Finding& f : r.findings)
		text += std::string(kit::severity_name(f.severity)) + " " + f.path + " @" + std::to_string(f.offset) + ": " +
		        f.text + "\n";
	return text;
}

std::size_t count(const kit::CheckReport& r, Severity severity)
{
	std::size_t n = 0;
	for (const kit::Finding& f : r.findings)
		n += f.severity == severity ? 1 : 0;
	return n;
}

buffer converted(const buffer& console)
{
	std::vector<GeometryReport> problems;
	buffer out = convert_stream(console, problems);
	EXPECT_TRUE(problems.empty());
	return out;
}

TEST(KitCheck, EverySampleChecksCleanAndFixedOnesStrictlyClean)
{
	for (const SampleFile& file : sample_set(11, 12, 3)) {
		SCOPED_TRACE(file.name);
		const bool model = file.name.ends_with(".dff");
		const kit::CheckReport console = check(file.stream);
		EXPECT_EQ(count(console, Severity::error), 0u) << describe(console);

		const buffer out = model ? converted(file.stream) : file.stream;
		const kit::CheckReport report = check(out);
		EXPECT_EQ(count(report, Severity::error), 0u) << describe(report);
		// Models keep the 12-byte clump Struct under the 3.1 stamp: the one warning.
		ASSERT_EQ(report.findings.size(), model ? 1u : 0u) << describe(report);
		if (!model)
			continue;
		EXPECT_EQ(report.findings[0].path, "Clump/Struct");
		const kit::FixResult fixed = kit::fix_stream(out, st::parse_tree(out));
		ASSERT_TRUE(fixed.changed());
		EXPECT_TRUE(check(fixed.stream).findings.empty()) << describe(check(fixed.stream));
	}
}

// One geometry, lists, every vertex section, two materials, converted.
struct Planted {
	buffer s;
	st::Tree tree;
	const st::Chunk& clump() const { return tree.top[0]; }
	const st::Chunk& list() const { return *st::find_child(clump(), format::type_geometry_list); }
	const st::Chunk& geometry() const { return *st::find_child(list(), format::type_geometry); }
	const st::Chunk& geometry_struct() const { return *st::find_child(geometry(), format::type_struct); }
	const st::Chunk& bin_mesh() const
	{
		return *st::find_child(*st::find_child(geometry(), format::type_extension), format::type_bin_mesh);
	}
	std::uint64_t triangles() const
	{
		return kit::offset_in(s, st::decode_geometry(geometry())->triangle_records);
	}
};

Planted planted_model()
{
	NativeGeometry g = one_triangle_geometry({0, 1, 2}, 5);
	g.flags = 0x1C;
	g.meshes.push_back({{2, 3, 4}, 1, 0, 0});
	g.materials.resize(2);
	g.triangles = 2;
	Model m;
	m.frames.resize(1);
	m.geometries.push_back(g);
	Planted p{converted(model_stream(m, Form::native)), {}};
	p.tree = st::parse_tree(p.s);
	return p;
}

struct Fault {
	const char* name;
	std::function<void(const Planted&, buffer&)> plant;
	const char* expected;
	Severity severity = Severity::error;
};

void add_u32(buffer& s, std::uint64_t at, std::uint32_t delta)
{
	store_u32(s, at, load_u32(s, at) + delta);
}

TEST(KitCheck, EachPlantedFaultIsFound)
{
	const Planted p = planted_model();
	ASSERT_EQ(count(check(p.s), Severity::error), 0u) << describe(check(p.s));
	const std::uint64_t bin = p.bin_mesh().offset + 12;
	const Fault faults[] = {
		{"a size off by one", [](const Planted& q, buffer& s) { add_u32(s, q.geometry().offset + 4, 0xFFFFFFFF); },
		 "past the end of its Geometry"},
		{"trailing bytes", [](const Planted&, buffer& s) { s.insert(s.end(), 5, 0); },
		 "5 bytes after the last chunk"},
		{"a Bin Mesh index past V", [&](const Planted&, buffer& s) { store_u32(s, bin + 20, 5); },
		 "1 index(es) not below V = 5"},
		{"a triangle vertex past V", [](const Planted& q, buffer& s) { store_u16(s, q.triangles() + 8, 9); },
		 "1 triangle(s) with a vertex index not below V = 5"},
		{"a triangle material id past the count", [](const Planted& q, buffer& s) { store_u16(s, q.triangles() + 4, 2); },
		 "material id not below the 2 materials"},
		{"a Bin Mesh material past the count", [&](const Planted&, buffer& s) { store_u32(s, bin + 16, 2); },
		 "material 2 not below the 2 materials"},
		{"a Bin Mesh total that disagrees", [&](const Planted&, buffer& s) { add_u32(s, bin + 8, 1); },
		 "index total 7 but the meshes hold 6"},
		{"a Geometry List count", [](const Planted& q, buffer& s) { add_u32(s, q.list().offset + 24, 1); },
		 "geometry count 2 but 1 Geometry chunks"},
		{"a Frame List count", [](const Planted& q, buffer& s) {
			 add_u32(s, st::find_child(q.clump(), format::type_frame_list)->offset + 24, 1);
		 },
		 "frame count 2 asks for a Struct of 116 bytes"},
		{"an atomic's geometry index", [](const Planted& q, buffer& s) {
			 add_u32(s, st::find_child(q.clump(), format::type_atomic)->offset + 28, 4);
		 },
		 "geometry 4 outside the 1 geometries"},
		{"a Struct size the flags do not give", [](const Planted& q, buffer& s) {
			 add_u32(s, q.geometry_struct().offset + 12, 0x80);
		 },
		 "but flags, texture sets, T, V and morph targets give"},
		{"a native flag without Native Data", [](const Planted& q, buffer& s) {
			 s[q.geometry_struct().offset + 15] = 1;
		 },
		 "native flag set but no Native Data chunk"},
		{"an unknown chunk in a Clump",
		 [](const Planted& q, buffer& s) { store_u32(s, q.clump().children.back().offset, 0x1234); },
		 "unknown chunk type directly in a Clump", Severity::warning},
		{"a second stamp", [](const Planted& q, buffer& s) { store_u32(s, q.list().offset + 8, 0x1003FFFF); },
		 "stamp 0x1003FFFF (3.4.0.3) differs from the stream's 0x00000310 (3.1.0.0)", Severity::warning},
		{"a 4-byte clump Struct under a 3.3 stamp",
		 [](const Planted& q, buffer& s) {
			 s = kit::fix_stream(s, q.tree).stream;
			 store_u32(s, 20, 0x0C02FFFF);
		 },
		 "4-byte Struct under stamp 0x0C02FFFF (3.3.0.2), whose readers read 12 bytes here", Severity::warning},
	};
	for (const Fault& fault : faults) {
		SCOPED_TRACE(fault.name);
		buffer s = p.s;
		fault.plant(p, s);
		const kit::CheckReport report = check(s);
		bool found = false;
		for (const kit::Finding& f : report.findings)
			found = found || (f.severity == fault.severity && f.text.find(fault.expected) != std::string::npos);
		EXPECT_TRUE(found) << describe(report);
	}
}

TEST(KitCheck, DictionaryCountAgainstItsTextures)
{
	buffer s = texture_dictionary_stream(5, 3);
	ASSERT_EQ(count(check(s), Severity::error), 0u) << describe(check(s));
	store_u16(s, 24, 4);
	const kit::CheckReport report = check(s);
	ASSERT_EQ(report.findings.size(), 1u) << describe(report);
	EXPECT_EQ(report.findings[0].text, "texture count 4 but 3 Texture Native chunks");
}

// The converter restamps the console stamp's bytes wherever they stand. An
// index pair FFFF, 1400 holds them and comes out as 0310, 0000: past V.
TEST(KitCheck, RestampedIndexDataIsReportedNotHidden)
{
	NativeGeometry g = one_triangle_geometry({0, 1, 2}, 4);
	g.meshes[0].indices = {0xFFFF, 0x1400, 3};
	Model m;
	m.frames.resize(1);
	m.geometries.push_back(g);
	const kit::CheckReport report = check(converted(model_stream(m, Form::native)));
	bool found = false;
	for (const kit::Finding& f : report.findings)
		found = found || f.text.find("not below V = 4") != std::string::npos;
	EXPECT_TRUE(found) << describe(report);
}

TEST(KitFix, ShrinksTheClumpStructAndLeavesEveryOtherByte)
{
	const Planted p = planted_model();
	// Worked out by hand: the clump's light and camera words (body bytes 4 to
	// 11 of the Struct at 12) go, and the Struct and Clump sizes fall by 8.
	buffer expected = p.s;
	expected.erase(expected.begin() + 28, expected.begin() + 36);
	store_u32(expected, 16, 4);
	store_u32(expected, 4, load_u32(p.s, 4) - 8);
	const kit::FixResult fixed = kit::fix_stream(p.s, p.tree);
	EXPECT_EQ(fixed.stream, expected);
	ASSERT_EQ(fixed.notes.size(), 1u);
	EXPECT_TRUE(fixed.notes[0].changed);

	// Nothing left to fix.
	EXPECT_FALSE(kit::fix_stream(expected, st::parse_tree(expected)).changed());

	// A clump with a light is left as it is, and said so.
	buffer lit = p.s;
	store_u32(lit, 28, 1);
	const kit::FixResult left = kit::fix_stream(lit, st::parse_tree(lit));
	EXPECT_FALSE(left.changed());
	ASSERT_EQ(left.notes.size(), 1u);
	EXPECT_NE(left.notes[0].text.find("1 light(s)"), std::string::npos);
}

bool has_finding(const kit::CheckReport& r, const std::string& text)
{
	for (const kit::Finding& f : r.findings)
		if (f.text == text && f.severity == Severity::warning)
			return true;
	return false;
}

// Older converters wrote material 0 in every triangle and kept the console's
// device id in dictionaries: check warns, fix gives what we write today.
TEST(KitFix, RepairsWhatOlderConvertersWrote)
{
	const Planted p = planted_model();
	const buffer today = kit::fix_stream(p.s, p.tree).stream;
	const std::uint64_t second = p.triangles() + 8;
	ASSERT_EQ(load_u16(p.s, second + 4), 1u);
	buffer old = p.s;
	store_u16(old, second + 4, 0);
	EXPECT_TRUE(has_finding(check(old), "triangle materials disagree with the Bin Mesh")) << describe(check(old));
	EXPECT_EQ(kit::fix_stream(old, st::parse_tree(old)).stream, today);
	// convert mends its own buffer: a clump Struct closed up and patches alike.
	buffer mended = old;
	const st::Tree tree = st::parse_tree(mended);
	const std::vector<kit::FixNote> notes = kit::fix_stream_in_place(mended, tree);
	ASSERT_EQ(notes.size(), 2u);
	EXPECT_TRUE(notes[0].changed && notes[1].changed);
	EXPECT_EQ(mended, today);
	// Two models in one stream: each closed up and patched as if alone.
	buffer twice = old;
	twice.insert(twice.end(), old.begin(), old.end());
	buffer both = today;
	both.insert(both.end(), today.begin(), today.end());
	const st::Tree tree_of_two = st::parse_tree(twice);
	kit::fix_stream_in_place(twice, tree_of_two);
	EXPECT_EQ(twice, both);
	EXPECT_TRUE(check(today).findings.empty()) << describe(check(today));

	// A triangle no mesh yields: that geometry is left as it is, and said so.
	buffer stray = old;
	store_u16(stray, second, 0);
	const kit::FixResult left = kit::fix_stream(stray, st::parse_tree(stray));
	ASSERT_TRUE(left.changed()); // the clump Struct still shrinks
	EXPECT_EQ(load_u16(left.stream, second + 4 - 8), 0u);
	bool said = false;
	for (const kit::FixNote& n : left.notes)
		said = said || (!n.changed && n.text.find("triangle 1 is in no mesh") != std::string::npos);
	EXPECT_TRUE(said);

	for (const SampleFile& file : sample_set(11, 0, 1)) {
		buffer dictionary = file.pc;
		ASSERT_EQ(load_u16(dictionary, 24 + 2), 0u);
		store_u16(dictionary, 24 + 2, 5);
		EXPECT_TRUE(has_finding(check(dictionary), "device id 5 in a PC dictionary"));
		EXPECT_EQ(kit::fix_stream(dictionary, st::parse_tree(dictionary)).stream, file.pc);
		// The console's own dictionary keeps its device id.
		EXPECT_FALSE(kit::fix_stream(file.stream, st::parse_tree(file.stream)).changed());
	}
}

} // namespace
