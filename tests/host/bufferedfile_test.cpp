#include "utl/bufferedfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "hosttest.h"
#include "testfiles.h"
#include "utl/error.h"
#include "utl/text.h"

namespace {

using utl::CBufferedFile;
using utl::ErrorKind;
using vemra::test::Bytes;
using vemra::test::Pattern;
using vemra::test::Raised;
using vemra::test::RaisedKind;
using vemra::test::TempDir;

constexpr std::size_t kBuf = CBufferedFile::kBufferSize;
constexpr auto kNone = utl::ShareNone;

std::int64_t I64(std::size_t n) { return static_cast<std::int64_t>(n); }
template <class V>
auto At(V& bytes, std::size_t pos) {
  return bytes.begin() + static_cast<std::ptrdiff_t>(pos);
}

// Chunk sizes, each repeated some times; the plan cycles until the file is covered.
struct ChunkCase {
  const char* name;
  std::vector<std::pair<std::size_t, int>> plan;
};
void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::size_t> Chunks(const ChunkCase& c, std::size_t total) {
  std::vector<std::size_t> sizes;
  for (std::size_t done = 0; done < total;) {
    for (const auto& [size, repeat] : c.plan) {
      for (int i = 0; i < repeat && done < total; ++i, done += size) sizes.push_back(size);
    }
  }
  return sizes;
}

class BufferedChunks : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(BufferedChunks, WriteThenReadBackByteExact) {
  TempDir dir;
  const Bytes data = Pattern(3 * kBuf + 1001, 1);
  const std::wstring path = dir.Wide("data.bin");
  const std::vector<std::size_t> chunks = Chunks(GetParam(), data.size());
  CBufferedFile file;
  file.Open(path, "wb", kNone, false);
  std::size_t pos = 0;
  for (std::size_t n : chunks) {
    n = std::min(n, data.size() - pos);
    file.Write(data.data() + pos, n);
    pos += n;
    ASSERT_EQ(file.GetPosition(), I64(pos));
    ASSERT_EQ(file.GetLength(), I64(pos));
  }
  file.Close();
  ASSERT_TRUE(vemra::test::ReadFile(dir / "data.bin") == data);

  file.Open(path, "rb", utl::ShareRead, false);
  Bytes got(data.size() + 2 * kBuf);
  pos = 0;
  for (std::size_t n : chunks) {
    ASSERT_EQ(file.Read(got.data() + pos, n), std::min(n, data.size() - pos)) << "at " << pos;
    pos += std::min(n, data.size() - pos);
    ASSERT_EQ(file.GetPosition(), I64(pos));
    ASSERT_EQ(file.GetLength(), I64(data.size()));
  }
  EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
  EXPECT_EQ(file.Read(got.data(), 1), 0u);
  EXPECT_EQ(file.Read(got.data(), kBuf + 1), 0u);
  EXPECT_EQ(file.GetPosition(), I64(data.size()));
}

const ChunkCase kChunkCases[] = {
    {"SingleBytes", {{1, 1}}},
    {"Threes", {{3, 1}}},
    {"Fours", {{4, 1}}},
    {"StraddleBoundary", {{kBuf - 1, 1}, {2, 1}}},
    {"WholeBuffer", {{kBuf, 1}}},
    {"OverBuffer", {{kBuf + 1, 1}}},
    {"SmallThenHuge", {{1, 20000}, {3, 20000}, {4, 20000}, {2 * kBuf, 1}}},
    {"Mixed", {{1, 1}, {kBuf - 3, 1}, {7, 1}, {2 * kBuf + 3, 1}}},
};
INSTANTIATE_TEST_SUITE_P(Plans, BufferedChunks, ::testing::ValuesIn(kChunkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Reads (n > 0) and writes (n < 0) of |n| bytes on an "r+b" file, checked against a model.
struct SwitchCase {
  const char* name;
  std::vector<long long> ops;
};
void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }
constexpr long long kB = static_cast<long long>(kBuf);

class BufferedSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(BufferedSwitch, MatchesModel) {
  TempDir dir;
  Bytes model = Pattern(2 * kBuf + 100, 3);
  CBufferedFile file;
  file.Open(dir.Put("rw.bin", model), "r+b", kNone, false);
  std::size_t pos = 0;
  for (long long op : GetParam().ops) {
    const auto n = static_cast<std::size_t>(op < 0 ? -op : op);
    if (op > 0) {
      Bytes got(n);
      const std::size_t expected = std::min(n, model.size() - pos);
      ASSERT_EQ(file.Read(got.data(), n), expected) << "read at " << pos;
      ASSERT_TRUE(std::equal(got.begin(), At(got, expected), At(model, pos))) << "at " << pos;
      pos += expected;
    } else {
      const Bytes data = Pattern(n, static_cast<std::uint32_t>(pos));
      file.Write(data.data(), n);
      model.resize(std::max(model.size(), pos + n));
      std::copy(data.begin(), data.end(), At(model, pos));
      pos += n;
    }
    ASSERT_EQ(file.GetPosition(), I64(pos)) << "after " << op;
    ASSERT_EQ(file.GetLength(), I64(model.size())) << "after " << op;
  }
  file.Close();
  EXPECT_TRUE(vemra::test::ReadFile(dir / "rw.bin") == model);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, BufferedSwitch,
    ::testing::Values(SwitchCase{"ReadFirst", {10, -5, 20, -(kB + 3), 1, -1, kB, -300, 5}},
                      SwitchCase{"WriteFirst", {-3, 4, -kB, 2, 5000, -1, -1, 1}},
                      SwitchCase{"AppendAtEnd", {3 * kB, -10, 5, -kB - 9, 1}},
                      SwitchCase{"LargeReadsBetween", {kB + 1, -2, kB + 1, -4, 7}}),
    [](const auto& info) { return std::string(info.param.name); });

enum Target { kFile, kMissing, kFolder };

// mode == nullptr selects the (access, file mode) overload; sizeAfter -1: no file.
struct OpenCase {
  const char* name;
  Target target;
  const char* mode;
  utl::FileAccess access;
  utl::FileMode fileMode;
  bool opens;
  int sizeAfter;
};
void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

const OpenCase kOpenCases[] = {
    {"RbExisting", kFile, "rb", {}, {}, true, 5},
    {"RbMissing", kMissing, "rb", {}, {}, false, -1},
    {"RbFolder", kFolder, "rb", {}, {}, false, -1},
    {"WbTruncates", kFile, "wb", {}, {}, true, 0},
    {"WbFolder", kFolder, "wb", {}, {}, false, -1},
    {"WbxExisting", kFile, "wbx", {}, {}, false, 5},
    {"UnknownMode", kFile, "a+", {}, {}, false, 5},
    {"ReadExisting", kFile, nullptr, utl::AccessRead, utl::OpenExisting, true, 5},
    {"ReadMissing", kMissing, nullptr, utl::AccessRead, utl::OpenExisting, false, -1},
    {"ReadFolder", kFolder, nullptr, utl::AccessRead, utl::OpenExisting, false, -1},
    {"CreateNewExisting", kFile, nullptr, utl::AccessWrite, utl::CreateNew, false, 5},
};

class BufferedOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(BufferedOpen, OpensOrStaysClosedAtPositionZero) {
  const OpenCase& c = GetParam();
  TempDir dir;
  if (c.target == kFile) vemra::test::WriteFile(dir / "t", {1, 2, 3, 4, 5});
  if (c.target == kFolder) std::filesystem::create_directory(dir / "t");
  CBufferedFile file;
  const bool opened = c.mode ? file.OpenNoThrow(dir.Wide("t"), c.mode, kNone, false)
                             : file.OpenNoThrow(dir.Wide("t"), c.access, c.fileMode, kNone, false);
  EXPECT_EQ(opened, c.opens);
  EXPECT_EQ(file.IsOpen(), c.opens);
  EXPECT_EQ(file.GetPosition(), 0);
  if (!opened) {
    std::uint8_t byte = 0;
    EXPECT_EQ(file.Read(&byte, 0), 0u);
    EXPECT_EQ(RaisedKind([&] { file.Read(&byte, 1); }), ErrorKind::FileRead);
    EXPECT_EQ(RaisedKind([&] { file.Write(&byte, 1); }), ErrorKind::FileWrite);
  }
  file.Close();
  std::error_code ec;
  const auto size = std::filesystem::file_size(dir / "t", ec);
  if (c.target != kFolder) {
    EXPECT_EQ(ec ? -1 : static_cast<int>(size), c.sizeAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, BufferedOpen, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BufferedFile, NonAsciiNamesReachTheSystemAsUtf8) {
  TempDir dir;
  const std::wstring name = L"bild-\u00E4\u00F6-\u65E5\u672C-\U0001F600.ras";
  const std::wstring path = vemra::test::WidePath(dir.Path()) + L"/" + name;
  CBufferedFile file;
  const auto error = Raised([&] { file.Open(path, "rb", utl::ShareRead, false); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Kind(), ErrorKind::FileOpen);
  EXPECT_EQ(error->Path(), path);
  EXPECT_NE(std::string(error->what()).find(utl::ToUtf8(path)), std::string::npos);
  const Bytes data = Pattern(1000, 4);
  file.Open(path, "wb", kNone, false);
  file.Write(data.data(), data.size());
  file.Close();
  EXPECT_EQ(dir.List(), std::vector<std::string>{utl::ToUtf8(name)});
  ASSERT_TRUE(file.OpenNoThrow(path, utl::AccessRead, utl::OpenExisting, utl::ShareRead, false));
  Bytes got(data.size() + 1);
  got.resize(file.Read(got.data(), got.size()));
  EXPECT_TRUE(got == data);
}

// /dev/full opens and refuses every write with ENOSPC.
TEST(BufferedFile, FullDeviceFailsAtCloseAndNeverInDestructors) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const Bytes data = Pattern(kBuf + 1, 5);
  const auto openFull = [&](CBufferedFile& file, std::size_t n) {
    ASSERT_TRUE(file.OpenNoThrow(L"/dev/full", "wb", kNone, false));
    file.Write(data.data(), n);
  };
  CBufferedFile file;
  openFull(file, 100);
  const auto error = Raised([&] { file.Close(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Kind(), ErrorKind::FileWrite);
  EXPECT_EQ(error->Path(), L"/dev/full");
  EXPECT_FALSE(file.IsOpen());
  openFull(file, 100);
  EXPECT_NO_THROW(file.CloseNoThrow(false));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NO_THROW({
    CBufferedFile dropped;
    openFull(dropped, 100);
  });
  ASSERT_TRUE(file.OpenNoThrow(L"/dev/full", "wb", kNone, false));
  EXPECT_EQ(RaisedKind([&] { file.Write(data.data(), data.size()); }), ErrorKind::FileWrite);
}

// Fault injection at an offset, approached by transfers of one chunk size.
class BufferedFaults : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {
protected:
  void TearDown() override { utl::SetFileFaults({}); }
};

TEST_P(BufferedFaults, TransferPassingTheOffsetRaisesAndMovesNothing) {
  const auto [offset, chunk] = GetParam();
  TempDir dir;
  const Bytes data = Pattern(2 * kBuf + 100, 6);
  const std::wstring path = dir.Wide("f.bin");
  utl::SetFileFaults({-1, I64(offset)});
  CBufferedFile file;
  file.Open(path, "wb", kNone, false);
  std::size_t pos = 0;
  for (; pos + chunk <= offset; pos += chunk) file.Write(data.data() + pos, chunk);
  ASSERT_EQ(RaisedKind([&] { file.Write(data.data() + pos, chunk); }), ErrorKind::FileWrite)
      << "write of " << chunk << " at " << pos;
  EXPECT_EQ(file.GetPosition(), I64(pos));
  file.Write(data.data() + pos, offset - pos);
  EXPECT_TRUE(Raised([&] { file.Write(data.data(), 1); }));
  file.Close();
  EXPECT_TRUE(vemra::test::ReadFile(dir / "f.bin") == Bytes(data.begin(), At(data, offset)));

  vemra::test::WriteFile(dir / "f.bin", data);
  utl::SetFileFaults({I64(offset), -1});
  file.Open(path, "rb", utl::ShareRead, false);
  Bytes got(chunk);
  for (pos = 0; pos + chunk <= offset; pos += chunk) {
    ASSERT_EQ(file.Read(got.data(), chunk), chunk);
    ASSERT_TRUE(std::equal(got.begin(), got.end(), At(data, pos)));
  }
  std::fill(got.begin(), got.end(), 0xEE);
  const auto error = Raised([&] { file.Read(got.data(), chunk); });
  ASSERT_TRUE(error) << "read of " << chunk << " at " << pos;
  EXPECT_EQ(error->Kind(), ErrorKind::FileRead);
  EXPECT_EQ(error->Path(), path);
  EXPECT_EQ(got, Bytes(chunk, 0xEE));
  EXPECT_EQ(file.GetPosition(), I64(pos));
  ASSERT_EQ(file.Read(got.data(), offset - pos), offset - pos);
  EXPECT_TRUE(std::equal(got.begin(), At(got, offset - pos), At(data, pos)));
  EXPECT_TRUE(Raised([&] { file.Read(got.data(), 1); }));
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, BufferedFaults,
    ::testing::Combine(::testing::Values<std::size_t>(0, 1, 100, kBuf - 1, kBuf, kBuf + 1),
                       ::testing::Values<std::size_t>(1, 3, kBuf + 7)));

}  // namespace
