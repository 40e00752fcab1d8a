// Work on many inputs at once with the results taken in input order: what lets a parallel
// batch print exactly what a serial one prints.
#pragma once

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
// Workers run at most `window` items ahead of delivery, so the results held at any time do
// not grow with the batch. Within that window they never wait for the calling thread, and
// they wake it only when the window is full or the batch done; otherwise it takes what is
// ready once a tick. Waking a thread per item would cost two system calls per item and, on a
// busy machine, a wait for the scheduler each time.
template <class Outcome, class Work, class Deliver, class Waiting>
void run_in_order(std::size_t count, unsigned threads, Work work, Deliver deliver, Waiting waiting,
                  std::chrono::milliseconds tick = std::chrono::milliseconds(100)) {
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      Outcome outcome = work(i);
      deliver(i, outcome);
      waiting(i + 1);
    }
    return;
  }
  const std::size_t window = 256 * static_cast<std::size_t>(threads);
  std::vector<std::optional<Outcome>> slots(window);  // item i waits in slot i % window
  std::mutex lock;
  std::condition_variable finished, room;
  std::size_t next = 0, delivered = 0, done = 0, blocked = 0;
  const auto worker = [&] {
    std::unique_lock guard(lock);
    for (;;) {
      if (next < count && next >= delivered + window) {
        finished.notify_one();
        ++blocked;
        room.wait(guard, [&] { return next >= count || next < delivered + window; });
        --blocked;
      }
      if (next >= count) return;
      const std::size_t i = next++;
      guard.unlock();
      Outcome outcome = work(i);
      guard.lock();
      slots[i % window] = std::move(outcome);
      if (++done == count) finished.notify_one();
    }
  };
  std::vector<std::jthread> workers;
  for (unsigned t = 0; t < threads; ++t) workers.emplace_back(worker);
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_lock guard(lock);
    std::optional<Outcome>& slot = slots[i % window];
    while (!finished.wait_for(guard, tick, [&] { return slot.has_value(); })) {
      const std::size_t so_far = done;
      guard.unlock();
      waiting(so_far);
      guard.lock();
    }
    Outcome outcome = std::move(*slot);
    slot.reset();
    ++delivered;
    const std::size_t so_far = done;
    const bool wake = blocked > 0;
    guard.unlock();
    if (wake) room.notify_all();
    deliver(i, outcome);
    waiting(so_far);
  }
}

}  // namespace vorlen::cli
