#include "kit/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrun::kit {

namespace {

struct Shared {
	std::atomic<std::size_t> next{0};
	std::atomic<bool> stop{false};
	std::mutex mutex;
	std::condition_variable done_changed;
	std::vector<bool> done; // guarded by mutex
};

void work_loop(std::size_t count, const std::function<void(std::size_t)>& work, Shared& shared)
{
	for (;;) {
		const std::size_t i = shared.next++;
		if (i >= count || shared.stop)
			return;
		work(i);
		{
			const std::lock_guard<std::mutex> lock(shared.mutex);
			shared.done[i] = true;
		}
		shared.done_changed.notify_all();
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
	Shared shared;
	shared.done.assign(count, false);
	std::vector<std::jthread> threads;
	for (unsigned t = 0; t < std::min<std::size_t>(workers, count); t++)
		threads.emplace_back([&] { work_loop(count, work, shared); });
	try {
		for (std::size_t i = 0; i < count; i++) {
			{
				std::unique_lock<std::mutex> lock(shared.mutex);
				shared.done_changed.wait(lock, [&] { return bool(shared.done[i]); });
			}
			deliver(i);
		}
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
