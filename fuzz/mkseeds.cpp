// Writes the fuzz targets' seed files, or checks that a folder holds exactly them:
//   mkseeds FOLDER           writes FOLDER/reader, FOLDER/import and FOLDER/roundtrip
//   mkseeds --check FOLDER   exits 1 when a seed is missing, differs or is not generated here
// Raster seeds: every depth (1, 4, 8, 24, 32) with every storage type (0 to 3), each colour-map
// kind (none, short, full, over 256 entries) spread over them, and a few edge cases. Round-trip
// seeds: one small image per host colour format, and one without pixels.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sunraster.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Seeds = std::map<std::string, Bytes>;  // path under the folder -> content

void Be32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

// Run-length encodes the whole pixel stream at once, so runs may cross rows.
Bytes EncodeRuns(const Bytes& data) {
  Bytes out;
  for (std::size_t i = 0; i < data.size();) {
    std::size_t run = 1;
    while (i + run < data.size() && data[i + run] == data[i] && run < 256) ++run;
    if (run >= 3 || (data[i] == 0x80 && run == 2)) {
      out.insert(out.end(), {0x80, std::uint8_t(run - 1), data[i]});
      i += run;
    } else {
      if (data[i] == 0x80) out.push_back(0x80);
      out.push_back(data[i] == 0x80 ? 0x00 : data[i]);
      ++i;
    }
  }
  return out;
}

enum class Map { None, Short, Full, Over256 };
const char* const kMapNames[] = {"nomap", "shortmap", "fullmap", "map300"};

int MapEntries(Map map, std::uint32_t depth) {
  const int full = 1 << (depth < 8 ? depth : 8);
  switch (map) {
    case Map::None: return 0;
    case Map::Short: return full >= 4 ? full / 2 : 1;
    case Map::Full: return full;
    default: return 300;
  }
}

struct Raster {
  std::uint32_t width = 5, height = 3, depth = 8, type = 1;
  Map map = Map::None;
  std::int64_t maplength = -1;  // -1: three bytes per entry of the map kind
};

// Pixels: a run of 0x41 across the first row boundary, then varied bytes with literal 0x80s.
Bytes RasterFile(const Raster& r) {
  const auto rowBytes = static_cast<std::size_t>(vemra::bytesPerRow(r.width, r.depth));
  Bytes pixels(rowBytes * r.height);
  for (std::size_t k = 0; k < pixels.size(); ++k) {
    pixels[k] = k < rowBytes + 2 ? 0x41 : (k % 5 == 0 ? 0x80 : std::uint8_t(k * 29 + 7));
  }
  const int entries = MapEntries(r.map, r.depth);
  Bytes file;
  for (std::uint32_t v : {vemra::kSunRasterMagic, r.width, r.height, r.depth,
                          std::uint32_t(pixels.size()), r.type,
                          r.map == Map::None ? vemra::kMapNone : vemra::kMapEqualRgb,
                          std::uint32_t(r.maplength >= 0 ? r.maplength : 3 * entries)}) {
    Be32(file, v);
  }
  for (int plane = 0; plane < 3; ++plane) {
    for (int i = 0; i < entries; ++i) file.push_back(std::uint8_t(i * (7 + 6 * plane) + plane));
  }
  const Bytes data = r.type == vemra::kTypeByteEncoded ? EncodeRuns(pixels) : pixels;
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// Format, width, height, table size, table entries, then the rows (pseudo-random bytes).
Bytes RoundTripInput(int format, int width, int height, int tableSize) {
  Bytes in{std::uint8_t(format), std::uint8_t(width), std::uint8_t(height),
           std::uint8_t(tableSize)};
  std::uint32_t state = 12345u + std::uint32_t(format);
  const std::size_t body = std::size_t(tableSize) * 4 + std::size_t(width) * 4 * height;
  for (std::size_t i = 0; i < body; ++i) {
    state = state * 1103515245u + 12345u;
    in.push_back(std::uint8_t(state >> 16));
  }
  return in;
}

Seeds AllSeeds() {
  Seeds seeds;
  const std::uint32_t depths[] = {1, 4, 8, 24, 32};
  for (int d = 0; d < 5; ++d) {
    for (std::uint32_t type = 0; type <= 3; ++type) {
      Raster r;
      r.depth = depths[d];
      r.type = type;
      r.map = static_cast<Map>((d + int(type)) % 4);
      const std::string name = "d" + std::to_string(r.depth) + "-t" + std::to_string(type) +
                               "-" + kMapNames[int(r.map)] + ".ras";
      seeds["reader/" + name] = seeds["import/" + name] = RasterFile(r);
    }
  }
  Raster odd;  // 2 entries; the seventh map byte is the first pixel byte
  odd.map = Map::Short;
  odd.maplength = 7;
  Raster empty;  // no rows at all
  empty.height = 0;
  Raster runs;  // one row, one run far past its end
  runs.type = vemra::kTypeByteEncoded;
  runs.height = 1;
  for (const auto& [name, r] : {std::pair{"maplength7.ras", odd}, std::pair{"height0.ras", empty},
                                std::pair{"run-past-last-row.ras", runs}}) {
    seeds[std::string("reader/") + name] = seeds[std::string("import/") + name] = RasterFile(r);
  }
  seeds["reader/run-past-last-row.ras"].insert(seeds["reader/run-past-last-row.ras"].end(),
                                               {0x80, 0xFF, 0x55});
  seeds["import/run-past-last-row.ras"] = seeds["reader/run-past-last-row.ras"];

  for (int format = 0; format <= 13; ++format) {
    const bool indexed = format >= 6 && format <= 8;
    seeds["roundtrip/format" + std::to_string(format) + ".bin"] =
        RoundTripInput(format, 7, 3, indexed ? 5 : 0);
  }
  seeds["roundtrip/format10-w113.bin"] = RoundTripInput(10, 113, 2, 0);
  seeds["roundtrip/format8-table256.bin"] = RoundTripInput(8, 9, 2, 255);
  seeds["roundtrip/width0.bin"] = RoundTripInput(9, 0, 3, 0);
  return seeds;
}

Bytes Load(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Check(const fs::path& folder, const Seeds& seeds) {
  int faults = 0;
  std::set<std::string> seen;
  for (const auto& [name, bytes] : seeds) {
    seen.insert(name);
    if (!fs::is_regular_file(folder / name) || Load(folder / name) != bytes) {
      std::fprintf(stderr, "%s: missing or out of date\n", (folder / name).string().c_str());
      ++faults;
    }
  }
  for (const char* target : {"reader", "import", "roundtrip"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder / target, ec)) {
      const std::string name = std::string(target) + "/" + entry.path().filename().string();
      if (!seen.count(name)) {
        std::fprintf(stderr, "%s: not a generated seed\n", entry.path().string().c_str());
        ++faults;
      }
    }
  }
  if (faults) std::fprintf(stderr, "regenerate with: mkseeds %s\n", folder.string().c_str());
  return faults ? 1 : 0;
}

int Write(const fs::path& folder, const Seeds& seeds) {
  for (const auto& [name, bytes] : seeds) {
    fs::create_directories((folder / name).parent_path());
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "%s: cannot write\n", (folder / name).string().c_str());
      return 1;
    }
  }
  std::printf("wrote %zu seeds to %s\n", seeds.size(), folder.string().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] != "--check") return Write(args[0], AllSeeds());
  if (args.size() == 2 && args[0] == "--check") return Check(args[1], AllSeeds());
  std::fprintf(stderr, "usage: mkseeds FOLDER | mkseeds --check FOLDER\n");
  return 2;
}
