// A system that delivers reads and writes piecemeal, as a signal in the middle of a transfer or
// a pipe makes it: while a Piecemeal object lives, each read, write and pwrite of a file other
// than the standard streams moves at most a few bytes. Linux only (where HAVE_PIECEMEAL is set):
// the test program's own read, write, pwrite and close stand in front of the C library's.
#pragma once

#if defined(__linux__)
#define HAVE_PIECEMEAL 1

namespace vemra::test {

class Piecemeal {
public:
  Piecemeal();
  ~Piecemeal();
  // Each pwrite fails with error from now on; 0 lets them through again.
  void FailWritesInPlace(int error);
  // Each close releases its file but fails with error, as file systems that report a delayed
  // write error there do; 0 lets them through again.
  void FailCloses(int error);
  Piecemeal(const Piecemeal&) = delete;
  Piecemeal& operator=(const Piecemeal&) = delete;
};

}  // namespace vemra::test

#endif
