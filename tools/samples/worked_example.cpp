#include "samples/samples.h"

namespace kestrun::samples {

namespace {

// A Material List of size 36 whose Struct body starts with the count 1.
buffer material_list_of(std::uint32_t stamp)
{
	return chunk(format::type_material_list, chunk(format::type_struct, words({1, 0xFFFFFFFF, 2, 3, 4, 5}), stamp), stamp);
}

const std::array<std::array<float, 3>, 4> small_positions = {{{0.5f, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}}};

} // namespace

buffer worked_example_native(std::uint32_t stamp)
{
	// flags 0x0002, texture-set count 1, native flags 1, T 2, V 4, one morph
	// target
	buffer geometry_struct = {0x02, 0x00, 1, 1};
	put_bytes(geometry_struct, words({2, 4, 1}));
	for (float f : {1.5f, 2.5f, 3.5f, 4.5f})
		put_f32(geometry_struct, f);
	put_bytes(geometry_struct, buffer{9, 9, 9, 9, 9, 9, 9, 9});

	buffer native_body(52, 0);
	put_bytes(native_body, words({0, 0, 6, 0, 0, 0})); // one descriptor, index count 6
	put_bytes(native_body, buffer(4, 0));
	for (std::uint16_t i : {0, 1, 2, 2, 1, 3})
		put_u16(native_body, i);
	for (const auto& p : small_positions)
		for (float f : p)
			put_f32(native_body, f);
	const buffer extension = cat({chunk(format::type_bin_mesh, words({0, 1, 6, 6, 0}), stamp),
	                              chunk(format::type_native_data, native_body, stamp), buffer(16, 0x5A)});
	const buffer geometry = parent_chunk(format::type_geometry,
	                                     {chunk(format::type_struct, geometry_struct, stamp), material_list_of(stamp),
	                                      chunk(format::type_extension, extension, stamp)},
	                                     stamp);
	const buffer list = cat({chunk(format::type_struct, words({1}), stamp), geometry});
	return parent_chunk(format::type_clump,
	                    {chunk(format::type_struct, words({1, 0, 0}), stamp), chunk(format::type_geometry_list, list, stamp),
	                     chunk(0x99, buffer(28, 0x33), stamp), chunk(0x98, buffer{}, stamp)},
	                    stamp);
}

buffer worked_example_generic()
{
	const std::uint32_t t = target_stamp;
	buffer body = {0x02, 0x00, 0, 0};
	put_bytes(body, words({2, 4, 1}));
	for (int k = 0; k < 3; k++)
		put_f32(body, 1.0f);
	for (std::uint16_t v : {1, 0, 0, 2, 1, 2, 0, 3}) // triangles (0,1,2) and (2,1,3)
		put_u16(body, v);
	for (float f : {1.5f, 2.5f, 3.5f, 4.5f})
		put_f32(body, f);
	put_bytes(body, words({1, 0}));
	for (const auto& p : small_positions)
		for (float f : p)
			put_f32(body, f);

	const buffer bin_mesh = chunk(format::type_bin_mesh, words({0, 1, 6, 6, 0, 0, 1, 2, 2, 1, 3}), t);
	const buffer geometry = parent_chunk(
	    format::type_geometry, {chunk(format::type_struct, body, t), material_list_of(t), chunk(format::type_extension, bin_mesh, t)}, t);
	const buffer list = cat({chunk(format::type_struct, words({1}), t), geometry});
	return parent_chunk(format::type_clump,
	                    {chunk(format::type_struct, words({1, 0, 0}), t), chunk(format::type_geometry_list, list, t),
	                     chunk(0x99, buffer(28, 0x33), t), chunk(0x98, buffer{}, t)},
	                    t);
}

} // namespace kestrun::samples
