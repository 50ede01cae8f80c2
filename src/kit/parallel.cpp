#include "kit/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrun::kit {

namespace {

constexpr std::size_t nobody = std::numeric_limits<std::size_t>::max();

struct Shared {
	std::size_t count;
	const std::function<void(std::size_t)>& work;
	std::atomic<std::size_t> next{0};
	std::atomic<bool> stop{false};
	std::mutex mutex;
	std::condition_variable awaited_done;
	std::vector<bool> done;         // guarded by mutex
	std::size_t awaited = nobody;   // guarded by mutex: the item the calling thread sleeps for

	Shared(std::size_t items, const std::function<void(std::size_t)>& work_item)
	    : count(items), work(work_item), done(items, false)
	{
	}
};

// Takes the next item and works it; false when none is left. Only the
// item the calling thread sleeps for wakes it: a wake-up per item costs
// more than small items do.
bool work_next(Shared& shared)
{
	const std::size_t i = shared.next++;
	if (i >= shared.count || shared.stop)
		return false;
	shared.work(i);
	bool wake = false;
	{
		const std::lock_guard<std::mutex> lock(shared.mutex);
		shared.done[i] = true;
		wake = i == shared.awaited;
	}
	if (wake)
		shared.awaited_done.notify_one();
	return true;
}

// Delivers the items done, in order from `delivered`; with `wait`, sleeps
// for each until every item is delivered.
void deliver_done(Shared& shared, std::size_t& delivered, const std::function<void(std::size_t)>& deliver, bool wait)
{
	for (; delivered < shared.count; delivered++) {
		{
			std::unique_lock<std::mutex> lock(shared.mutex);
			if (!shared.done[delivered]) {
				if (!wait)
					return;
				shared.awaited = delivered;
				shared.awaited_done.wait(lock, [&] { return bool(shared.done[delivered]); });
				shared.awaited = nobody;
			}
		}
		deliver(delivered);
	}
}

} // namespace

void run_in_order(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& work,
                  const std::function<void(std::size_t)>& deliver)
{
	if (workers <= 1 || count <= 1) {
		for (std::size_t i = 0; i < count; i++) {
			work(i);
			deliver(i);
		}
		return;
	}
	Shared shared(count, work);
	std::vector<std::jthread> threads;
	// A thread the system will not give means fewer workers, not a failure:
	// the calling thread works in any case.
	try {
		for (unsigned t = 1; t < std::min<std::size_t>(workers, count); t++)
			threads.emplace_back([&] {
				while (work_next(shared)) {
				}
			});
	} catch (const std::system_error&) {
	}
	std::size_t delivered = 0;
	try {
		// The calling thread is one of the workers, and delivers between
		// its items what is done by then.
		while (work_next(shared))
			deliver_done(shared, delivered, deliver, false);
		deliver_done(shared, delivered, deliver, true);
	} catch (...) {
		shared.stop = true;
		throw; // the threads join as they go
	}
}

unsigned hardware_threads()
{
	return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace kestrun::kit
