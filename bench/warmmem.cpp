// Touches and frees memory, so that the command that bench/compare times next finds memory
// that the machine already holds. Some virtual machines hand memory that has stayed free for
// a few seconds back to their host, and the next first touch of it then costs every program
// far more than it would on a machine of its own.
#include <cstdio>
#include <cstdlib>
#include <cstdint>

#if defined(__linux__)
#  include <sys/mman.h>
#endif

int main(int argc, char** argv) {
  const long mebibytes = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (mebibytes < 1) {
    std::fputs("usage: vemra_warmmem MIB\n", stderr);
    return 2;
  }
  const std::size_t bytes = static_cast<std::size_t>(mebibytes) << 20;
#if defined(__linux__)
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return 1;
  // Huge pages where the system offers them, as the images' own allocations ask for.
  madvise(memory, bytes, MADV_HUGEPAGE);
#else
  void* memory = std::malloc(bytes);
  if (memory == nullptr) return 1;
#endif
  volatile std::uint8_t* const p = static_cast<std::uint8_t*>(memory);
  for (std::size_t i = 0; i < bytes; i += 4096) p[i] = 1;
#if defined(__linux__)
  munmap(memory, bytes);
#else
  std::free(memory);
#endif
  return 0;
}
