// qxhost's batch scheduler: each work held until the test lets it end, step by step.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "batch/batchworkers.h"
#include "utl/threadbudget.h"

namespace qxhost {
namespace {

using Indices = std::vector<std::size_t>;

// RunInOrder on a thread of its own, each work running until Open(i). The cost of `late` is told
// only once the next one's has been, and its worker had a chance to wait for its turn.
class Held {
public:
  Held(unsigned jobs, std::uint64_t budget, std::vector<std::uint64_t> costs,
       std::size_t late = ~std::size_t{0})
      : m_costs(std::move(costs)), m_open(m_costs.size()), m_runner([this, jobs, budget, late] {
          const std::thread::id caller = std::this_thread::get_id();
          RunInOrder(
              m_costs.size(), jobs, budget,
              [this, late](std::size_t i) {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_asked = m_asked || i == late + 1;
                Await(lock, [&] { return i != late || m_asked; });
                lock.unlock();
                if (i == late) std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return m_costs[i];
              },
              [this](std::size_t i) {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_started.insert(i);
                Await(lock, [&] { return m_open[i] != 0; });
                m_open[i] = 2;  // ended
              },
              [this, caller](std::size_t i) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                EXPECT_TRUE(m_open[i] == 2 && std::this_thread::get_id() == caller) << "done " << i;
                m_done.push_back(i);
                m_changed.notify_all();
              });
        }) {}
  ~Held() { m_runner.join(); }

  void Open(std::size_t i) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_open[i] = 1;
    m_changed.notify_all();
  }
  // The works started, sorted, once `started` of them have and others had a chance to.
  Indices Started(std::size_t started) {
    std::unique_lock<std::mutex> lock(m_mutex);
    Await(lock, [&] { return m_started.size() >= started; });
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    lock.lock();
    return Indices(m_started.begin(), m_started.end());
  }
  // done's calls once there are `done` of them: each after its work ended, on RunInOrder's thread.
  Indices Done(std::size_t done) {
    std::unique_lock<std::mutex> lock(m_mutex);
    Await(lock, [&] { return m_done.size() >= done; });
    return m_done;
  }

private:
  // A scheduler that never gets there would hang the test: it ends the program instead.
  template <class Ready>
  void Await(std::unique_lock<std::mutex>& lock, Ready ready) {
    m_changed.notify_all();
    if (!m_changed.wait_for(lock, std::chrono::seconds(30), ready)) std::abort();
  }

  std::vector<std::uint64_t> m_costs;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<int> m_open;  // 0 held, 1 let end, 2 ended
  std::multiset<std::size_t> m_started;
  Indices m_done;
  bool m_asked = false;
  std::thread m_runner;
};

TEST(Scheduler, AdmitsInOrderWhatFitsTheBudget) {
  Held held(3, 10, {6, 6, 4, 20, 3});
  EXPECT_EQ(held.Started(1), Indices({0}));  // 6 waits; 4 would fit, but does not overtake it
  held.Open(0);
  EXPECT_EQ(held.Done(1), Indices({0}));           // while the next ones are under way
  EXPECT_EQ(held.Started(3), Indices({0, 1, 2}));  // 6 + 4 fill the budget
  held.Open(1), held.Open(2);
  EXPECT_EQ(held.Started(4), Indices({0, 1, 2, 3}));  // alone over the budget, nothing beside it
  held.Open(3), held.Open(4);
  EXPECT_EQ(held.Done(5), Indices({0, 1, 2, 3, 4}));
}

// jobs works at once, their workers taking the whole thread budget, which comes back as it was.
TEST(Scheduler, JobsAtOnceEachOnceOnTheThreadBudget) {
  const utl::ThreadBudget outer(5);
  {
    Held held(3, 100, std::vector<std::uint64_t>(6, 1), 1);  // 2 waits its turn as 1 starts
    EXPECT_EQ(held.Started(3), Indices({0, 1, 2}));
    EXPECT_EQ(utl::ExtraThreads(1).Count(), 0u);
    for (std::size_t i = 0; i < 6; ++i) held.Open(i);
    EXPECT_EQ(held.Started(6), Indices({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(held.Done(6), Indices({0, 1, 2, 3, 4, 5}));
  }
  EXPECT_EQ(utl::ExtraThreads(64).Count(), 5u);

  RunInOrder(
      0, 3, 100, [](std::size_t) { return 1; },
      [](std::size_t) { ADD_FAILURE() << "work without a file"; },
      [](std::size_t) { ADD_FAILURE() << "done without a file"; });
}

}  // namespace
}  // namespace qxhost
