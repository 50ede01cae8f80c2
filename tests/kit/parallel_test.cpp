// The kit's work list: every item worked once, delivered in order, whatever
// order the workers finish in.
#include "kit/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kestrun::kit {
namespace {

TEST(RunInOrder, DeliversInOrderWhateverOrderWorkEnds)
{
	for (unsigned workers : {1u, 2u, 3u, 8u}) {
		SCOPED_TRACE(workers);
		constexpr std::size_t count = 300;
		std::vector<std::atomic<int>> worked(count);
		std::vector<std::size_t> delivered;
		run_in_order(
		    count, workers,
		    [&](std::size_t i) {
			    // Every seventh item is slow, so that later ones end first.
			    if (i % 7 == 0)
				    std::this_thread::sleep_for(std::chrono::microseconds(200));
			    worked[i]++;
		    },
		    [&](std::size_t i) {
			    EXPECT_EQ(worked[i].load(), 1);
			    delivered.push_back(i);
		    });
		ASSERT_EQ(delivered.size(), count);
		for (std::size_t i = 0; i < count; i++)
			EXPECT_EQ(delivered[i], i);
	}
}

TEST(RunInOrder, AThrowingDeliveryStopsTheWork)
{
	// Working every item would take the others a second at least.
	constexpr std::size_t count = 20000;
	std::atomic<std::size_t> worked{0};
	EXPECT_THROW(run_in_order(
	                 count, 3,
	                 [&](std::size_t) {
		                 std::this_thread::sleep_for(std::chrono::microseconds(100));
		                 worked++;
	                 },
	                 [](std::size_t i) {
		                 if (i == 10)
			                 throw std::runtime_error("stdout gone");
	                 }),
	             std::runtime_error);
	EXPECT_LT(worked.load(), count);
}

} // namespace
} // namespace kestrun::kit
