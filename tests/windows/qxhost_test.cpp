// qxhost.exe started as a Windows user starts it, with a wide command line naming files
// whose names are not ASCII.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utl/text.h"
#include "winsupport.h"

namespace vemra::wintest {
namespace {

struct Outcome {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // standard output and error, carriage returns dropped
};

Outcome Qxhost(const std::vector<std::wstring>& args) {
  Outcome run;
  std::wstring command = L"\"" + (BinaryFolder() / L"qxhost.exe").wstring() + L"\"";
  for (const auto& arg : args) command += L" \"" + arg + L"\"";

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(writeEnd);
  CloseHandle(nul);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      for (DWORD i = 0; i < got; ++i) {
        if (buffer[i] != '\r') run.output += buffer[i];
      }
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return run;
}

class QxhostUnicode : public ::testing::Test {
protected:
  void SetUp() override { WriteAll(m_source, SmallRaster(5, 3)); }

  TempFolder m_folder;
  // Accented Latin, Greek, CJK and a character outside the BMP, with spaces.
  const std::wstring m_source =
      m_folder / L"\u00e9l\u00e8ve \u03b5\u03b9\u03ba\u03cc\u03bd\u03b1 \u753b\u50cf.ras";
  const std::wstring m_target = m_folder / L"\u7d50\u679c \U0001F3A8.RAS";
  const std::string m_sourceName = utl::ToUtf8(m_source);
};

TEST_F(QxhostUnicode, InfoDescribesTheFile) {
  const Outcome run = Qxhost({L"info", m_source});
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("Image Width: 5\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Image Height: 3\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Image Bits Per Pixel: 24\n"), std::string::npos) << run.output;
}

TEST_F(QxhostUnicode, CheckNamesTheFileInUtf8) {
  const Outcome run = Qxhost({L"check", m_source});
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.output, m_sourceName + ": ok, 5 x 3, 24 bits\n");
}

TEST_F(QxhostUnicode, ConvertGivesBackTheSourceByteForByte) {
  const Outcome run = Qxhost({L"convert", m_source, m_target});
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(ReadAll(m_target), SmallRaster(5, 3));
}

TEST_F(QxhostUnicode, MissingFileIsReportedByItsName) {
  const std::wstring missing = m_folder / L"\u043d\u0435\u0442 \U0001F47B.ras";
  const Outcome run = Qxhost({L"check", missing});
  EXPECT_NE(run.exitCode, 0u);
  EXPECT_NE(run.output.find(utl::ToUtf8(missing)), std::string::npos) << run.output;
}

}  // namespace
}  // namespace vemra::wintest
