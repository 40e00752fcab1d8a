// Work on many inputs at once with the results taken in input order: what lets a parallel
// batch print exactly what a serial one prints.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vorlen::cli {

// Runs work(i) for every i below `count` on `threads` threads. The calling thread hands each
// result to deliver(i, result) in order of i, as soon as it and every earlier one are done,
// and calls waiting(done) at least every `tick` while it waits (for a progress line).
template <class Outcome, class Work, class Deliver, class Waiting>
void run_in_order(std::size_t count, unsigned threads, Work work, Deliver deliver, Waiting waiting,
                  std::chrono::milliseconds tick = std::chrono::milliseconds(100)) {
  std::vector<std::optional<Outcome>> outcomes(count);
  std::mutex lock;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  std::size_t done = 0;
  {
    std::vector<std::jthread> workers;
    for (unsigned t = 0; t < threads; ++t) {
      workers.emplace_back([&] {
        for (std::size_t i; (i = next++) < count;) {
          Outcome outcome = work(i);
          std::lock_guard guard(lock);
          outcomes[i] = std::move(outcome);
          ++done;
          finished.notify_one();
        }
      });
    }
    for (std::size_t i = 0; i < count; ++i) {
      std::unique_lock guard(lock);
      while (!outcomes[i]) {
        if (!finished.wait_for(guard, tick, [&] { return outcomes[i].has_value(); })) {
          const std::size_t so_far = done;
          guard.unlock();
          waiting(so_far);
          guard.lock();
        }
      }
      Outcome outcome = std::move(*outcomes[i]);
      outcomes[i].reset();
      const std::size_t so_far = done;
      guard.unlock();
      deliver(i, outcome);
      waiting(so_far);
    }
  }
}

}  // namespace vorlen::cli
