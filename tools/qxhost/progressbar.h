// One line of progress on a terminal: the filter's status message, a bar and a percentage.
#pragma once

#include <cstdio>
#include <string>

namespace qxhost {

class ProgressBar {
public:
  explicit ProgressBar(std::FILE* out, int columns = 79);

  void Start();
  void Message(const std::wstring& text);
  // Redraws only when the shown percentage changes, so a report per row costs nothing.
  void Proportion(double fraction);
  // Takes the line away for other output; the next change draws it again.
  void Clear();
  void End();

private:
  void Draw();

  std::FILE* m_out;
  int m_columns;
  std::wstring m_message;
  int m_percent = 0;
  std::size_t m_drawnWidth = 0;
};

}  // namespace qxhost
