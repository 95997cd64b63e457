#include "utl/threadbudget.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace utl {

namespace {

// Threads that may still start: the thread that runs a conversion on its own is not counted
// here, so the budget starts at one less than the cores.
std::atomic<int>& Spare() {
  static std::atomic<int> spare(static_cast<int>(Cores()) - 1);
  return spare;
}

}  // namespace

unsigned Cores() {
  return std::max(1u, std::thread::hardware_concurrency());
}

ThreadBudget::ThreadBudget(unsigned threads)
    : m_previous(Spare().exchange(static_cast<int>(threads))) {}

ThreadBudget::~ThreadBudget() {
  Spare().store(m_previous);
}

BusyThread::BusyThread() {
  Spare().fetch_sub(1);
}

BusyThread::~BusyThread() {
  Spare().fetch_add(1);
}

ExtraThreads::ExtraThreads(unsigned wanted) {
  std::atomic<int>& spare = Spare();
  int left = spare.load();
  int take = 0;
  do {
    take = std::clamp(left, 0, static_cast<int>(wanted));
  } while (take > 0 && !spare.compare_exchange_weak(left, left - take));
  m_count = static_cast<unsigned>(take);
}

ExtraThreads::~ExtraThreads() {
  Spare().fetch_add(static_cast<int>(m_count));
}

}  // namespace utl
