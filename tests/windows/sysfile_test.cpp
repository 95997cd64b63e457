// The host's file layer on Windows: wide paths of any kind, sharing modes, replacing files,
// and the system's words in error messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/path.h"
#include "utl/safesave.h"
#include "winsupport.h"

namespace vemra::wintest {
namespace {

namespace fs = std::filesystem;
using utl::CBufferedFile;

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

bool Opens(const std::wstring& path, const std::string& mode, utl::FileSharing sharing) {
  return CBufferedFile().OpenNoThrow(path, mode, sharing, false);
}

// A name of Latin, Cyrillic, CJK, a character outside the BMP (a surrogate pair) and spaces,
// in a short folder and in one that makes the path longer than MAX_PATH: the file is written,
// read, replaced in one step by a temporary file beside it, and removed.
TEST(WindowsFiles, UnicodeNamesLongPathsAndReplacing) {
  TempFolder folder;
  fs::path deep = folder.Path();
  for (int i = 0; i < 6; ++i) deep /= std::wstring(50, static_cast<wchar_t>(L'a' + i));
  fs::create_directories(deep);
  const std::wstring name = L"\u00e9t\u00e9 \u0444\u0430\u0439\u043b \u753b\u50cf \U0001F4F7.ras";
  for (const fs::path& where : {folder.Path(), deep}) {
    const std::wstring path = (where / name).wstring();
    SCOPED_TRACE(path.size());
    Put(path, {1, 2, 3});
    EXPECT_TRUE(fs::exists(where / name));
    EXPECT_EQ(Get(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(utl::CPath(path).GetNameAndExtension(), name);

    const auto save = [&](const Bytes& bytes) {
      utl::CSafeSave output;
      output.Begin(path);
      output.File().Write(bytes.data(), bytes.size());
      return output.Commit();
    };
    {
      // Unlike POSIX rename, a target held open without delete sharing cannot be replaced,
      // and stays as it was.
      CBufferedFile holder;
      holder.Open(path, "rb", utl::ShareRead, false);
      EXPECT_FALSE(save({2, 2}));
    }
    EXPECT_EQ(Get(path), (Bytes{1, 2, 3}));
    EXPECT_TRUE(save({2, 2}));
    EXPECT_EQ(Get(path), (Bytes{2, 2}));
    EXPECT_TRUE(utl::RemoveFile(path));
    EXPECT_FALSE(fs::exists(where / name));
  }
  EXPECT_GT((deep / name).wstring().size(), 300u);
}

// While a first open holds the file, which opens may follow.
TEST(WindowsFiles, SharingModesAreEnforced) {
  TempFolder folder;
  const std::wstring path = folder / L"shared.ras";
  Put(path, {1});
  struct Case {
    utl::FileAccess access;
    utl::FileSharing sharing;
    bool readers;  // no case lets a writer in
  };
  for (const Case& c : {Case{utl::AccessWrite, utl::ShareNone, false},
                        Case{utl::AccessRead, utl::ShareNone, false},
                        Case{utl::AccessRead, utl::ShareRead, true}}) {
    CBufferedFile first;
    ASSERT_TRUE(first.OpenNoThrow(path, c.access, utl::OpenExisting, c.sharing, false));
    EXPECT_EQ(Opens(path, "rb", utl::ShareRead), c.readers);
    EXPECT_FALSE(Opens(path, "wb", utl::ShareNone));
    // The probe's way of opening: read access, existing file, shared for reading.
    EXPECT_EQ(CBufferedFile().OpenNoThrow(path, utl::AccessRead, utl::OpenExisting,
                                          utl::ShareRead, false),
              c.readers);
  }
}

std::optional<utl::CError> OpenError(const std::wstring& path, const std::string& mode) {
  try {
    CBufferedFile().Open(path, mode, mode == "rb" ? utl::ShareRead : utl::ShareNone, false);
  } catch (const utl::CError& error) {
    return error;
  }
  return std::nullopt;
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

  EXPECT_FALSE(OpenError(folder / L"x", "wbx").has_value());
  const auto twice = OpenError(folder / L"x", "wbx");
  ASSERT_TRUE(twice.has_value());
  EXPECT_NE(twice->Message(), words);

  // Folders are neither opened nor removed.
  const std::wstring self = folder.Path().wstring();
  EXPECT_TRUE(OpenError(self, "rb").has_value());
  EXPECT_TRUE(OpenError(self, "wb").has_value());
  EXPECT_FALSE(utl::RemoveFile(self));
  EXPECT_TRUE(fs::is_directory(self));
}

}  // namespace
}  // namespace vemra::wintest
