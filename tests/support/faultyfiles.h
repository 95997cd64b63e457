// Files that fail on demand, for the test programs linked to the host library's fault-injection
// build (qxio_faulty): its system layer passes every call on to the real one, except those that
// a fault set here makes fail, the way a full or broken disk would.
#pragma once

#include <cstdint>

#include "utl/api.h"

namespace vemra::test {

struct FileFaults {
  std::int64_t failReadAt = -1;   // the first byte of the file that no read delivers; -1: none
  std::int64_t failWriteAt = -1;  // the first byte of the file that no write puts; -1: none
  int error = 0;                  // the failure's errno value; 0: EIO for reads, ENOSPC for writes
  bool failSync = false;          // a save's flush of its new file to the disk
  bool endsAtFailedRead = false;  // the file ends there instead, its length unchanged: it shrank
};

// Files opened or created from now on fail so (a read or write stops short at the byte and the
// next one fails); {} for none. Files already open keep what they had.
QXIO_API void SetFileFaults(const FileFaults& faults);

}  // namespace vemra::test
