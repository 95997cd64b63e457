// Eight threads at once, each with its own filters as a host would have them, probe, import and
// export the valid and hostile Sun raster and PNG test files for about ten seconds; every outcome
// must be the one a single thread gets. Built with ThreadSanitizer (the tsan preset), this also
// catches the races that happen not to change a result.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <tuple>

#ifdef VEMRA_TEST_PNG
#include "pngexportfilter.h"
#include "pngimportfilter.h"
#endif
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

// What a host sees of one file: the probe, the file information, how the import ended with the
// image it gave, and the bytes of that image exported again, as Sun raster and as PNG.
struct Outcome {
  bool probe = false;
  std::size_t entries = 0;
  std::string end;
  Rgb rgb;
  Bytes exported, png;
  bool operator==(const Outcome& o) const {  // the exported files hold the image's size
    return std::tie(probe, entries, end, rgb.pixels, exported, png) ==
           std::tie(o.probe, o.entries, o.end, o.rgb.pixels, o.exported, o.png);
  }
};

// One host: its manager and filters live as long as the thread.
class Host {
public:
  Host() : m_importer(m_manager), m_exporter(m_manager) { m_manager.SetMaxPixels(1u << 22); }

  Outcome Run(const fs::path& file, bool runLength) {
    Outcome outcome;
    const std::wstring path = Wide(file);
    qxio::IoImportFilter* importer = &m_importer;
#ifdef VEMRA_TEST_PNG
    if (file.extension() == ".png") importer = &m_pngImporter;
#endif
    outcome.probe = importer->CanImportFile(path);
    // PNG's raises for a header it cannot describe.
    Raised([&] { outcome.entries = importer->GetImportFileInfo(0, path).m_entries.size(); });
    const Imported imported = Import(*importer, m_manager, path);
    outcome.end = imported.error ? imported.error->what() : std::to_string(imported.warnings);
    if (!imported.image) return outcome;
    outcome.rgb = ImageRgb(*imported.image);
    m_exporter.SetOptionsFromString(runLength ? L"Compression=RLE" : L"Compression=None");
    outcome.exported = Saved(m_exporter, *imported.image, "out.ras");
#ifdef VEMRA_TEST_PNG
    outcome.png = Saved(m_pngExporter, *imported.image, "out.png");
#endif
    return outcome;
  }

private:
  Bytes Saved(qxio::IoExportFilter& exporter, qxio::TrImage& image, const std::string& name) {
    bool written = false;
    Raised([&] { written = Export(exporter, m_manager, image, m_dir.Wide(name)); });
    return written ? ReadFile(m_dir / name) : Bytes{};
  }

  TempDir m_dir;
  TestManager m_manager;
  SunImportFilter m_importer;
  SunExportFilter m_exporter;
#ifdef VEMRA_TEST_PNG
  pngio::PngImportFilter m_pngImporter{m_manager};
  pngio::PngExportFilter m_pngExporter{m_manager};
#endif
};

TEST(Threads, EightHostsAtOnceAgreeWithOne) {
  std::vector<fs::path> files = FilesIn(DataDir() / "read", {".ras"});
  for (const fs::path& file : FilesIn(DataDir() / "hostile", {".ras"})) files.push_back(file);
#ifdef VEMRA_TEST_PNG
  for (const char* folder : {"png", "hostile-png"}) {
    for (const fs::path& file : FilesIn(DataDir() / folder, {".png"})) files.push_back(file);
  }
#endif
  // More than one strip: a PNG encoder starts threads of its own when the budget has room.
  TempDir dir;
  qxio::TrImage big = TestImage(utl::ColorFormat::BGR24, 700, 700);
  ASSERT_TRUE(Export(big, dir.Wide("big.ras")));
  files.push_back(dir / "big.ras");
  ASSERT_GT(files.size(), 80u);
  std::vector<Outcome> expected;
  Host reference;
  for (std::size_t i = 0; i < files.size(); ++i) expected.push_back(reference.Run(files[i], i & 1));

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::atomic<std::size_t> runs{0};
  std::vector<std::vector<std::string>> differing(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < differing.size(); ++t) {
    threads.emplace_back([&, t] {
      Host host;
      // Each thread starts at its own place in the list and goes round it at least once.
      for (std::size_t k = 0; k < files.size() || std::chrono::steady_clock::now() < deadline;
           ++k, ++runs) {
        const std::size_t i = (t * files.size() / 8 + k) % files.size();
        if (!(host.Run(files[i], i & 1) == expected[i])) differing[t].push_back(files[i].string());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < differing.size(); ++t) {
    EXPECT_TRUE(differing[t].empty()) << "thread " << t << " differs on " << differing[t].front();
  }
  std::printf("%zu runs on 8 threads\n", runs.load());
}

}  // namespace
}  // namespace vemra::test
