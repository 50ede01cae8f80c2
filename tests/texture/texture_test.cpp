#include "samples/samples.h"
#include "stream/stream.h"
#include "texture/native_format.h"
#include "texture/swizzle.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <functional>

namespace kestrun::texture {
namespace {

using samples::buffer;

TEST(Swizzle, KnownOffsets)
{
	EXPECT_EQ(swizzled_offset(1, 0, 4, 4), 1u);
	EXPECT_EQ(swizzled_offset(0, 1, 4, 4), 2u);
	EXPECT_EQ(swizzled_offset(1, 1, 4, 4), 3u);
	EXPECT_EQ(swizzled_offset(2, 0, 4, 4), 4u);
	EXPECT_EQ(swizzled_offset(3, 3, 4, 4), 15u);
	EXPECT_EQ(swizzled_offset(2, 0, 8, 2), 4u);
	EXPECT_EQ(swizzled_offset(4, 1, 8, 2), 10u);
	// 8x32: offset bits from high to low are y y y x y x y x.
	EXPECT_EQ(swizzled_offset(0b101, 0b10110, 8, 32), 0b10111001u);
	EXPECT_EQ(swizzled_offset(7, 0, 8, 32), 0b00010101u);
	EXPECT_EQ(swizzled_offset(0, 31, 8, 32), 0b11101010u);
}

// Every power-of-two shape up to 512: 32-bit texels holding their linear
// index land where swizzled_offset says, and unswizzle undoes it; 4-bit
// texels survive the round trip.
TEST(Swizzle, RoundTripEveryShape)
{
	for (std::uint32_t w = 1; w <= 512; w *= 2) {
		for (std::uint32_t h = 1; h <= 512; h *= 2) {
			buffer linear(std::size_t(w) * h * 4);
			for (std::uint32_t i = 0; i < w * h; i++)
				store_u32(linear, 4 * i, i);
			const buffer swz = swizzle(linear, w, h, 32);
			for (std::uint32_t y = 0; y < h; y += 1 + h / 8)
				for (std::uint32_t x = 0; x < w; x += 1 + w / 8)
					ASSERT_EQ(load_u32(swz, 4 * swizzled_offset(x, y, w, h)), y * w + x) << w << "x" << h;
			ASSERT_EQ(unswizzle(swz, w, h, 32), linear) << w << "x" << h;
			buffer nibbles((std::size_t(w) * h + 1) / 2);
			for (std::size_t i = 0; i < nibbles.size(); i++)
				nibbles[i] = std::uint8_t(i * 37 + (w * h == 1 ? 0 : i / 3 * 16));
			ASSERT_EQ(unswizzle(swizzle(nibbles, w, h, 4), w, h, 4), nibbles) << w << "x" << h;
		}
	}
}

std::vector<Image> decoded_levels(bytes dictionary, std::size_t index)
{
	const stream::Tree tree = stream::parse_tree(dictionary);
	const auto natives = stream::children_of_type(tree.top.at(0), format::type_texture_native);
	std::string error;
	std::optional<DecodedTexture> t = decode_texture_native(*natives.at(index), error);
	EXPECT_TRUE(t) << error;
	return t ? t->levels : std::vector<Image>{};
}

// Every sample format: the conversion gives the PC dictionary built from the
// same description byte for byte (linear texels, identical DXT blocks, stamp
// bytes in data untouched); both forms decode to the source images, and so
// do the PNGs made of them.
TEST(Dictionary, EveryFormatConvertsAndDecodes)
{
	const std::vector<samples::SampleTexture> all = samples::sample_textures();
	const buffer console = samples::texture_dictionary(all, samples::Form::native);
	const DictionaryResult r = convert_dictionary(console);
	ASSERT_EQ(r.status, DictionaryResult::Status::converted) << r.error;
	EXPECT_EQ(r.textures, all.size());
	ASSERT_EQ(r.stream, samples::texture_dictionary(all, samples::Form::generic));
	EXPECT_EQ(convert_dictionary(r.stream).status, DictionaryResult::Status::already_pc);
	for (std::size_t i = 0; i < all.size(); i++) {
		SCOPED_TRACE(all[i].name);
		for (const buffer* form : {&console, &r.stream}) {
			const std::vector<Image> levels = decoded_levels(*form, i);
			ASSERT_EQ(levels.size(), all[i].rgba.size());
			for (std::size_t l = 0; l < levels.size(); l++)
				ASSERT_EQ(levels[l].rgba, all[i].rgba[l]) << "level " << l;
		}
		const std::optional<Image> png = decode_png(encode_png(decoded_levels(console, i)[0]));
		ASSERT_TRUE(png);
		EXPECT_EQ(png->width, all[i].width);
		EXPECT_EQ(png->rgba, all[i].rgba[0]);
	}
}

// One DXT block as a console texture: 4x4, one level.
std::vector<std::uint8_t> decode_block(std::uint8_t compression, bytes block)
{
	samples::SampleTexture t = samples::make_sample_texture("b", compression == console_dxt1 ? samples::TexelFormat::dxt1 : samples::TexelFormat::dxt3,
	                                                        samples::Pattern::gradient, 4, 4, false);
	t.texels[0].assign(block.begin(), block.end());
	const buffer d = samples::texture_dictionary({t}, samples::Form::native);
	return decoded_levels(d, 0).at(0).rgba;
}

// The console decodes DXT1 with three colours and transparent black when
// colour 0 <= colour 1, but DXT3 and DXT5 colour blocks always with four.
TEST(Dxt, ColourBlockModes)
{
	// Colour 0 pure blue (0x001F) below colour 1 pure red (0xF800); texel 0
	// index 3, texel 1 index 2.
	const std::array<std::uint8_t, 8> colour{0x1F, 0x00, 0x00, 0xF8, 0b1011, 0, 0, 0};
	std::vector<std::uint8_t> dxt1 = decode_block(console_dxt1, colour);
	EXPECT_EQ((std::array{dxt1[0], dxt1[1], dxt1[2], dxt1[3]}), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
	EXPECT_EQ((std::array{dxt1[4], dxt1[6], dxt1[7]}), (std::array<std::uint8_t, 3>{127, 127, 255}));
	std::array<std::uint8_t, 16> dxt3{};
	dxt3.fill(0xFF);
	std::copy(colour.begin(), colour.end(), dxt3.begin() + 8);
	std::vector<std::uint8_t> four = decode_block(console_dxt3, dxt3);
	EXPECT_EQ((std::array{four[0], four[2], four[3]}), (std::array<std::uint8_t, 3>{170, 85, 255})); // 1/3 blue, 2/3 red
	EXPECT_EQ((std::array{four[4], four[6], four[7]}), (std::array<std::uint8_t, 3>{85, 170, 255}));
}

// A dictionary of one 8888 sample texture whose console Struct body has
// been edited.
buffer damaged(const std::function<void(buffer&)>& edit)
{
	buffer native = samples::console_texture_native(samples::make_sample_texture("victim", samples::TexelFormat::c8888,
	                                                                              samples::Pattern::gradient, 8, 4, true));
	buffer body(native.begin() + 24, native.begin() + 24 + load_u32(native, 16));
	edit(body);
	buffer rest(native.begin() + 24 + load_u32(native, 16), native.end());
	native.resize(24);
	store_u32(native, 16, std::uint32_t(body.size()));
	native.insert(native.end(), body.begin(), body.end());
	native.insert(native.end(), rest.begin(), rest.end());
	store_u32(native, 4, std::uint32_t(native.size() - 12));
	const buffer head{1, 0, 5, 0};
	return samples::parent_chunk(format::type_texture_dictionary,
	                             {samples::chunk(format::type_struct, head), native, samples::chunk(format::type_extension, {})});
}

TEST(Dictionary, DamageIsReportedWithWhatAndWhere)
{
	struct Case {
		const char* what;
		std::function<void(buffer&)> edit;
	};
	const std::vector<Case> cases = {
	    {"size disagrees with its levels", [](buffer& b) { store_u32(b, 88, load_u32(b, 88) + 4); }},
	    {"swizzled size is not a power of two (12x4)", [](buffer& b) { store_u16(b, 80, 12); }},
	    {"unknown format (raster format 0x8700)", [](buffer& b) { store_u32(b, 72, 0x8700); }},
	    {"unknown format (compression 0xD)", [](buffer& b) { b[87] = 0x0D; }},
	    {"depth does not suit the format", [](buffer& b) { b[84] = 16; }},
	    {"data past the chunk", [](buffer& b) { b.resize(b.size() - 4); }},
	    {"bytes after the last level (4 bytes)", [](buffer& b) { b.resize(b.size() + 4); }},
	    {"Struct too short", [](buffer& b) { b.resize(60); }},
	    {"unknown platform (platform 6)", [](buffer& b) { b[0] = 6; }},
	};
	for (const Case& c : cases) {
		const DictionaryResult r = convert_dictionary(damaged(c.edit));
		EXPECT_EQ(r.status, DictionaryResult::Status::failed) << c.what;
		EXPECT_TRUE(r.stream.empty());
		EXPECT_NE(r.error.find(c.what), std::string::npos) << r.error;
		EXPECT_NE(r.error.find("at offset 28"), std::string::npos) << r.error;
	}
	EXPECT_NE(convert_dictionary(damaged([](buffer& b) { b[84] = 16; })).error.find("\"victim\""), std::string::npos);
	// The palette counted in the total size is accepted.
	EXPECT_EQ(convert_dictionary(damaged([](buffer&) {})).status, DictionaryResult::Status::converted);

	// Damage to the chunk structure: every cut of the stream, and bytes after it.
	const buffer good = damaged([](buffer&) {});
	for (std::size_t n = 0; n < good.size(); n += 7) {
		const DictionaryResult r = convert_dictionary(bytes(good).first(n));
		ASSERT_EQ(r.status, DictionaryResult::Status::failed) << n;
		ASSERT_FALSE(r.error.empty());
	}
	buffer longer = good;
	longer.push_back(0);
	EXPECT_EQ(convert_dictionary(longer).error, "1 bytes after the last chunk");
}

// A PC texture's every level states its size, which its sides decide; a
// size one word off is damage, for every sample format, even where the
// levels still fill the Struct exactly.
TEST(Native, PcLevelStatingAnotherSizeIsRefused)
{
	const buffer pc = samples::texture_dictionary(samples::sample_textures(), samples::Form::generic);
	const stream::Tree tree = stream::parse_tree(pc);
	for (const stream::Chunk* native : stream::children_of_type(tree.top.at(0), format::type_texture_native)) {
		buffer body(native->children.at(0).body.begin(), native->children.at(0).body.end());
		NativeTexture t;
		ASSERT_EQ(read_native(body, t).problem, NativeProblem::none);
		const std::size_t stated = std::size_t(t.levels.back().data() - body.data()) - 4;
		store_u32(body, stated, load_u32(body, stated) + 4);
		const ReadResult r = read_native(body, t);
		EXPECT_EQ(r.problem, NativeProblem::size_disagrees) << format::fixed_name(t.name_field);
		EXPECT_NE(r.detail.find("states"), std::string::npos) << r.detail;
	}
}

} // namespace
} // namespace kestrun::texture
