#include "core/progressbar.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "utl/text.h"

namespace qxhost {

namespace {

constexpr int kBarCells = 20;
constexpr int kFewestCells = 5;   // a narrower bar says nothing: the percentage alone shows
constexpr int kLabelRoom = 12;    // the message keeps this much before the bar shrinks
constexpr int kPercentWidth = 4;  // "100%"

}  // namespace

std::atomic<bool> ProgressBar::s_lineShown{false};

ProgressBar::ProgressBar(std::FILE* out, std::function<int()> columns)
    : m_out(out), m_columns(std::move(columns)) {}

// The message draws the line first, at 0%; proportions redraw it from 1% on.
void ProgressBar::Start() {
  m_message.clear();
  m_percent = 0;
}

void ProgressBar::Message(const std::wstring& text) {
  m_message = text;
  Draw();
}

void ProgressBar::Proportion(double fraction) {
  if (!(fraction >= 0.0)) fraction = 0.0;  // NaN too
  const int percent = static_cast<int>(std::floor(std::min(fraction, 1.0) * 100.0));
  if (percent == m_percent) return;
  m_percent = percent;
  Draw();
}

void ProgressBar::Clear() {
  if (m_drawnWidth == 0) return;
  std::fprintf(m_out, "\r%*s\r", static_cast<int>(m_drawnWidth), "");
  std::fflush(m_out);
  m_drawnWidth = 0;
  s_lineShown = false;
}

void ProgressBar::End() {
  Clear();
  m_message.clear();
  m_percent = 0;
}

// "message [####----] 42%": the bar narrows when the terminal leaves the message less than
// kLabelRoom, goes when it would be narrower than kFewestCells, and long messages keep their
// end, which names the file.
std::wstring ProgressBar::Line(const std::wstring& message, int percent, int columns) {
  const int width = columns - 1;
  int cells = std::min(kBarCells, width - kLabelRoom - kPercentWidth - 4);
  if (cells < kFewestCells) cells = 0;
  const int tail = cells > 0 ? cells + 4 + kPercentWidth : 1 + kPercentWidth;
  if (width < kPercentWidth) return std::wstring();

  wchar_t number[8];
  std::swprintf(number, 8, L"%3d%%", percent);
  if (width < tail + 1) return number;

  const auto room = static_cast<std::size_t>(width - tail);
  std::wstring line = message;
  if (line.size() > room) {
    const std::size_t kept = room > 3 ? room - 3 : room;
    line = (room > 3 ? L"..." : L"") + line.substr(line.size() - kept);
  }
  line.resize(room, L' ');
  if (cells > 0) {
    const int filled = percent * cells / 100;
    line += L" [" + std::wstring(static_cast<std::size_t>(filled), L'#') +
            std::wstring(static_cast<std::size_t>(cells - filled), L'-') + L"]";
  }
  return line + L" " + number;
}

void ProgressBar::Draw() {
  const int columns = m_columns();
  const std::wstring line = Line(m_message, m_percent, columns);
  std::string text = "\r" + utl::ToUtf8(line);
  // A line shorter than the last one (the terminal narrowed) is blanked to the last one's end.
  const std::size_t limit = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
  const std::size_t blank = std::min(m_drawnWidth, limit);
  if (blank > line.size()) text += std::string(blank - line.size(), ' ') + text;
  std::fputs(text.c_str(), m_out);
  std::fflush(m_out);
  m_drawnWidth = line.size();
  s_lineShown = !line.empty();
}

}  // namespace qxhost
