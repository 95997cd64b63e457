// How many threads a host program keeps busy at once, a budget that its filters ask before they
// start threads of their own. A conversion on its own may use every core; a host that runs N
// conversions side by side sets the budget to N threads in all: each of its workers counts as
// one, and a filter adds helpers only while other workers leave cores unused.
#pragma once

#include "utl/api.h"

namespace utl {

// Threads the machine runs at once; at least 1.
QXIO_API unsigned Cores();

// Makes the budget `threads` for as long as the object lives, the threads that hold a
// BusyThread counting against it; the budget before it comes back afterwards.
class QXIO_API ThreadBudget {
public:
  explicit ThreadBudget(unsigned threads);
  ~ThreadBudget();
  ThreadBudget(const ThreadBudget&) = delete;
  ThreadBudget& operator=(const ThreadBudget&) = delete;

private:
  int m_previous;
};

// The calling thread counted against the budget while the object lives, whether or not the
// budget has room: a host's worker thread.
class QXIO_API BusyThread {
public:
  BusyThread();
  ~BusyThread();
  BusyThread(const BusyThread&) = delete;
  BusyThread& operator=(const BusyThread&) = delete;
};

// Up to `wanted` threads beyond the caller's own, taken from what the budget has left while the
// object lives: none when the budget is used up.
class QXIO_API ExtraThreads {
public:
  explicit ExtraThreads(unsigned wanted);
  ~ExtraThreads();
  ExtraThreads(const ExtraThreads&) = delete;
  ExtraThreads& operator=(const ExtraThreads&) = delete;

  unsigned Count() const { return m_count; }

private:
  unsigned m_count = 0;
};

}  // namespace utl
