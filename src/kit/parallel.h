// Work over a list on several threads, with its results taken in list order.
#pragma once

#include <cstddef>
#include <functional>

namespace kestrun::kit {

// Calls work(i) for every i below `count` on `workers` threads, the
// calling thread among them, each taking the next i as it becomes free, so
// that at most `workers` items are in hand at once; and calls deliver(i)
// on the calling thread in order of i, between its own items and at the
// end. With one worker, work(i) then deliver(i) for each i in turn. `work`
// must not throw; `deliver` may, and then the other workers finish their
// items and take no more.
void run_in_order(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& work,
                  const std::function<void(std::size_t)>& deliver);

// The machine's hardware threads, at least 1.
unsigned hardware_threads();

} // namespace kestrun::kit
