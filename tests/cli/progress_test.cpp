// The progress line where the command-line cases cannot take it: a terminal resized while it
// shows, the bar's narrowest width, wide characters; a filter's sentence in qxhost's lines.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>

#include "core/hostmanager.h"
#include "core/progressbar.h"
#include "testsupport.h"

namespace qxhost {
namespace {

// A terminal as wide as the test says; Written() is what the bar wrote since the last call.
class Terminal {
  std::FILE* m_file = std::tmpfile();
  long m_read = 0;

public:
  int columns = 80;
  ProgressBar bar{m_file, [this] { return columns; }};

  ~Terminal() { std::fclose(m_file); }
  std::string Written() {
    std::fflush(m_file);
    std::fseek(m_file, m_read, SEEK_SET);
    std::string text;
    for (int c; (c = std::fgetc(m_file)) != EOF;) text += static_cast<char>(c);
    m_read = std::ftell(m_file);
    return text;
  }
};

// A line of 80 columns: the message, then a bar of 20 cells.
std::string At80(const std::string& message, int filled, const char* percent) {
  return "\r" + message + std::string(51 - message.size(), ' ') + " [" + std::string(filled, '#') +
         std::string(20 - filled, '-') + "] " + percent;
}

// Clear must not reach the last column of a terminal that narrowed since the line was drawn.
TEST(ProgressBar, FollowsATerminalResizedWhileItShows) {
  Terminal terminal;
  terminal.bar.Message(L"Reading a.ras");
  EXPECT_EQ(terminal.Written(), At80("Reading a.ras", 0, "  0%"));
  terminal.columns = 6;  // the percentage alone, the rest of the old line blanked
  terminal.bar.Proportion(2.0);
  EXPECT_EQ(terminal.Written(), "\r100% \r100%");
  terminal.columns = 40;
  terminal.bar.Proportion(std::nan(""));
  EXPECT_EQ(terminal.Written(), "\r...ing a.ras [-------------------]   0%");
  terminal.columns = 30, terminal.bar.Clear();
  terminal.bar.Clear();  // the line is gone already: an interrupt has no line to end
  EXPECT_FALSE(ProgressBar::LineShown());
  EXPECT_EQ(terminal.Written(), "\r" + std::string(29, ' ') + "\r");
  // A new line starts at 0% and without the old message, even after one that did not end; a
  // terminal of one column gets no blanks at all, cleared or drawn on.
  terminal.bar.Proportion(0.5);
  terminal.Written();
  terminal.bar.Start();
  terminal.columns = 80;
  terminal.bar.Proportion(0.5);
  terminal.bar.Message(L"Reading b.ras");
  EXPECT_EQ(terminal.Written(), At80("", 10, " 50%") + At80("Reading b.ras", 10, " 50%"));
  terminal.columns = 1;
  terminal.bar.Clear();
  terminal.columns = 80, terminal.bar.Proportion(0.7), terminal.columns = 1;
  terminal.bar.Proportion(0.8);
  EXPECT_EQ(terminal.Written(), "\r\r" + At80("Reading b.ras", 14, " 70%") + "\r");
}

// At 26 columns a bar of five cells; at 25 none, and the message whole where it just fits. 画
// (U+753B), as every CJK ideograph, takes two columns of a terminal.
TEST(ProgressBar, LineWithinTheColumns) {
  EXPECT_EQ(ProgressBar::Line(L"Writing picture.ras", 50, 26), L"...cture.ras [##---]  50%");
  EXPECT_EQ(ProgressBar::Line(L"Writing picture.ras", 50, 25), L"Writing picture.ras  50%");
  const std::wstring line = ProgressBar::Line(std::wstring(40, L'\x753b') + L".ras", 0, 60);
  EXPECT_LE(line.size() + std::count(line.begin(), line.end(), L'\x753b'), 59u);
}

// Each character of tests/data/cli/columns.txt takes its columns.
TEST(ProgressBar, ColumnsOfEachCharacter) {
  for (const auto& row : vemra::test::Table("cli/columns.txt")) {
    const unsigned long code = std::stoul(row[0], nullptr, 16);
    if (code > static_cast<unsigned long>(WCHAR_MAX)) continue;  // a 16-bit wchar_t
    const std::wstring text(1, static_cast<wchar_t>(code));
    EXPECT_EQ(ProgressBar::Columns(text), std::stoul(row[1])) << "U+" << row[0];
  }
}

// The line breaks and blanks that the Sun raster export puts after its sentences go, as does
// the full stop; the first word is in lower case, unless it is a name. A line said clears the bar.
TEST(Messages, AFiltersSentenceInQxhostsLine) {
  EXPECT_EQ(ReportLine("f.ras", InOurStyle("Image of 0 x 2 pixels.  Can't export.\r\n ")),
            "qxhost: f.ras: image of 0 x 2 pixels.  Can't export\n");
  // A name; Z, the last capital; a letter alone, which may be a name too.
  EXPECT_EQ(InOurStyle("Sun raster.") + InOurStyle("Zero.") + InOurStyle("X."), "Sun rasterzeroX");
  Terminal terminal;  // a line said while the bar shows clears the bar first
  HostManager manager(&terminal.bar);
  terminal.bar.Message(L"Reading a.ras");
  terminal.Written();
  manager.Say("a.ras", "said over the bar");
  EXPECT_EQ(terminal.Written(), "\r" + std::string(79, ' ') + "\r");
}

}  // namespace
}  // namespace qxhost
