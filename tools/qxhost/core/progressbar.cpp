#include "core/progressbar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "utl/text.h"

namespace qxhost {

namespace {

constexpr int kBarCells = 20;
constexpr int kFewestCells = 5;   // a narrower bar says nothing: the percentage alone shows
constexpr int kLabelRoom = 12;    // the message keeps this much before the bar shrinks
constexpr int kPercentWidth = 4;  // "100%"

// The columns a character takes on a terminal: two for the wide characters of East Asian
// scripts and for emoji, none for the first half of a UTF-16 surrogate pair, one for the rest.
std::size_t ColumnsOf(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  if (u >= 0xD800 && u <= 0xDBFF) return 0;
  const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF && u != 0x303F) ||
                    (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                    (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                    (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0x1F300 && u <= 0x1F64F) ||
                    (u >= 0x1F900 && u <= 0x1F9FF) || (u >= 0x20000 && u <= 0x3FFFD);
  return wide ? 2 : 1;
}

}  // namespace

std::size_t ProgressBar::Columns(const std::wstring& text) {
  std::size_t columns = 0;
  for (const wchar_t c : text) columns += ColumnsOf(c);
  return columns;
}

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
  // Never into the last column of a terminal that narrowed since: the line would wrap.
  const int columns = m_columns();
  const std::size_t limit = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
  std::fprintf(m_out, "\r%*s\r", static_cast<int>(std::min(m_drawnWidth, limit)), "");
  std::fflush(m_out);
  m_drawnWidth = 0;
  s_lineShown = false;
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
  if (Columns(line) > room) {
    const std::size_t kept = room > 3 ? room - 3 : room;
    std::size_t start = 0;
    for (std::size_t columns = Columns(line); columns > kept;) columns -= ColumnsOf(line[start++]);
    line = (room > 3 ? L"..." : L"") + line.substr(start);
  }
  line.append(room - Columns(line), L' ');
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
  const std::size_t drawn = Columns(line);
  if (blank > drawn) text += std::string(blank - drawn, ' ') + text;
  std::fputs(text.c_str(), m_out);
  std::fflush(m_out);
  m_drawnWidth = drawn;
  s_lineShown = !line.empty();
}

}  // namespace qxhost
