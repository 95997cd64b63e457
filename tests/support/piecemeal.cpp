#include "piecemeal.h"

#if defined(HAVE_PIECEMEAL)

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

std::atomic<bool> g_piecemeal{false};
std::atomic<int> g_pwriteError{0}, g_closeError{0};

// Odd, so that pieces never meet the buffer's edges.
std::size_t Piece(int fd, std::size_t n) {
  return g_piecemeal.load() && fd > 2 ? std::min<std::size_t>(n, 7) : n;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, std::size_t n) {
  return syscall(SYS_read, fd, buffer, Piece(fd, n));
}

extern "C" ssize_t write(int fd, const void* data, std::size_t n) {
  return syscall(SYS_write, fd, data, Piece(fd, n));
}

extern "C" ssize_t pwrite(int fd, const void* data, std::size_t n, off_t offset) {
  if (g_pwriteError.load() != 0 && fd > 2) return errno = g_pwriteError.load(), -1;
  return syscall(SYS_pwrite64, fd, data, Piece(fd, n), offset);
}

extern "C" int close(int fd) {
  const int closed = static_cast<int>(syscall(SYS_close, fd));
  if (closed == 0 && g_closeError.load() != 0 && fd > 2) return errno = g_closeError.load(), -1;
  return closed;
}

namespace vemra::test {

Piecemeal::Piecemeal() {
  g_piecemeal = true;
}

Piecemeal::~Piecemeal() {
  g_piecemeal = false;
  g_pwriteError = g_closeError = 0;
}

void Piecemeal::FailWritesInPlace(int error) {
  g_pwriteError = error;
}

void Piecemeal::FailCloses(int error) {
  g_closeError = error;
}

}  // namespace vemra::test

#endif
