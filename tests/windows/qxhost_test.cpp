// qxhost.exe started as a Windows user starts it, with a wide command line naming files
// whose names are not ASCII.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "utl/text.h"
#include "winsupport.h"

namespace vemra::wintest {
namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error, carriage returns dropped
};

// Through the command interpreter, as a user types it: a wide command line.
Outcome Qxhost(const std::vector<std::wstring>& args) {
  std::wstring command = L"\"\"" + (BinaryFolder() / L"qxhost.exe").wstring() + L"\"";
  for (const auto& arg : args) command += L" \"" + arg + L"\"";
  Outcome run;
  std::FILE* pipe = _wpopen((command + L" 2>&1\"").c_str(), L"rb");
  if (!pipe) return run;
  for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) {
    if (c != '\r') run.output += static_cast<char>(c);
  }
  run.exitCode = _pclose(pipe);
  return run;
}

TEST(QxhostUnicode, InfoCheckAndConvertNameFilesInUtf8) {
  TempFolder folder;
  // Accented Latin, Greek, CJK and a character outside the BMP, with spaces.
  const std::wstring source =
      folder / L"\u00e9l\u00e8ve \u03b5\u03b9\u03ba\u03cc\u03bd\u03b1 \u753b\u50cf.ras";
  const std::wstring target = folder / L"\u7d50\u679c \U0001F3A8.RAS";
  const std::wstring missing = folder / L"\u043d\u0435\u0442 \U0001F47B.ras";
  WriteAll(source, SmallRaster(5, 3));
  WriteAll(target, Bytes(10, 0xEE));  // an old file that the conversion replaces whole

  Outcome run = Qxhost({L"info", source});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Image Bits Per Pixel: 24\nImage Height: 3\nImage Width: 5\n"),
            std::string::npos) << run.output;

  run = Qxhost({L"check", source});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, utl::ToUtf8(source) + ": ok, 5 x 3, 24 bits\n");

  run = Qxhost({L"check", missing});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("error: " + utl::ToUtf8(missing) + ": "), std::string::npos)
      << run.output;

  run = Qxhost({L"--quiet", L"convert", source, target});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadAll(target), SmallRaster(5, 3));
  // Only the two files remain: the temporary file was moved over the target.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator()), 2);
}

}  // namespace
}  // namespace vemra::wintest
