// The batch in this process, where the test can make memory run out at a
// chosen allocation whatever the machine's limits.
#include "driver/driver.h"

#include "samples/samples.h"
#include "support/scratch_dir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <new>

namespace {

// While set, every allocation of at least this many bytes fails.
std::size_t failing_size = 0;

void* allocate(std::size_t size)
{
	if (failing_size != 0 && size >= failing_size)
		throw std::bad_alloc();
	if (void* p = std::malloc(size ? size : 1))
		return p;
	throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace kestrun;
using namespace kestrun::testing;

// The second file's bytes cannot be had: the run stops there with exit 3 and
// "out of memory", keeping the first file's output and writing nothing more.
TEST(Batch, OutOfMemoryStopsAtOnce)
{
	const samples::SampleFile dictionary = samples::sample_set(7, 0, 1).at(0);
	ScratchDir dir;
	dir.write("a.txd", dictionary.container);
	dir.write("b.txd", {});
	std::filesystem::resize_file(dir.path() / "b.txd", 32u << 20);
	dir.write("c.txd", dictionary.container);

	::testing::internal::CaptureStdout();
	failing_size = 16u << 20; // above anything a.txd needs
	const int status = run_in_folder(dir.path().string(), "*");
	failing_size = 0;
	const std::string out = ::testing::internal::GetCapturedStdout();

	EXPECT_EQ(status, exit_out_of_memory);
	EXPECT_EQ(out, "kestrun starting...\nProcessing file a.txd...\nProcessing file b.txd...\nout of memory\n");
	EXPECT_EQ(dir.read("output/a.txd"), dictionary.stream);
	EXPECT_EQ(dir.list("output"), (std::vector<std::string>{"a.txd"}));
}

TEST(FileNames, ModelNamesEndInLowerCaseDff)
{
	EXPECT_TRUE(kestrun::is_model_name("car.dff"));
	EXPECT_TRUE(kestrun::is_model_name("cardff"));
	EXPECT_TRUE(kestrun::is_model_name("dff"));
	EXPECT_FALSE(kestrun::is_model_name("car.DFF"));
	EXPECT_FALSE(kestrun::is_model_name("car.dFf"));
	EXPECT_FALSE(kestrun::is_model_name("ff"));
}

} // namespace
