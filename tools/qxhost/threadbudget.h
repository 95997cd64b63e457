// How many threads qxhost keeps busy at once. A conversion on its own may use every core; a
// batch run with -j N keeps to N threads in all: each worker counts as one, and a worker's PNG
// encoder adds helpers only while other workers leave cores unused (at the end of a batch, say).
#pragma once

namespace qxhost {

// Threads the machine runs at once; at least 1.
unsigned Cores();

// Makes the budget `threads` for as long as the object lives, the threads that hold a
// BusyThread counting against it; the budget before it comes back afterwards.
class ThreadBudget {
public:
  explicit ThreadBudget(unsigned threads);
  ~ThreadBudget();
  ThreadBudget(const ThreadBudget&) = delete;
  ThreadBudget& operator=(const ThreadBudget&) = delete;

private:
  int m_previous;
};

// The calling thread counted against the budget while the object lives, whether or not the
// budget has room: a batch worker's own thread.
class BusyThread {
public:
  BusyThread();
  ~BusyThread();
  BusyThread(const BusyThread&) = delete;
  BusyThread& operator=(const BusyThread&) = delete;
};

// Up to `wanted` threads beyond the caller's own, taken from what the budget has left while the
// object lives: none when the budget is used up.
class ExtraThreads {
public:
  explicit ExtraThreads(unsigned wanted);
  ~ExtraThreads();
  ExtraThreads(const ExtraThreads&) = delete;
  ExtraThreads& operator=(const ExtraThreads&) = delete;

  unsigned Count() const { return m_count; }

private:
  unsigned m_count = 0;
};

}  // namespace qxhost
