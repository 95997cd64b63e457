#include "batch/batchworkers.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <boost/any.hpp>

#include "core/conversion.h"
#include "core/pluginloader.h"
#include "core/progressbar.h"
#include "sys/platform.h"
#include "utl/bufferedfile.h"
#include "utl/threadbudget.h"

namespace qxhost {

namespace {

// Rows of width pixels of bits bits, height of them; a hostile header's sizes saturate.
std::uint64_t ImageSize(double width, double height, double bits) {
  const double bytes = std::ceil(width * bits / 8) * height;
  return bytes < 0x1p62 ? static_cast<std::uint64_t>(bytes) : std::uint64_t{1} << 62;
}

// An entry of a file's description that holds a number; 0 when it is missing or not one.
double Number(const qxio::ImportFileInfo& info, const wchar_t* entry) {
  const auto it = info.m_entries.find(entry);
  const int* value = it == info.m_entries.end() ? nullptr : boost::any_cast<int>(&it->second);
  return value && *value > 0 ? *value : 0;
}

// A file's length on disk; 0 for standard input and for a file that cannot be opened.
std::uint64_t FileBytes(const std::wstring& path) {
  if (path == kStandardStream) return 0;
  utl::CBufferedFile file;
  if (!file.OpenNoThrow(path, "rb", utl::ShareRead, false)) return 0;
  return static_cast<std::uint64_t>(file.GetLength());
}

// "512 B", "1.5 KiB", "20.3 MiB", "1.8 GiB".
std::wstring Bytes(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_wstring(bytes) + L" B";
  const wchar_t* const units[] = {L"KiB", L"MiB", L"GiB", L"TiB"};
  double value = double(bytes) / 1024.0;
  int unit = 0;
  for (; value >= 1024.0 && unit < 3; ++unit) value /= 1024.0;
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof *text, L"%.1f %ls", value, units[unit]);
  return text;
}

}  // namespace

std::uint64_t DefaultMaxMemory() {
  const std::uint64_t memory = sys::PhysicalMemory();
  return memory > 0 ? memory / 2 : std::uint64_t{1} << 30;
}

std::uint64_t ImageBytes(const Plugin& plugin, const std::wstring& path) {
  if (path == kStandardStream) return 0;
  try {
    HostManager manager(nullptr);
    manager.KeepLines();  // the conversion says what is wrong with the file
    const Options options;
    const qxio::ImportFileInfo info = Conversion(plugin, manager, options).Describe({path, path});
    return ImageSize(Number(info, L"Image Width"), Number(info, L"Image Height"),
                     Number(info, L"Image Bits Per Pixel"));
  } catch (...) {
    return 0;  // the conversion reports what is wrong with the file
  }
}

void RunInOrder(std::size_t count, unsigned jobs, std::uint64_t budget,
                const std::function<std::uint64_t(std::size_t)>& cost,
                const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& done) {
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t taken = 0, admitted = 0;  // next to take, next to let start
  std::uint64_t inUse = 0;
  std::size_t running = 0;
  std::vector<char> finished(count, 0);
  const utl::ThreadBudget threadBudget(jobs);
  const auto worker = [&] {
    const utl::BusyThread busy;  // until no file is left for this worker
    for (;;) {
      std::size_t i = 0;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (taken == count) return;
        i = taken++;
      }
      const std::uint64_t bytes = std::min(cost(i), budget);
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock,
                     [&] { return admitted == i && (running == 0 || inUse + bytes <= budget); });
        ++admitted, ++running, inUse += bytes;
      }
      changed.notify_all();
      work(i);
      {
        std::lock_guard<std::mutex> lock(mutex);
        --running, inUse -= bytes;
        finished[i] = 1;
      }
      changed.notify_all();
    }
  };
  // The system may give fewer threads than asked (each takes a stack of its address space): the
  // files go to those it gives, and to this thread alone when it gives none.
  std::vector<std::thread> workers;
  const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(jobs, count));
  try {
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(worker);
  } catch (const std::system_error&) {
    if (workers.empty()) worker();
  }
  for (std::size_t i = 0; i < count; ++i) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return finished[i] != 0; });
    }
    done(i);
  }
  for (std::thread& thread : workers) thread.join();
}

BatchProgress::BatchProgress(ProgressBar* bar, const std::vector<std::wstring>& inputs)
    : m_bar(bar) {
  if (!m_bar) return;
  for (const std::wstring& input : inputs) {
    m_sizes.push_back(FileBytes(input));
    m_total += m_sizes.back();
  }
  m_bar->Start();
  Show();
}

void BatchProgress::Clear() {
  if (m_bar) m_bar->Clear();
}

void BatchProgress::Done(std::size_t file) {
  if (!m_bar) return;
  ++m_filesDone;
  m_bytesDone += m_sizes[file];
  Show();
}

void BatchProgress::Show() {
  const std::wstring text = std::to_wstring(m_filesDone) + L" of " +
                            std::to_wstring(m_sizes.size()) + L" files, " + Bytes(m_bytesDone) +
                            L" of " + Bytes(m_total);
  m_bar->Message(text);
  m_bar->Proportion(m_total > 0 ? double(m_bytesDone) / double(m_total)
                                : double(m_filesDone) / double(m_sizes.size()));
}

}  // namespace qxhost
