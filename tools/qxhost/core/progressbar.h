// One line of progress on a terminal: the filter's status message, a bar and a percentage,
// never wider than the terminal.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

namespace qxhost {

class ProgressBar {
public:
  // columns gives the terminal's width; it is asked before each drawing, so the bar follows
  // a terminal that is resized while it shows.
  ProgressBar(std::FILE* out, std::function<int()> columns);

  void Start();
  void Message(const std::wstring& text);
  // Redraws only when the shown percentage changes, so a report per row costs nothing.
  void Proportion(double fraction);
  // Takes the line away for other output; the next change draws it again.
  void Clear();

  // The line for a terminal of the given width: at most columns - 1 characters, so that the
  // cursor never reaches the last column, where terminals wrap.
  static std::wstring Line(const std::wstring& message, int percent, int columns);
  // The columns text takes on a terminal: two for each wide character of East Asian scripts and
  // for emoji, none for the first half of a UTF-16 surrogate pair, one for the rest.
  static std::size_t Columns(const std::wstring& text);
  // Whether a bar's line stands unfinished on the terminal; a signal handler may ask.
  static bool LineShown() { return s_lineShown.load(std::memory_order_relaxed); }

private:
  void Draw();

  std::FILE* m_out;
  std::function<int()> m_columns;
  std::wstring m_message;
  int m_percent = 0;
  std::size_t m_drawnWidth = 0;
  static std::atomic<bool> s_lineShown;
};

}  // namespace qxhost
