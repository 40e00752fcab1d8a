#include "pattern/spares.hpp"

#include <array>
#include <utility>

namespace vorlen {

namespace {

constexpr std::size_t kSpareLists = 4;
constexpr std::size_t kSpareBytes = std::size_t{16} << 20;
// A kept list serves a request for fewer values than it holds only while the waste stays
// small: a pattern that is kept for long must not hold memory many times its size.
constexpr std::size_t kSlack = 512;

// Set once this thread's spares are destroyed, so that a pattern destroyed later on the
// thread (a static one, at exit) frees its lists instead of keeping them. Trivially
// destructible, so it outlives the spares.
thread_local bool spares_gone = false;

struct Spares {
  std::array<std::vector<double>, kSpareLists + 1> lists;  // newest first
  std::size_t count = 0;
  std::size_t bytes = 0;

  ~Spares() { spares_gone = true; }

  std::vector<double> take(std::size_t at) {
    std::vector<double> taken = std::move(lists[at]);
    for (std::size_t i = at; i + 1 < count; ++i) lists[i] = std::move(lists[i + 1]);
    lists[--count] = {};
    bytes -= taken.capacity() * sizeof(double);
    return taken;
  }
};

thread_local Spares spares;

bool fits(std::size_t capacity, std::size_t count) {
  return capacity >= count && capacity <= 2 * count + kSlack;
}

}  // namespace

std::vector<double> values_for(std::size_t count) {
  if (count != 0 && !spares_gone) {
    Spares& kept = spares;
    for (std::size_t i = 0; i < kept.count; ++i) {
      if (fits(kept.lists[i].capacity(), count)) return kept.take(i);
    }
  }
  std::vector<double> values;
  values.reserve(count);
  return values;
}

void keep_spare(std::vector<double>&& values) {
  const std::size_t bytes = values.capacity() * sizeof(double);
  if (bytes == 0 || bytes > kSpareBytes || spares_gone) return;
  Spares& kept = spares;
  values.clear();
  for (std::size_t i = kept.count; i > 0; --i) kept.lists[i] = std::move(kept.lists[i - 1]);
  kept.lists[0] = std::move(values);
  ++kept.count;
  kept.bytes += bytes;
  while (kept.count > kSpareLists || kept.bytes > kSpareBytes) {
    kept.bytes -= kept.lists[kept.count - 1].capacity() * sizeof(double);
    kept.lists[--kept.count] = {};
  }
}

}  // namespace vorlen
