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

// Colour-map kinds: none, short (half the entries, at least one), full, 300 entries.
const char* const kMapNames[] = {"nomap", "shortmap", "fullmap", "map300"};

// A 5-pixel-wide file. Pixels: a run of 0x41 across the first row boundary, then varied
// bytes with literal 0x80s; run-length data encodes them all at once, so runs cross rows.
Bytes RasterFile(std::uint32_t depth, std::uint32_t type, int map, std::uint32_t height = 3,
                 std::int64_t maplength = -1) {  // -1: three bytes per entry
  const auto rowBytes = static_cast<std::size_t>(vemra::bytesPerRow(5, depth));
  Bytes pixels(rowBytes * height);
  for (std::size_t k = 0; k < pixels.size(); ++k) {
    pixels[k] = k < rowBytes + 2 ? 0x41 : (k % 5 == 0 ? 0x80 : std::uint8_t(k * 29 + 7));
  }
  const int full = 1 << (depth < 8 ? depth : 8);
  const int entries = map == 0 ? 0 : map == 1 ? (full >= 4 ? full / 2 : 1) : map == 2 ? full : 300;
  Bytes file;
  for (std::uint32_t v : {vemra::kSunRasterMagic, 5u, height, depth, std::uint32_t(pixels.size()),
                          type, map == 0 ? vemra::kMapNone : vemra::kMapEqualRgb,
                          std::uint32_t(maplength >= 0 ? maplength : 3 * entries)}) {
    Be32(file, v);
  }
  for (int plane = 0; plane < 3; ++plane) {
    for (int i = 0; i < entries; ++i) file.push_back(std::uint8_t(i * (7 + 6 * plane) + plane));
  }
  const Bytes data = type == vemra::kTypeByteEncoded ? EncodeRuns(pixels) : pixels;
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
      const int map = (d + int(type)) % 4;
      const std::string name = "d" + std::to_string(depths[d]) + "-t" + std::to_string(type) +
                               "-" + kMapNames[map] + ".ras";
      seeds["reader/" + name] = seeds["import/" + name] = RasterFile(depths[d], type, map);
    }
  }
  // A map length of 7 (the seventh byte is the first pixel byte), no rows at all, and one row
  // followed by a run far past its end.
  Bytes pastLastRow = RasterFile(8, vemra::kTypeByteEncoded, 0, 1);
  pastLastRow.insert(pastLastRow.end(), {0x80, 0xFF, 0x55});
  for (const auto& [name, file] : {std::pair{"maplength7.ras", RasterFile(8, 1, 1, 3, 7)},
                                   std::pair{"height0.ras", RasterFile(8, 1, 0, 0)},
                                   std::pair{"run-past-last-row.ras", pastLastRow}}) {
    seeds[std::string("reader/") + name] = seeds[std::string("import/") + name] = file;
  }

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

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool check = args.size() == 2 && args[0] == "--check";
  if (!check && (args.size() != 1 || args[0] == "--check")) {
    std::fprintf(stderr, "usage: mkseeds FOLDER | mkseeds --check FOLDER\n");
    return 2;
  }
  const fs::path folder = args.back();
  const Seeds seeds = AllSeeds();
  int faults = 0;
  for (const auto& [name, bytes] : seeds) {
    const fs::path path = folder / name;
    if (check) {
      std::ifstream in(path, std::ios::binary);
      if (Bytes(std::istreambuf_iterator<char>(in), {}) == bytes && in) continue;
      std::fprintf(stderr, "%s: missing or out of date\n", path.string().c_str());
    } else {
      fs::create_directories(path.parent_path());
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      if (out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) {
        continue;
      }
      std::fprintf(stderr, "%s: cannot write\n", path.string().c_str());
    }
    ++faults;
  }
  for (const char* target : {"reader", "import", "roundtrip"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder / target, ec)) {
      if (check && !seeds.count(std::string(target) + "/" + entry.path().filename().string())) {
        std::fprintf(stderr, "%s: not a generated seed\n", entry.path().string().c_str());
        ++faults;
      }
    }
  }
  const std::string where = folder.string();
  if (check && faults) std::fprintf(stderr, "regenerate with: mkseeds %s\n", where.c_str());
  if (!check && !faults) std::printf("wrote %zu seeds to %s\n", seeds.size(), where.c_str());
  return faults ? 1 : 0;
}
