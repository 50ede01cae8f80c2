// Reading back what the export wrote: the JSON and BIN chunks of a GLB, the
// values of an accessor, and the validator run on files.
#pragma once

#include "common/bytes.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace kestrun::testing {

struct Glb {
	nlohmann::json json;
	std::vector<std::uint8_t> bin;
};

// Fails the current test (and returns an empty Glb) when `glb` is malformed.
Glb read_glb(const std::vector<std::uint8_t>& glb);

// The values of a scalar or vector accessor, as doubles, element by element.
std::vector<double> accessor_values(const Glb& glb, std::size_t accessor);

// scripts/validate_gltf.sh on the files: true when it passes them all;
// its report goes to `report`.
bool validate_gltf(const std::vector<std::filesystem::path>& files, std::string& report);

} // namespace kestrun::testing

// Fails the test unless the validator passes `files`. The validator runs
// under Node on the build machine, which a Windows build under wine cannot
// start: there the test, all its other checks done, ends as skipped.
#ifdef _WIN32
#define EXPECT_VALID_GLTF(files) GTEST_SKIP() << "the glTF validator runs on the build machine, not under wine"
#else
#define EXPECT_VALID_GLTF(files)                                                                                       \
	do {                                                                                                               \
		std::string validator_report;                                                                                  \
		EXPECT_TRUE(::kestrun::testing::validate_gltf(files, validator_report)) << validator_report;                   \
	} while (false)
#endif
