// qxhost's own errors, for failures that are not the host's: the message is UTF-8.
#pragma once

#include <stdexcept>

namespace qxhost {

class Failure : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

}  // namespace qxhost
