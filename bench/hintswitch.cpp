// Loaded with LD_PRELOAD by bench/hugepages: changes what becomes of the huge-page hint on the
// image memory, so that one build can be timed with the hint, without it, and with the memory
// populated in one call instead. VEMRA_HINT: "keep" (or unset), "drop", "populate" (no hint;
// MADV_POPULATE_WRITE faults the pages in within one system call).
#include <dlfcn.h>
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

extern "C" int madvise(void* address, std::size_t length, int advice) {
  using Madvise = int (*)(void*, std::size_t, int);
  static const auto real = reinterpret_cast<Madvise>(dlsym(RTLD_NEXT, "madvise"));
  const char* mode = std::getenv("VEMRA_HINT");
  if (advice != MADV_HUGEPAGE || mode == nullptr) return real(address, length, advice);
  if (std::strcmp(mode, "drop") == 0) return 0;
  if (std::strcmp(mode, "populate") == 0) return real(address, length, MADV_POPULATE_WRITE);
  return real(address, length, advice);
}
