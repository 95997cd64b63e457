// qxhost's own failures travel as the host's error, the one type that every failure takes: of the
// General kind, with the reason, in UTF-8, as its message.
#pragma once

#include <string>

#include "utl/error.h"
#include "utl/text.h"

namespace qxhost {

[[noreturn]] inline void Fail(const std::string& reason) {
  throw utl::CError(utl::ErrorKind::General, QXIO_WFILE, __LINE__, {}, utl::FromUtf8(reason));
}

}  // namespace qxhost
