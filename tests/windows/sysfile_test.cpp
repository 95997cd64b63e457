// The host's file layer on Windows: wide paths of any kind, sharing modes, replacing files,
// and the system's words in error messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/path.h"
#include "winsupport.h"

namespace vemra::wintest {
namespace {

using utl::CBufferedFile;

std::optional<utl::CError> OpenError(const std::wstring& path, const std::string& mode) {
  CBufferedFile file;
  try {
    file.Open(path, mode, mode == "rb" ? utl::ShareRead : utl::ShareNone, false);
  } catch (const utl::CError& error) {
    return error;
  }
  return std::nullopt;
}

void Put(const std::wstring& path, const Bytes& bytes) {
  CBufferedFile file;
  file.Open(path, "wb", utl::ShareNone, false);
  file.Write(bytes.data(), bytes.size());
  file.Close();
}

Bytes Get(const std::wstring& path) {
  CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  Bytes bytes(static_cast<std::size_t>(file.GetLength()));
  EXPECT_EQ(file.Read(bytes.data(), bytes.size()), bytes.size());
  return bytes;
}

TEST(WindowsFiles, UnicodeNamesArriveUnchanged) {
  TempFolder folder;
  // Latin, Cyrillic, CJK, a character outside the BMP (a surrogate pair), and a space.
  const std::wstring name = L"\u00e9t\u00e9 \u0444\u0430\u0439\u043b \u753b\u50cf \U0001F4F7.ras";
  const std::wstring path = folder / name;
  Put(path, {1, 2, 3});

  ASSERT_TRUE(std::filesystem::exists(folder.Path() / name));
  EXPECT_EQ(std::filesystem::directory_iterator(folder.Path())->path().filename().wstring(), name);
  EXPECT_TRUE(utl::FileExists(path));
  EXPECT_EQ(Get(path), (Bytes{1, 2, 3}));
  EXPECT_EQ(utl::CPath(path).GetNameAndExtension(), name);
  EXPECT_TRUE(utl::RemoveFile(path));
  EXPECT_FALSE(utl::FileExists(path));
}

TEST(WindowsFiles, PathsLongerThanMaxPath) {
  TempFolder folder;
  std::filesystem::path deep = folder.Path();
  for (int i = 0; i < 6; ++i) deep /= std::wstring(50, static_cast<wchar_t>(L'a' + i));
  std::filesystem::create_directories(deep);
  const std::wstring path = (deep / L"\u00fcber.ras").wstring();
  ASSERT_GT(path.size(), 300u);

  Put(path, {7, 7});
  EXPECT_TRUE(utl::FileExists(path));
  EXPECT_EQ(Get(path), (Bytes{7, 7}));
  const std::wstring moved = (deep / L"moved.ras").wstring();
  EXPECT_TRUE(utl::ReplaceFile(path, moved));
  EXPECT_FALSE(utl::FileExists(path));
  EXPECT_TRUE(utl::RemoveFile(moved));
}

TEST(WindowsFiles, SharingModesAreEnforced) {
  TempFolder folder;
  const std::wstring path = folder / L"shared.ras";
  Put(path, {1});

  {
    CBufferedFile writer;
    writer.Open(path, "wb", utl::ShareNone, false);
    CBufferedFile reader;
    EXPECT_FALSE(reader.OpenNoThrow(path, "rb", utl::ShareRead, false));
  }
  {
    CBufferedFile exclusive;
    ASSERT_TRUE(
        exclusive.OpenNoThrow(path, utl::AccessRead, utl::OpenExisting, utl::ShareNone, false));
    CBufferedFile reader;
    EXPECT_FALSE(reader.OpenNoThrow(path, "rb", utl::ShareRead, false));
  }
  {
    CBufferedFile first;
    first.Open(path, "rb", utl::ShareRead, false);
    CBufferedFile second;
    EXPECT_TRUE(second.OpenNoThrow(path, "rb", utl::ShareRead, false));
    CBufferedFile writer;
    EXPECT_FALSE(writer.OpenNoThrow(path, "wb", utl::ShareNone, false));
  }
  // The probe's way of opening: read access, existing file, shared for reading.
  CBufferedFile probe;
  EXPECT_TRUE(probe.OpenNoThrow(path, utl::AccessRead, utl::OpenExisting, utl::ShareRead, false));
}

TEST(WindowsFiles, ReplaceMovesOverTheTargetInOneStep) {
  TempFolder folder;
  const std::wstring target = folder / L"\u76ee\u6a19.ras";
  Put(target, {1, 1, 1});
  const std::wstring temporary = utl::TemporaryPathBeside(target);
  EXPECT_EQ(utl::CPath(temporary).GetFolder(), utl::CPath(target).GetFolder());
  EXPECT_FALSE(utl::FileExists(temporary));
  Put(temporary, {2, 2});

  EXPECT_TRUE(utl::ReplaceFile(temporary, target));
  EXPECT_EQ(Get(target), (Bytes{2, 2}));
  EXPECT_FALSE(utl::FileExists(temporary));

  // Unlike POSIX rename, a target held open without delete sharing cannot be replaced,
  // and stays as it was.
  Put(temporary, {3});
  {
    CBufferedFile holder;
    holder.Open(target, "rb", utl::ShareRead, false);
    EXPECT_FALSE(utl::ReplaceFile(temporary, target));
  }
  EXPECT_EQ(Get(target), (Bytes{2, 2}));
  EXPECT_TRUE(utl::ReplaceFile(temporary, target));
  EXPECT_EQ(Get(target), (Bytes{3}));
}

TEST(WindowsFiles, FoldersAreNeitherOpenedNorRemoved) {
  TempFolder folder;
  const std::wstring path = folder / L"sub";
  std::filesystem::create_directory(path);
  EXPECT_TRUE(utl::FileExists(path));
  EXPECT_FALSE(utl::RemoveFile(path));
  EXPECT_TRUE(OpenError(path, "rb").has_value());
  EXPECT_TRUE(OpenError(path, "wb").has_value());
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(WindowsFiles, ErrorsCarryTheSystemsWords) {
  TempFolder folder;
  const std::wstring path = folder / L"missing \u00e4.ras";
  const auto error = OpenError(path, "rb");
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->Kind(), utl::ErrorKind::FileOpen);
  EXPECT_EQ(error->Path(), path);
  const std::wstring& words = error->Message();
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words.find(L"system error"), std::wstring::npos) << "FormatMessageW gave no text";
  EXPECT_EQ(words.find_first_of(L"\r\n"), std::wstring::npos);
  EXPECT_NE(words.back(), L'.');
  EXPECT_NE(error->Sentence().find(path), std::wstring::npos);

  const auto existing = OpenError(folder / L"x", "wbx");
  EXPECT_FALSE(existing.has_value());
  const auto twice = OpenError(folder / L"x", "wbx");
  ASSERT_TRUE(twice.has_value());
  EXPECT_NE(twice->Message(), words);
}

}  // namespace
}  // namespace vemra::wintest
