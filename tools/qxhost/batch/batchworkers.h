// A batch's files converted on several workers at once, within a budget of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qxhost {

class Plugin;

// Bytes of images in memory at once when --max-memory is not given: half the machine's memory.
std::uint64_t DefaultMaxMemory();

// The bytes the image of a file takes in memory, from its format's description of it; 0 when the
// file has none (it will fail on its own) or is standard input, which is read once.
std::uint64_t ImageBytes(const Plugin& plugin, const std::wstring& path);

// Runs work(i) for every i below count on up to jobs threads, in the order of i. A work starts
// only when its cost(i) fits in budget beside the costs of those under way; it waits for
// earlier ones to end otherwise (alone it always starts), and no later one starts before it.
// done(i) runs on the calling thread, in the order of i, once work(i) has ended. work must
// not raise.
void RunInOrder(std::size_t count, unsigned jobs, std::uint64_t budget,
                const std::function<std::uint64_t(std::size_t)>& cost,
                const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& done);

class ProgressBar;

// The batch's one progress line, on bar when there is one: files and bytes of the inputs done.
class BatchProgress {
public:
  BatchProgress(ProgressBar* bar, const std::vector<std::wstring>& inputs);
  // Takes the line away before other output, and at the end.
  void Clear();
  void Done(std::size_t file);

private:
  void Show();

  ProgressBar* m_bar;
  std::vector<std::uint64_t> m_sizes;
  std::uint64_t m_total = 0;
  std::uint64_t m_bytesDone = 0;
  std::size_t m_filesDone = 0;
};

}  // namespace qxhost
