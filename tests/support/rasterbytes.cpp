#include "rasterbytes.h"

#include <algorithm>

namespace vemra::test {

void AppendBe32(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 24));
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void Append(Bytes& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}

void Append(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

Bytes HeaderBytes(const HeaderFields& f) {
  Bytes out;
  for (std::uint32_t v : {f.magic, f.width, f.height, f.depth, f.length, f.type, f.maptype,
                          f.maplength}) {
    AppendBe32(out, v);
  }
  return out;
}

Bytes EncodeRuns(const Bytes& data) {
  Bytes out;
  std::size_t i = 0;
  while (i < data.size()) {
    const std::uint8_t value = data[i];
    std::size_t run = 1;
    while (i + run < data.size() && data[i + run] == value && run < 256) ++run;
    if (run >= 3 || (value == 0x80 && run >= 2)) {
      Append(out, {0x80, static_cast<int>(run - 1), value});
    } else if (value == 0x80) {
      Append(out, {0x80, 0x00});
      run = 1;
    } else {
      out.push_back(value);
      run = 1;
    }
    i += run;
  }
  return out;
}

}  // namespace vemra::test
