#include "benchfiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vemra::bench {

namespace {

constexpr std::uint32_t kMagic = 0x59A66A95;
constexpr std::uint32_t kTypeStandard = 1;
constexpr std::uint32_t kTypeByteEncoded = 2;
constexpr std::uint8_t kEscape = 0x80;

// Fixed seeds: every run of a benchmark reads the same bytes.
class Random {
public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 7;
    m_state ^= m_state << 17;
    return m_state;
  }

private:
  std::uint64_t m_state;
};

class Output {
public:
  explicit Output(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {
    if (!m_file) throw std::runtime_error("cannot create " + path);
    m_buffer.reserve(kChunk);
  }
  ~Output() {
    if (m_file) std::fclose(m_file);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Put(std::uint8_t byte) {
    m_buffer.push_back(byte);
    if (m_buffer.size() >= kChunk) Flush();
  }
  void Put(const std::uint8_t* data, std::size_t n) {
    Flush();
    Write(data, n);
  }
  void Put32(std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) Put(static_cast<std::uint8_t>(value >> shift));
  }
  // Overwrites a big-endian 32-bit word already written.
  void Patch32(long offset, std::uint32_t value) {
    Flush();
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value)};
    if (std::fseek(m_file, offset, SEEK_SET) != 0 || std::fwrite(bytes, 1, 4, m_file) != 4 ||
        std::fseek(m_file, 0, SEEK_END) != 0) {
      throw std::runtime_error("writing a benchmark file failed");
    }
  }
  // Closes the file; returns the bytes written.
  std::uint64_t Finish() {
    Flush();
    const int failed = std::fclose(m_file);
    m_file = nullptr;
    if (failed != 0) throw std::runtime_error("writing a benchmark file failed");
    return m_written;
  }

  std::uint64_t Written() const { return m_written + m_buffer.size(); }

private:
  static constexpr std::size_t kChunk = 1 << 20;

  void Flush() {
    Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
  }
  void Write(const std::uint8_t* data, std::size_t n) {
    if (n != 0 && std::fwrite(data, 1, n, m_file) != n) {
      throw std::runtime_error("writing a benchmark file failed");
    }
    m_written += n;
  }

  std::FILE* m_file;
  std::vector<std::uint8_t> m_buffer;
  std::uint64_t m_written = 0;
};

// The usual encoder: the rows form one byte stream, so a run may cross a row boundary.
class RunEncoder {
public:
  explicit RunEncoder(Output& out) : m_out(out) {}

  void Put(const std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (m_count != 0 && data[i] == m_value && m_count < 256) {
        ++m_count;
        continue;
      }
      Emit();
      m_value = data[i];
      m_count = 1;
    }
  }
  void Finish() { Emit(); }

private:
  void Emit() {
    if (m_count == 0) return;
    if (m_value == kEscape && m_count == 1) {
      m_out.Put(kEscape);
      m_out.Put(0);
    } else if (m_value == kEscape || m_count >= 3) {
      m_out.Put(kEscape);
      m_out.Put(static_cast<std::uint8_t>(m_count - 1));
      m_out.Put(m_value);
    } else {
      for (int i = 0; i < m_count; ++i) m_out.Put(m_value);
    }
    m_count = 0;
  }

  Output& m_out;
  std::uint8_t m_value = 0;
  int m_count = 0;
};

// Produces the decoded rows, one after the other, in file order.
class RowSource {
public:
  RowSource(const FileShape& shape, std::size_t rowBytes)
      : m_content(shape.content), m_row(rowBytes), m_random(0x9E3779B97F4A7C15ULL) {}

  const std::vector<std::uint8_t>& Next(int y) {
    switch (m_content) {
      case Content::Raw:
        FillPattern(y);
        break;
      case Content::Runs:
        FillRuns();
        break;
      case Content::Noise:
        FillNoise();
        break;
    }
    return m_row;
  }

private:
  void FillPattern(int y) {
    for (std::size_t x = 0; x < m_row.size(); ++x) {
      m_row[x] = static_cast<std::uint8_t>(x / 3 + static_cast<std::size_t>(y) * 2);
    }
  }
  void FillRuns() {
    for (std::size_t x = 0; x < m_row.size();) {
      if (m_runLeft == 0) {
        const std::uint64_t r = m_random.Next();
        m_runValue = static_cast<std::uint8_t>(r);
        m_runLeft = 64 + static_cast<std::size_t>((r >> 8) % (2048 - 64 + 1));
      }
      const std::size_t n = std::min(m_runLeft, m_row.size() - x);
      std::memset(m_row.data() + x, m_runValue, n);
      x += n;
      m_runLeft -= n;
    }
  }
  void FillNoise() {
    for (std::size_t x = 0; x < m_row.size(); x += 8) {
      const std::uint64_t r = m_random.Next();
      std::memcpy(m_row.data() + x, &r, std::min<std::size_t>(8, m_row.size() - x));
    }
  }

  Content m_content;
  std::vector<std::uint8_t> m_row;
  Random m_random;
  std::uint8_t m_runValue = 0;
  std::size_t m_runLeft = 0;
};

}  // namespace

bool ParseContent(const std::string& word, Content& content) {
  if (word == "raw") {
    content = Content::Raw;
  } else if (word == "runs") {
    content = Content::Runs;
  } else if (word == "noise") {
    content = Content::Noise;
  } else {
    return false;
  }
  return true;
}

const char* ContentName(Content content) {
  switch (content) {
    case Content::Raw:
      return "raw";
    case Content::Runs:
      return "runs";
    case Content::Noise:
      return "noise";
  }
  return "?";
}

std::string Describe(const FileShape& shape) {
  return std::to_string(shape.depth) + "-bit " + ContentName(shape.content);
}

std::uint64_t FileRowBytes(const FileShape& shape) {
  const std::uint64_t bytes = (std::uint64_t(shape.width) * std::uint64_t(shape.depth) + 7) / 8;
  return bytes + (bytes & 1);
}

std::uint64_t WriteBenchFile(const std::string& path, const FileShape& shape) {
  if (shape.width < 1 || shape.height < 1 ||
      (shape.depth != 1 && shape.depth != 8 && shape.depth != 24 && shape.depth != 32)) {
    throw std::invalid_argument("unsupported benchmark file " + Describe(shape));
  }
  const std::uint64_t rowBytes = FileRowBytes(shape);
  const bool encoded = shape.content != Content::Raw;
  const bool hasMap = shape.depth == 8;

  Output out(path);
  out.Put32(kMagic);
  out.Put32(static_cast<std::uint32_t>(shape.width));
  out.Put32(static_cast<std::uint32_t>(shape.height));
  out.Put32(static_cast<std::uint32_t>(shape.depth));
  // Encoded files state their encoded length, patched in at the end: some readers rely on it.
  out.Put32(static_cast<std::uint32_t>(rowBytes * std::uint64_t(shape.height)));
  out.Put32(encoded ? kTypeByteEncoded : kTypeStandard);
  out.Put32(hasMap ? 1 : 0);
  out.Put32(hasMap ? 768 : 0);
  if (hasMap) {
    // A colour ramp: red rises, green falls, blue cycles.
    for (int i = 0; i < 256; ++i) out.Put(static_cast<std::uint8_t>(i));
    for (int i = 0; i < 256; ++i) out.Put(static_cast<std::uint8_t>(255 - i));
    for (int i = 0; i < 256; ++i) out.Put(static_cast<std::uint8_t>(i * 4));
  }

  RowSource rows(shape, static_cast<std::size_t>(rowBytes));
  RunEncoder encoder(out);
  for (int y = 0; y < shape.height; ++y) {
    const std::vector<std::uint8_t>& row = rows.Next(y);
    if (encoded) {
      encoder.Put(row.data(), row.size());
    } else {
      out.Put(row.data(), row.size());
    }
  }
  encoder.Finish();
  if (encoded) {
    const std::uint64_t dataStart = 32 + (hasMap ? 768 : 0);
    out.Patch32(16, static_cast<std::uint32_t>(out.Written() - dataStart));
  }
  return out.Finish();
}

int BenchImageSize() {
  const char* text = std::getenv("VEMRA_BENCH_SIZE");
  if (text == nullptr || *text == '\0') return 8192;
  const long size = std::strtol(text, nullptr, 10);
  return size >= 1 && size <= 32768 ? static_cast<int>(size) : 8192;
}

std::vector<FileShape> ReadShapes(int size) {
  std::vector<FileShape> shapes;
  for (const int depth : {1, 8, 24, 32}) {
    for (const Content content : {Content::Raw, Content::Runs, Content::Noise}) {
      shapes.push_back({size, size, depth, content});
    }
  }
  return shapes;
}

}  // namespace vemra::bench
