#include "benchfiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "sunrasterwriter.h"
#include "utl/bufferedfile.h"
#include "utl/rgbquad.h"
#include "utl/text.h"

namespace vemra::bench {

namespace {

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

// Produces the decoded rows, one after the other, in file order.
class RowSource {
public:
  RowSource(const FileShape& shape, std::size_t rowBytes)
      : m_content(shape.content), m_row(rowBytes), m_random(0x9E3779B97F4A7C15ULL) {}

  const std::vector<std::uint8_t>& Next(int y) {
    switch (m_content) {
      case Content::Raw: FillPattern(y); break;
      case Content::Runs: FillRuns(); break;
      case Content::Noise: FillNoise(); break;
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
    case Content::Raw: return "raw";
    case Content::Runs: return "runs";
    case Content::Noise: return "noise";
  }
  return "?";
}

std::string Describe(const FileShape& shape) {
  return std::to_string(shape.depth) + "-bit " + ContentName(shape.content);
}

std::uint64_t FileRowBytes(const FileShape& shape) {
  return vemra::BytesPerRow(shape.width, shape.depth);
}

// Writes the rows through the project's writer, as an export would: standard rows for raw
// content, run-length rows (each encoded on its own) for runs and noise, and the run-length
// length field put in place at the end.
std::uint64_t WriteBenchFile(const std::string& path, const FileShape& shape) {
  if (shape.width < 1 || shape.height < 1 ||
      (shape.depth != 1 && shape.depth != 8 && shape.depth != 24 && shape.depth != 32)) {
    throw std::invalid_argument("unsupported benchmark file " + Describe(shape));
  }
  // A colour ramp: red rises, green falls, blue cycles.
  RGBQUAD palette[256];
  for (int i = 0; i < 256; ++i) {
    palette[i] = RGBQUAD{static_cast<std::uint8_t>(i * 4), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i), 0};
  }
  vemra::WriteLayout layout;
  layout.runLength = shape.content != Content::Raw;
  layout.colorMap = shape.depth == 8;

  utl::CBufferedFile file;
  file.Open(utl::FromUtf8(path), "wb", utl::ShareNone, false);
  vemra::SunRasterWriter writer;
  int status = writer.WriteHeader(&file, shape.width, shape.height, shape.depth, palette, layout);
  RowSource rows(shape, static_cast<std::size_t>(FileRowBytes(shape)));
  for (int y = 0; y < shape.height && status == vemra::kWriteOk; ++y) {
    status = writer.WriteScanline(rows.Next(y).data());
  }
  if (status == vemra::kWriteOk) status = writer.Finish();
  if (status != vemra::kWriteOk) {
    throw std::runtime_error(path + ": " + vemra::WriteStatusText(status));
  }
  const auto bytes = static_cast<std::uint64_t>(file.GetPosition());
  writer.Reset();
  file.Close();
  return bytes;
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
