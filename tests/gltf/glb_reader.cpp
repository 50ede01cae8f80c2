#include "gltf/glb_reader.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kestrun::testing {

Glb read_glb(const std::vector<std::uint8_t>& glb)
{
	Glb out;
	EXPECT_GE(glb.size(), 20u);
	if (glb.size() < 20 || load_u32(glb, 0) != 0x46546C67 || load_u32(glb, 8) != glb.size()) {
		ADD_FAILURE() << "not a GLB";
		return out;
	}
	const std::uint32_t json_length = load_u32(glb, 12);
	EXPECT_EQ(json_length % 4, 0u);
	EXPECT_TRUE(fits(glb.size(), 20, json_length));
	out.json = nlohmann::json::parse(glb.begin() + 20, glb.begin() + 20 + json_length);
	const std::size_t bin_at = 20 + json_length;
	if (fits(glb.size(), bin_at, 8)) {
		EXPECT_EQ(load_u32(glb, bin_at + 4), 0x004E4942u);
		out.bin.assign(glb.begin() + std::ptrdiff_t(bin_at + 8), glb.end());
	}
	return out;
}

std::vector<double> accessor_values(const Glb& glb, std::size_t index)
{
	const nlohmann::json& accessor = glb.json["accessors"][index];
	const nlohmann::json& view = glb.json["bufferViews"][accessor["bufferView"].get<std::size_t>()];
	const std::size_t width = std::map<std::string, std::size_t>{{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}}.at(accessor["type"]);
	const std::uint32_t type = accessor["componentType"];
	const std::size_t size = type == 5121 ? 1 : type == 5123 ? 2 : 4;
	const std::size_t start = view["byteOffset"].get<std::size_t>() + accessor.value("byteOffset", 0u);
	std::vector<double> values;
	const std::size_t count = accessor["count"].get<std::size_t>() * width;
	if (!fits(glb.bin.size(), start, count * size)) {
		ADD_FAILURE() << "accessor " << index << " past the buffer";
		return values;
	}
	for (std::size_t i = 0; i < count; i++) {
		const std::size_t at = start + i * size;
		values.push_back(type == 5121 ? glb.bin[at]
		                 : type == 5123 ? load_u16(glb.bin, at)
		                 : type == 5125 ? double(load_u32(glb.bin, at))
		                                : double(load_f32(glb.bin, at)));
	}
	return values;
}

#ifndef _WIN32
bool validate_gltf(const std::vector<std::filesystem::path>& files, std::string& report)
{
	std::string command = std::string(KESTRUN_SOURCE_DIR) + "/scripts/validate_gltf.sh";
	for (const auto& f : files)
		command += " '" + f.string() + "'";
	command += " 2>&1";
	report.clear();
	FILE* pipe = popen(command.c_str(), "r");
	if (pipe == nullptr)
		return false;
	char buffer[4096];
	while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
		report.append(buffer, n);
	return pclose(pipe) == 0;
}
#endif

} // namespace kestrun::testing
