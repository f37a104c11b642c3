// Work shared among threads: the number of cores a run may use, and one call
// that runs the shares of a piece of work side by side.
#pragma once

#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace tk {

// Cores this process may run on (its CPU affinity), at least 1.
int available_cores();

// The thread count of a run: `requested` when it is 1 or more, else every
// available core.
int thread_count(int requested);

// Runs work(k) for every share k = 0 ... shares - 1 and returns when all have
// ended. Share 0 runs on the calling thread, the others each on a thread of
// their own; a share whose thread cannot be started (an address-space limit,
// a process limit) runs on the calling thread after share 0. The shares must
// not depend on each other. The first exception of any share is raised here
// once every share has ended.
template <class Work>
void run_shares(int shares, Work&& work) {
    if (shares <= 1) {
        work(0);
        return;
    }
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(shares));
    auto guarded = [&work, &failures](int k) noexcept {
        try {
            work(k);
        } catch (...) {
            failures[static_cast<std::size_t>(k)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::vector<int> left_over;
    threads.reserve(static_cast<std::size_t>(shares - 1));
    for (int k = 1; k < shares; ++k) {
        try {
            threads.emplace_back(guarded, k);
        } catch (const std::system_error&) {
            left_over.push_back(k);
        }
    }
    guarded(0);
    for (int k : left_over) guarded(k);
    for (std::thread& thread : threads) thread.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

}  // namespace tk
