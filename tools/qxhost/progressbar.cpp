#include "progressbar.h"

#include <algorithm>
#include <cmath>

#include "utl/text.h"

namespace qxhost {

namespace {

constexpr int kBarCells = 20;
// " [" + bar + "] " + "100%"
constexpr int kTailWidth = 2 + kBarCells + 2 + 4;

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, int columns) : m_out(out), m_columns(columns) {}

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
}

void ProgressBar::End() {
  Clear();
  m_message.clear();
  m_percent = 0;
}

void ProgressBar::Draw() {
  const int percent = m_percent;
  // Long messages keep their end, which names the file.
  const std::size_t room = static_cast<std::size_t>(std::max(m_columns - kTailWidth - 1, 4));
  std::wstring label = m_message;
  if (label.size() > room) label = L"..." + label.substr(label.size() - (room - 3));
  label.resize(room, L' ');

  const int filled = percent * kBarCells / 100;
  std::string line = utl::ToUtf8(label) + " [" +
                     std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "] ";
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  line += number;

  std::fprintf(m_out, "\r%s", line.c_str());
  std::fflush(m_out);
  m_drawnWidth = room + kTailWidth;
}

}  // namespace qxhost
