// The built qxhost run as a user runs it: the cases of tests/data/cli/cases.txt. (PNG files of
// every kind: png_cases.cmake and the read tests.)

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include <sys/wait.h>
#include <unistd.h>

#include "testsupport.h"

namespace vemra::test {
namespace {

struct Case {
  int line = 0;  // in cases.txt, which names the test
  std::string command, fault;
  int exit = 0;
  std::map<std::string, std::vector<std::string>> lines;  // "out", "err", "creates", "needs"
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.command;
}

// "run COMMAND" starts a case; "exit N", "out REGEX", "err REGEX", "creates FILE" and "needs WHAT"
// describe it. A value is all that follows its key and one space. A line that fits no case is the
// fault of the case it belongs to.
std::vector<Case> Cases() {
  std::ifstream in(DataDir() / "cli" / "cases.txt");
  std::vector<Case> cases;
  int number = 1;
  for (std::string line; std::getline(in, line); ++number) {
    const std::string key = line.substr(0, line.find(' '));
    const std::string value = key.size() < line.size() ? line.substr(key.size() + 1) : "";
    if (key == "run") cases.push_back({number, value, "", 0, {}});
    if (key.empty() || key[0] == '#' || key == "run") continue;
    if (cases.empty()) cases.push_back({number, "", "a line before the first case", 0, {}});
    const bool known =
        key == "exit" || key == "out" || key == "err" || key == "creates" || key == "needs";
    if (!known) cases.back().fault = "cases.txt: " + line;
    if (key == "exit") cases.back().exit = std::stoi(value);
    if (key != "exit") cases.back().lines[key].push_back(value);
  }
  if (cases.empty()) cases.push_back({0, "", "no cases in cases.txt", 0, {}});
  return cases;
}

// Each pattern matches the next whole line, in order; "..." matches all lines left. A carriage
// return ends a line too, as on a terminal; empty lines are left out.
void ExpectLines(const std::string& text, const std::vector<std::string>& patterns) {
  EXPECT_TRUE(!patterns.empty() || text.empty()) << "a stream that must stay empty";
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c != '\r' && c != '\n') lines.back() += c;
    if ((c == '\r' || c == '\n') && !lines.back().empty()) lines.emplace_back();
  }
  if (lines.back().empty()) lines.pop_back();
  for (std::size_t i = 0; i < patterns.size() && patterns[i] != "..."; ++i) {
    EXPECT_TRUE(i < lines.size() && std::regex_match(lines[i], std::regex(patterns[i])))
        << "line " << i + 1 << " against \"" << patterns[i] << "\"";
  }
  EXPECT_TRUE(lines.size() <= patterns.size() || (!patterns.empty() && patterns.back() == "..."))
      << "more lines than patterns";
}

// A file name of cases.txt, where "\xHH" stands for a byte: names that are not UTF-8 are made by
// the cases themselves, and cases.txt stays UTF-8.
fs::path FileName(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escape = text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size();
    bytes += escape ? static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)) : text[i];
    if (escape) i += 3;
  }
  return fs::path(bytes);
}

std::map<std::string, Bytes> Snapshot(const fs::path& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path());
  }
  return files;
}

// Runs a shell command in folder with qxhost first on PATH: its exit status, output and errors.
int Shell(const fs::path& folder, const std::string& command, std::string& out, std::string& err) {
  const fs::path bin = fs::path(QXHOST_BINARY).parent_path();
  const std::string shell = "cd '" + folder.string() + "' && PATH='" + bin.string() +
                            "':\"$PATH\" && (" + command + ") >../out 2>../err";
  const int status = std::system(shell.c_str());
  const Bytes o = ReadFile(folder / ".." / "out"), e = ReadFile(folder / ".." / "err");
  out.assign(o.begin(), o.end()), err.assign(e.begin(), e.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first of a case's needs ("root", a program, a command that must succeed) this run lacks.
std::string Missing(const fs::path& folder, const std::vector<std::string>& needs) {
  for (const std::string& need : needs) {
    std::string out, err;
    const std::string check = need.find(' ') == std::string::npos ? "command -v " + need : need;
    if (need == "root" ? ::geteuid() != 0 : Shell(folder, check, out, err) != 0) return need;
  }
  return "";
}

// The copies of tests/data the cases run in, shared by the cases of one run of the program.
struct DataCopy {
  TempDir dir;
  fs::path folder = dir / "data";
  std::map<std::string, Bytes> files;
  DataCopy() { Restore(); }
  void Restore() {
    fs::remove_all(folder);
    fs::copy(DataDir(), folder, fs::copy_options::recursive);
    files = Snapshot(folder);
  }
};

class CliCase : public testing::TestWithParam<Case> {};

// Each case ends as it says, leaving the folder as it was but for the files it creates.
TEST_P(CliCase, EndsAsItSays) {
  Case c = GetParam();
  ASSERT_TRUE(c.fault.empty()) << c.fault;
  static DataCopy data;
  if (const std::string missing = Missing(data.folder, c.lines["needs"]); !missing.empty()) {
    GTEST_SKIP() << "without " << missing << ": " << c.command;
  }
  std::string out, err;
  const int exit = Shell(data.folder, c.command, out, err);
  SCOPED_TRACE(c.command + "\nstdout:\n" + out + "stderr:\n" + err);
  EXPECT_EQ(exit, c.exit);
  ExpectLines(out, c.lines["out"]);
  ExpectLines(err, c.lines["err"]);
  for (const std::string& file : c.lines["creates"]) {
    EXPECT_TRUE(fs::remove(data.folder / FileName(file))) << file << " was not created";
  }
  if (Snapshot(data.folder) != data.files) {
    ADD_FAILURE() << "the folder changed";
    data.Restore();  // for the cases after this one
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, CliCase, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& row) {
                           return "line" + std::to_string(row.param.line);
                         });

}  // namespace
}  // namespace vemra::test
