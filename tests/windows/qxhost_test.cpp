// qxhost.exe started as a Windows user starts it, through the command interpreter with a wide
// command line, on files whose names are not ASCII.

#include <cstdio>
#include <windows.h>

#include "testsupport.h"
#include "utl/text.h"

namespace vemra::test {
namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error, carriage returns dropped
};

Outcome Qxhost(const std::vector<std::wstring>& args) {
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  std::wstring command = L"\"\"" + (fs::path(self).parent_path() / L"qxhost.exe").wstring() + L"\"";
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
  TempDir folder;
  const fs::path source = folder.Path() / L"\u00e9l\u00e8ve \u03b5\u03b9\u03ba\u03cc\u03bd.ras";
  const fs::path target = folder.Path() / L"\u7d50\u679c \U0001F3A8.RAS";
  const fs::path missing = folder.Path() / L"\u043d\u0435\u0442 \U0001F47B.ras";
  const std::string missingName = utl::ToUtf8(missing.wstring());
  const Bytes raster = ReadFile(DataDir() / "read" / "24bit-w5.ras");
  WriteFile(source, raster);
  WriteFile(target, Bytes(10, 0xEE));  // an old file that the conversion replaces whole

  Outcome run = Qxhost({L"info", source.wstring()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Image Height: 3\nImage Width: 5\n"), std::string::npos) << run.output;
  run = Qxhost({L"check", source.wstring()});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, utl::ToUtf8(source.wstring()) + ": ok, 5 x 3, 24 bits\n");
  run = Qxhost({L"check", missing.wstring()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output.rfind("error: " + missingName + ": ", 0), 0u) << run.output;
  run = Qxhost({L"--quiet", L"convert", source.wstring(), target.wstring()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFile(target), raster);
  EXPECT_EQ(folder.List().size(), 2u) << "the temporary file was moved over the target";
}

}  // namespace
}  // namespace vemra::test
